#include "protocol/server_location.h"

#include <cwctype>

#include "common/errors.h"

namespace qm {
namespace {

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

ServerLocation ParsePageLocation(const std::wstring& href) {
    auto schemeEnd = href.find(L"://");
    if (schemeEnd == std::wstring::npos || schemeEnd == 0)
        throw Error(L"Cannot find the server in the page address \"" + href + L"\".");
    const std::wstring scheme = Lower(href.substr(0, schemeEnd));
    const bool https = scheme == L"https";

    ServerLocation location;
    location.RequestFlags = https ? kRequestFlagsHttps : kRequestFlagsHttp;
    location.ServerPort = https ? 443 : scheme == L"http" ? 80 : 0;

    std::wstring authority = href.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of(L"/?#\\"));
    // User information is not part of the host.
    if (auto at = authority.rfind(L'@'); at != std::wstring::npos) authority.erase(0, at + 1);

    std::wstring host = authority;
    std::wstring port;
    if (!authority.empty() && authority[0] == L'[') {
        auto close = authority.find(L']');
        if (close == std::wstring::npos) throw Error(L"Bad server address in \"" + href + L"\".");
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size() && authority[close + 1] == L':') port = authority.substr(close + 2);
    } else if (auto colon = authority.rfind(L':'); colon != std::wstring::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty() && (scheme == L"http" || https))
        throw Error(L"Cannot find the server in the page address \"" + href + L"\".");
    if (!port.empty()) {
        unsigned long value = 0;
        for (wchar_t c : port) {
            if (c < L'0' || c > L'9' || value > 65535) throw Error(L"Bad port in the page address \"" + href + L"\".");
            value = value * 10 + static_cast<unsigned long>(c - L'0');
        }
        if (value == 0 || value > 65535) throw Error(L"Bad port in the page address \"" + href + L"\".");
        location.ServerPort = static_cast<std::uint16_t>(value);
    }
    location.ServerName = host;
    return location;
}

}  // namespace qm
