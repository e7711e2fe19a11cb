#include "download/safe_names.h"

#include <array>
#include <cwctype>

namespace qm {
namespace {

bool Forbidden(wchar_t c) {
    if (c < 0x20 || c == 0x7F) return true;
    switch (c) {
        case L'\\': case L'/': case L':': case L'*': case L'?': case L'"': case L'<': case L'>': case L'|':
            return true;
        default:
            return false;
    }
}

std::wstring UpperAscii(std::wstring text) {
    for (auto& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

bool IsDeviceName(const std::wstring& name) {
    // The platform treats "CON.txt" and "CON .txt" as the device too: compare the part before the first dot,
    // trailing blanks removed.
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    stem = UpperAscii(stem);
    static const std::array<const wchar_t*, 6> plain = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* d : plain)
        if (stem == d) return true;
    if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)) {
        const wchar_t n = stem[3];
        // Superscript digits 1 to 3 name the devices as well.
        return (n >= L'1' && n <= L'9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
    }
    return false;
}

}  // namespace

std::wstring SafeComponent(const std::wstring& name) {
    std::wstring out;
    out.reserve(name.size());
    for (wchar_t c : name) out.push_back(Forbidden(c) ? L'_' : c);
    std::size_t start = 0;
    while (start < out.size() && out[start] == L' ') ++start;
    out.erase(0, start);
    while (!out.empty() && (out.back() == L'.' || out.back() == L' ')) out.pop_back();
    // Only dots were left, or nothing: no component of its own.
    if (out.empty()) return kUnknownFileName;
    if (IsDeviceName(out)) out.insert(out.begin(), L'_');
    return out;
}

bool IsSafeComponent(const std::wstring& name) { return !name.empty() && SafeComponent(name) == name; }

}  // namespace qm
