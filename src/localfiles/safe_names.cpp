#include "localfiles/safe_names.h"

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


}  // namespace

bool IsReservedDeviceName(const std::wstring& name) {
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
    if (IsReservedDeviceName(out)) out.insert(out.begin(), L'_');
    return out;
}

bool IsSafeComponent(const std::wstring& name) { return !name.empty() && SafeComponent(name) == name; }

const std::vector<std::wstring>& CodeRunningTypes() {
    static const std::vector<std::wstring> types = {
        // programs, libraries and installers
        L".exe", L".com", L".scr", L".pif", L".dll", L".cpl", L".msc", L".msi", L".msp", L".mst", L".application",
        L".appref-ms", L".appinstaller", L".appx", L".appxbundle", L".msix", L".msixbundle", L".gadget", L".jar",
        // scripts and script components
        L".bat", L".cmd", L".js", L".jse", L".vbs", L".vbe", L".vb", L".wsf", L".wsh", L".ws", L".wsc", L".sct",
        L".hta", L".ps1", L".psm1", L".psd1", L".ps1xml", L".reg", L".inf", L".chm", L".hlp",
        // shortcuts and shell or search descriptions, some of which reach a remote share when opened
        L".lnk", L".url", L".scf", L".library-ms", L".search-ms", L".searchconnector-ms", L".settingcontent-ms",
        L".theme", L".themepack", L".iqy", L".rdp",
        // Office add-ins and documents and templates that carry macros
        L".xll", L".xla", L".xlam", L".xlsm", L".xltm", L".xlt", L".xlsb", L".wll", L".dot", L".dotm", L".docm",
        L".ppa", L".ppam", L".pptm", L".potm", L".pot", L".ppsm", L".sldm", L".mda", L".mde", L".accde", L".ade",
        L".adp", L".mdb", L".accdb"};
    return types;
}

bool IsCodeRunningType(const std::wstring& fileName) {
    std::wstring name = fileName;
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    const std::size_t cut = name.find_last_of(L"\\/");
    if (cut != std::wstring::npos) name.erase(0, cut + 1);
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    std::wstring type = name.substr(dot);
    for (auto& c : type)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    for (const std::wstring& t : CodeRunningTypes())
        if (t == type) return true;
    return false;
}

}  // namespace qm
