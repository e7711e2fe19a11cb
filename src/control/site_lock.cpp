#include "control/site_lock.h"

#include <cstdint>
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

namespace {

// One entry: [scheme://]host[:port]. Without a scheme, http and https each on its own default port (or both on
// the port named); with one, that scheme only. A host "*.example.com" stands for the hosts below example.com.
struct SiteEntry {
    std::wstring scheme;  // "http", "https" or empty for either
    std::wstring host;    // without brackets for an IPv6 literal
    std::uint16_t port = 0;  // 0: the scheme's default
};

std::uint16_t DefaultPort(const std::wstring& scheme) { return scheme == L"https" ? 443 : 80; }

std::wstring WithoutBrackets(std::wstring host) {
    if (host.size() >= 2 && host.front() == L'[' && host.back() == L']') host = host.substr(1, host.size() - 2);
    return host;
}

std::optional<SiteEntry> ParseEntry(std::wstring text) {
    SiteEntry e;
    for (const wchar_t* scheme : {L"http", L"https"}) {
        const std::wstring prefix = std::wstring(scheme) + L"://";
        if (text.compare(0, prefix.size(), prefix) == 0) {
            e.scheme = scheme;
            text.erase(0, prefix.size());
        }
    }
    if (text.find(L"://") != std::wstring::npos) return std::nullopt;  // another scheme never matches
    if (!text.empty() && text.back() == L'/') text.pop_back();
    std::wstring portText;
    bool hasPort = false;
    if (!text.empty() && text.front() == L'[') {
        const std::size_t close = text.find(L']');
        if (close == std::wstring::npos) return std::nullopt;
        if (close + 1 < text.size()) {
            if (text[close + 1] != L':') return std::nullopt;
            hasPort = true;
            portText = text.substr(close + 2);
        }
        text = text.substr(1, close - 1);
    } else if (const std::size_t colon = text.find(L':'); colon != std::wstring::npos) {
        if (text.find(L':', colon + 1) != std::wstring::npos) return std::nullopt;
        hasPort = true;
        portText = text.substr(colon + 1);
        text.erase(colon);
    }
    if (!text.empty() && text.back() == L'.') text.pop_back();
    if (text.empty() || text.find_first_of(L"/\\@?#") != std::wstring::npos) return std::nullopt;
    if (hasPort) {
        if (portText.empty() || portText.size() > 5 || portText.find_first_not_of(L"0123456789") != std::wstring::npos)
            return std::nullopt;
        const unsigned long port = std::stoul(portText);
        if (port == 0 || port > 65535) return std::nullopt;
        e.port = static_cast<std::uint16_t>(port);
    }
    e.host = text;
    return e;
}

bool HostMatches(const std::wstring& pattern, const std::wstring& host) {
    if (pattern.size() > 2 && pattern.compare(0, 2, L"*.") == 0) {
        const std::wstring suffix = pattern.substr(1);  // ".example.com"
        return host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    return host == pattern;
}

}  // namespace

bool PageAllowed(const std::optional<std::vector<std::wstring>>& allowed, const std::wstring& pageAddress) {
    if (!allowed) return true;
    const std::wstring lower = Canonical(pageAddress.substr(0, 8));
    std::wstring scheme;
    if (lower.rfind(L"http://", 0) == 0) scheme = L"http";
    else if (lower.rfind(L"https://", 0) == 0) scheme = L"https";
    else return false;
    ServerLocation page;
    try {
        page = ParsePageLocation(pageAddress);
    } catch (const Error&) {
        return false;
    }
    const std::wstring host = WithoutBrackets(Canonical(page.ServerName));
    if (host.empty()) return false;
    const std::uint16_t port = page.ServerPort ? page.ServerPort : DefaultPort(scheme);
    for (const std::wstring& text : *allowed) {
        const auto entry = ParseEntry(text);
        if (!entry || !HostMatches(entry->host, host)) continue;
        if (!entry->scheme.empty() && entry->scheme != scheme) continue;
        const std::uint16_t wanted = entry->port ? entry->port : DefaultPort(scheme);
        if (port == wanted) return true;
    }
    return false;
}

}  // namespace qm
