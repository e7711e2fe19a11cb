#pragma once
// Screenshots for the UI tests: window or device-context pixels, PNG files under the artifact folder.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/win32/owners.h"

namespace qm::testing {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top-down
    COLORREF At(int x, int y) const {
        const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

inline Image CaptureDc(HDC source, int x, int y, int width, int height) {
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<std::size_t>(width) * height, 0);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const UniqueMemoryDc dc(CreateCompatibleDC(source));
    const UniqueHbitmap bitmap(CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const SelectedObject selected(dc.get(), bitmap.get());
    BitBlt(dc.get(), 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = p[i] & 0xFFFFFF;
    return image;
}

// The whole window, frame included, as the screen shows it.
inline Image CaptureWindow(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    Image image = CaptureDc(screen, r.left, r.top, r.right - r.left, r.bottom - r.top);
    ReleaseDC(nullptr, screen);
    return image;
}

namespace png {
inline std::uint32_t Crc(const unsigned char* data, std::size_t n, std::uint32_t crc = 0xFFFFFFFFu) {
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}
inline void Be32(std::string& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xFF));
}
inline void Chunk(std::string& out, const char* type, const std::string& data) {
    Be32(out, static_cast<std::uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    Be32(out, ~Crc(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}
}  // namespace png

// A PNG with stored (uncompressed) deflate blocks: no library needed.
inline bool WritePng(const Image& image, const std::wstring& path) {
    std::string raw;
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.pixels[static_cast<std::size_t>(y) * image.width + x];
            raw.push_back(static_cast<char>((p >> 16) & 0xFF));
            raw.push_back(static_cast<char>((p >> 8) & 0xFF));
            raw.push_back(static_cast<char>(p & 0xFF));
        }
    }
    std::string z = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<char>(n & 0xFF));
        z.push_back(static_cast<char>(n >> 8));
        z.push_back(static_cast<char>(~n & 0xFF));
        z.push_back(static_cast<char>((~n >> 8) & 0xFF));
        z.append(raw, at, n);
        at += n;
        if (last) break;
    }
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    png::Be32(z, (b << 16) | a);
    std::string header;
    png::Be32(header, static_cast<std::uint32_t>(image.width));
    png::Be32(header, static_cast<std::uint32_t>(image.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);
    std::string file = "\x89PNG\r\n\x1a\n";
    png::Chunk(file, "IHDR", header);
    png::Chunk(file, "IDAT", z);
    png::Chunk(file, "IEND", std::string());
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    std::fclose(f);
    return ok;
}

// out\test-artifacts\ui below the current folder, or QM_UI_ARTIFACTS; created and printed once.
inline const std::wstring& ArtifactFolder() {
    static const std::wstring folder = [] {
        wchar_t buffer[MAX_PATH];
        std::wstring path = GetEnvironmentVariableW(L"QM_UI_ARTIFACTS", buffer, MAX_PATH) ? buffer
                                                                                         : L"out\\test-artifacts\\ui";
        std::wstring sofar;
        for (std::size_t i = 0; i <= path.size(); ++i) {
            if (i == path.size() || path[i] == L'\\' || path[i] == L'/') {
                if (!sofar.empty()) CreateDirectoryW(sofar.c_str(), nullptr);
            }
            if (i < path.size()) sofar.push_back(path[i]);
        }
        GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
        std::printf("UI test artifacts: %ls\n", buffer);
        std::fflush(stdout);
        return std::wstring(buffer);
    }();
    return folder;
}

inline void SaveArtifact(const Image& image, const std::wstring& name) {
    WritePng(image, ArtifactFolder() + L"\\" + name + L".png");
}


inline int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// Pixel and size checks measure text in the dialog fonts. Says so in a failure message, with what this prefix has.
inline std::string FontNote() {
    auto has = [](const wchar_t* face) {
        LOGFONTW wanted{};
        wanted.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
        bool found = false;
        HDC dc = GetDC(nullptr);
        EnumFontFamiliesExW(dc, &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
        ReleaseDC(nullptr, dc);
        return found;
    };
    std::string note = " [this check depends on the dialog fonts Tahoma and MS Sans Serif from the Debian package "
                       "fonts-wine (scripts/setup installs it); here Tahoma is ";
    note += has(L"Tahoma") ? "present" : "MISSING";
    note += ", MS Sans Serif is ";
    note += has(L"MS Sans Serif") ? "present]" : "MISSING]";
    return note;
}

}  // namespace qm::testing
