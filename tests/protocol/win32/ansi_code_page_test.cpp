#include "protocol/win32/ansi_code_page.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(AnsiCodePage, UnrepresentableCharactersBecomeTheDefaultCharacter) {
    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP();
    const CodePage& codePage = SystemAnsiCodePage();
    EXPECT_EQ(codePage.ToAnsi(L"caf\u00e9 \u4e2d\u20ac.txt"), "caf\xE9 ?\x80.txt");
    EXPECT_EQ(codePage.FromAnsi(std::string("caf\xE9 \x80")), L"caf\u00e9 \u20ac");
    EXPECT_EQ(codePage.ToAnsi(L""), "");
    EXPECT_EQ(codePage.FromAnsi(std::string()), L"");
}

TEST(AnsiCodePage, NamesOutsideTheCodePageKeepOneByteForEachCharacterTheyLose) {
    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP();
    const CodePage& codePage = SystemAnsiCodePage();
    EXPECT_EQ(codePage.ToAnsi(L"\u041e\u0442\u0447\u0451\u0442 \u6771\u4eac \u00fc.txt"), "????? ?? \xFC.txt");
    EXPECT_EQ(codePage.ToAnsi(L"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac"), "????????");
    EXPECT_EQ(codePage.ToAnsi(L"\u062a\u0642\u0631\u064a\u0631"), "?????");
    // A character beyond U+FFFF is two UTF-16 units and the platform gives one default character for each.
    EXPECT_EQ(codePage.ToAnsi(L"a\U0001F600b"), "a??b");
}

}  // namespace
}  // namespace qm
