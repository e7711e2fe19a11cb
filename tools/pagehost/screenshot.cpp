#include "screenshot.h"

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <mutex>
#include <vector>

#include "common/win32/owners.h"
#include "record.h"

namespace qm::pagehost {

using Microsoft::WRL::ComPtr;

namespace {

std::mutex shotMutex;
std::wstring shotFolder;

bool CaptureScreen(int& width, int& height, std::vector<BYTE>& pixels) {
    HWND desktop = GetDesktopWindow();
    RECT area;
    GetWindowRect(desktop, &area);
    width = area.right - area.left;
    height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return false;
    const UniqueWindowDc screen(nullptr);
    const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bool ok = false;
    if (const UniqueHbitmap bitmap{CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0)}) {
        const SelectedObject selected(memory.get(), bitmap.get());
        ok = BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY) != FALSE;
        GdiFlush();
        if (ok) pixels.assign(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + width * height * 4);
    }
    return ok;
}

// Returns S_OK or the failure of the first step that failed.
HRESULT WritePng(const std::wstring& path, int width, int height, std::vector<BYTE>& pixels) {
    const ComInitScope com(COINIT_MULTITHREADED);
    HRESULT hr;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))))
        return hr;
    ComPtr<IWICStream> stream;
    if (FAILED(hr = factory->CreateStream(&stream)) || FAILED(hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)))
        return hr;
    ComPtr<IWICBitmapEncoder> encoder;
    if (FAILED(hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)))
        return hr;
    ComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(hr = encoder->CreateNewFrame(&frame, nullptr)) || FAILED(hr = frame->Initialize(nullptr)) ||
        FAILED(hr = frame->SetSize(width, height)))
        return hr;
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0xFF;  // the screen has no alpha
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(hr = frame->SetPixelFormat(&format))) return hr;
    if (format != GUID_WICPixelFormat32bppBGRA) {
        // Fall back to 24-bit rows when the encoder will not take 32-bit ones.
        if (format != GUID_WICPixelFormat24bppBGR) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
        std::vector<BYTE> packed;
        UINT stride = (width * 3 + 3) & ~3u;
        packed.resize(static_cast<size_t>(stride) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) packed[y * stride + x * 3 + c] = pixels[(y * width + x) * 4 + c];
        if (FAILED(hr = frame->WritePixels(height, stride, static_cast<UINT>(packed.size()), packed.data()))) return hr;
    } else if (FAILED(hr = frame->WritePixels(height, width * 4, static_cast<UINT>(pixels.size()), pixels.data()))) {
        return hr;
    }
    if (FAILED(hr = frame->Commit())) return hr;
    return encoder->Commit();
}

}  // namespace

void SetShotFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(shotMutex);
    shotFolder = folder;
    if (!shotFolder.empty()) CreateDirectoryW(shotFolder.c_str(), nullptr);
}

bool TakeShot(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(shotMutex);
    if (shotFolder.empty()) return false;
    std::wstring safe;
    for (wchar_t c : name) safe += (iswalnum(c) || c == L'-' || c == L'_' || c == L'.') ? c : L'_';
    if (safe.empty()) safe = L"shot";
    std::wstring path = shotFolder + L"\\" + safe + L".png";
    int width = 0, height = 0;
    std::vector<BYTE> pixels;
    bool captured = false;
    HRESULT hr = E_FAIL;
    // A second try: the first capture of a fresh display has been seen to fail.
    for (int attempt = 0; attempt < 2 && FAILED(hr); ++attempt) {
        if (attempt) Sleep(300);
        captured = CaptureScreen(width, height, pixels);
        hr = captured ? WritePng(path, width, height, pixels) : E_FAIL;
    }
    bool ok = SUCCEEDED(hr);
    TheRecord().Add(JsonObject().Text("kind", L"screenshot").Text("name", safe).Text("path", path).Bool("written", ok)
                        .Bool("captured", captured).Number("hr", hr).Number("width", width).Number("height", height));
    if (!ok) TheRecord().Fail(L"screenshot " + safe + L" could not be written");
    return ok;
}

}  // namespace qm::pagehost
