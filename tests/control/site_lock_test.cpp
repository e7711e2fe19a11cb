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
    EXPECT_TRUE(PageAllowed(list, L"HTTPS://FILES.EXAMPLE.COM.:8443/app"));
    EXPECT_TRUE(PageAllowed(list, L"http://127.0.0.1:8080/"));
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

TEST(SiteLockTest, AnEmptyListAllowsNoPage) {
    EXPECT_FALSE(PageAllowed(Hosts{}, L"http://files.example.com/"));
}

}  // namespace
}  // namespace qm
