#include "protocol/server_location.h"

#include <gtest/gtest.h>

#include "common/errors.h"

namespace qm {
namespace {

TEST(ParsePageLocationTest, HttpsDeepPageGivesHostDefaultPortAndSecureFlags) {
    ServerLocation location = ParsePageLocation(L"https://host/app/page?x=1");
    EXPECT_EQ(location.ServerName, L"host");
    EXPECT_EQ(location.ServerPort, 443);
    EXPECT_EQ(location.RequestFlags, 0xA4C00000u);
}

TEST(ParsePageLocationTest, HttpWithExplicitOrDefaultPort) {
    ServerLocation explicitPort = ParsePageLocation(L"http://host:8080/");
    EXPECT_EQ(explicitPort.ServerName, L"host");
    EXPECT_EQ(explicitPort.ServerPort, 8080);
    EXPECT_EQ(explicitPort.RequestFlags, 0xA4400000u);

    ServerLocation defaultPort = ParsePageLocation(L"http://host/");
    EXPECT_EQ(defaultPort.ServerName, L"host");
    EXPECT_EQ(defaultPort.ServerPort, 80);
    EXPECT_EQ(defaultPort.RequestFlags, 0xA4400000u);

    ServerLocation https = ParsePageLocation(L"HTTPS://files.example.com:8443?q=a:b");
    EXPECT_EQ(https.ServerName, L"files.example.com");
    EXPECT_EQ(https.ServerPort, 8443);
    EXPECT_EQ(https.RequestFlags, 0xA4C00000u);
}

TEST(ParsePageLocationTest, NoPathQueryOrFragmentLeaksIntoTheHost) {
    EXPECT_EQ(ParsePageLocation(L"http://host").ServerName, L"host");
    EXPECT_EQ(ParsePageLocation(L"http://host?a=b:1").ServerName, L"host");
    EXPECT_EQ(ParsePageLocation(L"http://host?a=b:1").ServerPort, 80);
    EXPECT_EQ(ParsePageLocation(L"http://host#top").ServerName, L"host");
    ServerLocation withUser = ParsePageLocation(L"http://user:pw@host:81/x@y");
    EXPECT_EQ(withUser.ServerName, L"host");
    EXPECT_EQ(withUser.ServerPort, 81);
    ServerLocation v6 = ParsePageLocation(L"http://[::1]:8081/p");
    EXPECT_EQ(v6.ServerName, L"::1");
    EXPECT_EQ(v6.ServerPort, 8081);
}

// Browsers read a backslash after the host as the start of the path, and user information up to the last "@".
TEST(ParsePageLocationTest, BackslashesAndAtSignsAsBrowsersReadThem) {
    ServerLocation backslash = ParsePageLocation(L"http://files.example.com\\app\\page.aspx");
    EXPECT_EQ(backslash.ServerName, L"files.example.com");
    EXPECT_EQ(backslash.ServerPort, 80);
    ServerLocation portThenBackslash = ParsePageLocation(L"https://host:8443\\x:9");
    EXPECT_EQ(portThenBackslash.ServerName, L"host");
    EXPECT_EQ(portThenBackslash.ServerPort, 8443);

    ServerLocation twoAts = ParsePageLocation(L"http://me@corp:p@ss@host:82/page");
    EXPECT_EQ(twoAts.ServerName, L"host");
    EXPECT_EQ(twoAts.ServerPort, 82);
    EXPECT_EQ(ParsePageLocation(L"http://a@b@[::1]/").ServerName, L"::1");
    // An "@" in the path is not user information.
    EXPECT_EQ(ParsePageLocation(L"http://host/mail@x").ServerName, L"host");
    EXPECT_EQ(ParsePageLocation(L"http://host\\mail@x").ServerName, L"host");
}

TEST(ParsePageLocationTest, BadPortsAndMissingHostsAreErrors) {
    EXPECT_THROW(ParsePageLocation(L"http://host:80a/"), Error);
    EXPECT_THROW(ParsePageLocation(L"http://host:65536/"), Error);
    EXPECT_THROW(ParsePageLocation(L"http://host:0/"), Error);
    EXPECT_THROW(ParsePageLocation(L"http://host:-1/"), Error);
    EXPECT_THROW(ParsePageLocation(L"http://host:99999999999999999999/"), Error);
    EXPECT_THROW(ParsePageLocation(L"http:///page"), Error);
    EXPECT_THROW(ParsePageLocation(L"http://:8080/"), Error);
    EXPECT_THROW(ParsePageLocation(L"not an address"), Error);
    EXPECT_THROW(ParsePageLocation(L"://host/"), Error);
    EXPECT_EQ(ParsePageLocation(L"http://host:65535/").ServerPort, 65535);
    // An empty port part keeps the default.
    EXPECT_EQ(ParsePageLocation(L"http://host:/").ServerPort, 80);
}

TEST(ParsePageLocationTest, ErrorTextNamesTheAddress) {
    try {
        ParsePageLocation(L"http://host:x/");
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_NE(error.text().find(L"http://host:x/"), std::wstring::npos);
    }
}

TEST(ParsePageLocationTest, FilePageIsNotSecureAndHasNoPort) {
    ServerLocation location = ParsePageLocation(L"file:///C:/pages/index.html");
    EXPECT_EQ(location.ServerName, L"");
    EXPECT_EQ(location.ServerPort, 0);
    EXPECT_EQ(location.RequestFlags, 0xA4400000u);

    ServerLocation ftp = ParsePageLocation(L"ftp://host/x");
    EXPECT_EQ(ftp.ServerName, L"host");
    EXPECT_EQ(ftp.ServerPort, 0);
    EXPECT_EQ(ftp.RequestFlags, 0xA4400000u);
}

}  // namespace
}  // namespace qm
