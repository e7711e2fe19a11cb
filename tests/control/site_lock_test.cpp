#include "control/site_lock.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using Hosts = std::vector<std::wstring>;

TEST(SiteLockTest, ListTextIsSplitAtAnySeparatorAndCanonical) {
    EXPECT_EQ(ParseAllowedHosts(L"Files.Example.com; intranet,*.Corp.Example.\r\n  10.0.0.5\t"),
              (Hosts{L"files.example.com", L"intranet", L"*.corp.example", L"10.0.0.5"}));
    EXPECT_EQ(ParseAllowedHosts(std::wstring(L"a\0b", 3)), (Hosts{L"a", L"b"})) << "a multi-string's parts";
    EXPECT_TRUE(ParseAllowedHosts(L" ;, .\n").empty());
}

TEST(SiteLockTest, WithoutAListEveryPageMayUseTheControl) {
    EXPECT_TRUE(PageAllowed(std::nullopt, L"http://anyone.example/page"));
    EXPECT_TRUE(PageAllowed(std::nullopt, L"file:///C:/pages/x.html"));
}

TEST(SiteLockTest, OnlyListedHostsOverHttpOrHttpsAreAllowed) {
    const std::optional<Hosts> list = ParseAllowedHosts(L"files.example.com;127.0.0.1;*.corp.example");
    EXPECT_TRUE(PageAllowed(list, L"http://files.example.com/app/page.aspx"));
    EXPECT_TRUE(PageAllowed(list, L"HTTPS://FILES.EXAMPLE.COM./app"));
    EXPECT_TRUE(PageAllowed(list, L"http://127.0.0.1:80/"));
    EXPECT_TRUE(PageAllowed(list, L"https://docs.corp.example/"));
    EXPECT_TRUE(PageAllowed(list, L"https://a.b.corp.example/"));

    EXPECT_FALSE(PageAllowed(list, L"https://corp.example/")) << "a wildcard names the hosts below it only";
    EXPECT_FALSE(PageAllowed(list, L"http://evilcorp.example/"));
    EXPECT_FALSE(PageAllowed(list, L"http://files.example.com.evil.test/"));
    EXPECT_FALSE(PageAllowed(list, L"http://files.example.com@evil.test/")) << "user information is not the host";
    EXPECT_FALSE(PageAllowed(list, L"http://evil.test\\@files.example.com/"));
    EXPECT_FALSE(PageAllowed(list, L"file://files.example.com/share/page.html")) << "not served over http";
    EXPECT_FALSE(PageAllowed(list, L"file:///C:/pages/x.html"));
    EXPECT_FALSE(PageAllowed(list, L"about:blank"));
    EXPECT_FALSE(PageAllowed(list, L""));
}

// Another application on a listed host, on another port, is not the listed one.
TEST(SiteLockTest, ABareHostMeansHttpOnEightyAndHttpsOnFourFortyThree) {
    const std::optional<Hosts> list = ParseAllowedHosts(L"files.example.com;*.corp.example");
    EXPECT_TRUE(PageAllowed(list, L"http://files.example.com:80/"));
    EXPECT_TRUE(PageAllowed(list, L"https://files.example.com:443/"));
    EXPECT_FALSE(PageAllowed(list, L"http://files.example.com:8081/"));
    EXPECT_FALSE(PageAllowed(list, L"https://files.example.com:8443/"));
    EXPECT_FALSE(PageAllowed(list, L"http://files.example.com:443/")) << "http on https's port is another service";
    EXPECT_FALSE(PageAllowed(list, L"https://docs.corp.example:444/"));
}

TEST(SiteLockTest, EntriesMayNameASchemeAndAPort) {
    struct Row {
        const wchar_t* entry;
        const wchar_t* page;
        bool allowed;
    };
    const Row rows[] = {
        {L"https://files.example.com:8443", L"https://files.example.com:8443/app", true},
        {L"https://files.example.com:8443", L"http://files.example.com:8443/app", false},
        {L"https://files.example.com:8443", L"https://files.example.com/app", false},
        {L"https://files.example.com", L"https://files.example.com/app", true},
        {L"https://files.example.com", L"http://files.example.com/app", false},  // https required
        {L"http://intranet:8080", L"http://INTRANET:8080/", true},
        {L"http://intranet:8080", L"http://intranet/", false},
        {L"intranet:8080", L"http://intranet:8080/", true},
        {L"intranet:8080", L"https://intranet:8080/", true},
        {L"https://*.corp.example", L"https://a.corp.example/", true},
        {L"https://*.corp.example", L"http://a.corp.example/", false},
        {L"HTTPS://Files.Example.com.:8443/", L"https://files.example.com:8443/", true},
        {L"[::1]:8080", L"http://[::1]:8080/", true},
        {L"[::1]:8080", L"http://[::1]:8081/", false},
        {L"127.0.0.1:8080", L"http://evil.test@127.0.0.1:8081/", false},
        // malformed entries allow nothing
        {L"files.example.com:0", L"http://files.example.com/", false},
        {L"files.example.com:65536", L"http://files.example.com/", false},
        {L"files.example.com:80x", L"http://files.example.com/", false},
        {L"files.example.com:", L"http://files.example.com/", false},
        {L"ftp://files.example.com", L"http://files.example.com/", false},
        {L"files.example.com/app", L"http://files.example.com/", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PageAllowed(ParseAllowedHosts(row.entry), row.page), row.allowed) << row.entry << " " << row.page;
}

TEST(SiteLockTest, AnEmptyListAllowsNoPage) {
    EXPECT_FALSE(PageAllowed(Hosts{}, L"http://files.example.com/"));
}

}  // namespace
}  // namespace qm
