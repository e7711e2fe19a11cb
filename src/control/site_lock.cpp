#include "control/site_lock.h"

#include <cwctype>

#include "common/errors.h"
#include "protocol/server_location.h"

namespace qm {
namespace {

std::wstring Canonical(std::wstring host) {
    for (auto& c : host) c = static_cast<wchar_t>(std::towlower(c));
    if (!host.empty() && host.back() == L'.') host.pop_back();
    return host;
}

bool IsSeparator(wchar_t c) { return c == L';' || c == L',' || c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0; }

}  // namespace

std::vector<std::wstring> ParseAllowedHosts(const std::wstring& text) {
    std::vector<std::wstring> hosts;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i])) ++i;
        std::size_t end = i;
        while (end < text.size() && !IsSeparator(text[end])) ++end;
        if (end > i) {
            std::wstring host = Canonical(text.substr(i, end - i));
            if (!host.empty()) hosts.push_back(std::move(host));
        }
        i = end;
    }
    return hosts;
}

bool PageAllowed(const std::optional<std::vector<std::wstring>>& allowed, const std::wstring& pageAddress) {
    if (!allowed) return true;
    const std::wstring lower = Canonical(pageAddress.substr(0, 8));
    if (lower.rfind(L"http://", 0) != 0 && lower.rfind(L"https://", 0) != 0) return false;
    std::wstring host;
    try {
        host = Canonical(ParsePageLocation(pageAddress).ServerName);
    } catch (const Error&) {
        return false;
    }
    if (host.empty()) return false;
    for (const std::wstring& entry : *allowed) {
        if (entry.size() > 2 && entry.compare(0, 2, L"*.") == 0) {
            const std::wstring suffix = entry.substr(1);  // ".example.com"
            if (host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0)
                return true;
        } else if (host == entry) {
            return true;
        }
    }
    return false;
}

}  // namespace qm
