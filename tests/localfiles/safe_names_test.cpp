#include "localfiles/safe_names.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(SafeComponent, OrdinaryNamesPassUnchanged) {
    for (const wchar_t* name : {L"Plan.doc", L"Report 2024 (final).xlsx", L"Ünïcödé 文件.txt", L".profile", L"a..b"})
        EXPECT_EQ(SafeComponent(name), name);
    EXPECT_TRUE(IsSafeComponent(L"Plan.doc"));
}

TEST(SafeComponent, SeparatorsColonsAndWildcardsBecomeUnderscores) {
    EXPECT_EQ(SafeComponent(L"..\\..\\Windows\\win.ini"), L".._.._Windows_win.ini");
    EXPECT_EQ(SafeComponent(L"../etc/passwd"), L".._etc_passwd");
    EXPECT_EQ(SafeComponent(L"C:\\boot.ini"), L"C__boot.ini");
    EXPECT_EQ(SafeComponent(L"file.txt:secret"), L"file.txt_secret");
    EXPECT_EQ(SafeComponent(L"\\\\server\\share\\x"), L"__server_share_x");
    EXPECT_EQ(SafeComponent(L"a*b?c\"d<e>f|g"), L"a_b_c_d_e_f_g");
    EXPECT_EQ(SafeComponent(std::wstring(L"a\x01\nb\x7F", 5)), L"a__b_");
    EXPECT_FALSE(IsSafeComponent(L"x\\y"));
}

TEST(SafeComponent, DotPartsTrailingDotsAndBlanksCannotRemain) {
    EXPECT_EQ(SafeComponent(L".."), kUnknownFileName);
    EXPECT_EQ(SafeComponent(L"."), kUnknownFileName);
    EXPECT_EQ(SafeComponent(L" . . "), kUnknownFileName);
    EXPECT_EQ(SafeComponent(L""), kUnknownFileName);
    EXPECT_EQ(SafeComponent(L"report.doc. . "), L"report.doc");
    EXPECT_EQ(SafeComponent(L"  lead"), L"lead");
    EXPECT_FALSE(IsSafeComponent(L""));
}

TEST(SafeComponent, ReservedDeviceNamesAreMadeOrdinary) {
    for (const wchar_t* name : {L"CON", L"con", L"Nul.txt", L"PRN.doc", L"aux", L"COM1", L"lpt9.log", L"CONOUT$",
                                L"CON .txt", L"COM\u00B9"})
        EXPECT_EQ(SafeComponent(name), std::wstring(L"_") + name) << std::string(name, name + wcslen(name));
    for (const wchar_t* name : {L"CONSOLE", L"COM0", L"COM10", L"LPT", L"nul2.txt", L"xcon"})
        EXPECT_EQ(SafeComponent(name), name);
}

}  // namespace
}  // namespace qm
