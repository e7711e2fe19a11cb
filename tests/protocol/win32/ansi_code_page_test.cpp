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

}  // namespace
}  // namespace qm
