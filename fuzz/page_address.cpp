// The page's address as the control splits it into the file store's host, port and request flags.
#include <cwctype>
#include <string>

#include "common/errors.h"
#include "fuzz_support.h"
#include "protocol/server_location.h"

namespace {

using namespace qm;

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring href = fuzz::Wide(std::string_view(reinterpret_cast<const char*>(data), size));
    ServerLocation location;
    try {
        location = ParsePageLocation(href);
    } catch (const Error& e) {
        FUZZ_CHECK(!e.text().empty());
        return 0;
    }
    const std::size_t schemeEnd = href.find(L"://");
    FUZZ_CHECK(schemeEnd != std::wstring::npos && schemeEnd > 0);
    const std::wstring scheme = href.substr(0, schemeEnd);
    const bool web = Lower(scheme) == L"http" || Lower(scheme) == L"https";
    FUZZ_CHECK(location.RequestFlags == (Lower(scheme) == L"https" ? kRequestFlagsHttps : kRequestFlagsHttp));
    // A web address always names a host and a port; other schemes may leave the port unknown.
    if (web) FUZZ_CHECK(!location.ServerName.empty() && location.ServerPort != 0);
    // The host comes from the authority: after the scheme, before any path, query or fragment, past user data.
    const std::wstring& host = location.ServerName;
    FUZZ_CHECK(host.find_first_of(L"/?#\\@") == std::wstring::npos);
    FUZZ_CHECK(href.find(host, schemeEnd + 3) != std::wstring::npos);

    // Written back as an address with an explicit port, it gives the same place.
    const bool bracketed = href.find_first_of(L"/?#\\", schemeEnd + 3) != schemeEnd + 3 &&
                           [&] {
                               std::wstring authority = href.substr(schemeEnd + 3);
                               authority = authority.substr(0, authority.find_first_of(L"/?#\\"));
                               if (auto at = authority.rfind(L'@'); at != std::wstring::npos) authority.erase(0, at + 1);
                               return !authority.empty() && authority[0] == L'[';
                           }();
    const std::wstring again = scheme + L"://" + (bracketed ? L"[" + host + L"]" : host) + L":" +
                               (location.ServerPort ? std::to_wstring(location.ServerPort) : std::wstring()) + L"/x";
    ServerLocation reread;
    try {
        reread = ParsePageLocation(again);
    } catch (const Error&) {
        FUZZ_CHECK(!"a parsed address written back must parse");
    }
    FUZZ_CHECK(reread.ServerName == host);
    FUZZ_CHECK(reread.ServerPort == location.ServerPort);
    FUZZ_CHECK(reread.RequestFlags == location.RequestFlags);
    return 0;
}
