#include "control/page.h"

#include <gtest/gtest.h>

#include "support/fake_page_element.h"

namespace qm {
namespace {

using testing::FakePageElement;

TEST(IsTrueTextTest, AcceptsTrueInAnyLetterCaseOnly) {
    EXPECT_TRUE(IsTrueText(L"true"));
    EXPECT_TRUE(IsTrueText(L"TRUE"));
    EXPECT_TRUE(IsTrueText(L"True"));
    EXPECT_TRUE(IsTrueText(L"tRuE"));
    EXPECT_FALSE(IsTrueText(L"true "));
    EXPECT_FALSE(IsTrueText(L" true"));
    EXPECT_FALSE(IsTrueText(L""));
    EXPECT_FALSE(IsTrueText(L"tru"));
    EXPECT_FALSE(IsTrueText(L"1"));
    EXPECT_FALSE(IsTrueText(L"yes"));
    EXPECT_FALSE(IsTrueText(L"false"));
    EXPECT_FALSE(IsTrueText(std::wstring(L"true\0", 5)));
}

// Pages write "null" or "none" into attributes they have no value for; four letters are not enough.
TEST(IsTrueTextTest, OtherFourLetterTextsAreNotTrue) {
    for (const wchar_t* text : {L"null", L"none", L"NULL", L"trux", L"xrue", L"tRUe\u00a0"})
        EXPECT_FALSE(IsTrueText(text)) << text;
    FakePageElement element;
    element.text[L"AllowDrop"] = L"null";
    EXPECT_FALSE(BoolAttribute(element, L"AllowDrop", true));
}

TEST(BoolAttributeTest, AbsentGivesTheDefaultAndOnlyTrueTextGivesTrue) {
    FakePageElement element;
    EXPECT_FALSE(BoolAttribute(element, L"AllowDrop"));
    EXPECT_TRUE(BoolAttribute(element, L"AllowDrop", true));
    element.text[L"AllowDrop"] = L"True";
    EXPECT_TRUE(BoolAttribute(element, L"AllowDrop"));
    element.text[L"AllowDrop"] = L"false";
    EXPECT_FALSE(BoolAttribute(element, L"AllowDrop", true));
    // A text that is neither counts as not true, even when the default is true.
    element.text[L"AllowDrop"] = L"";
    EXPECT_FALSE(BoolAttribute(element, L"AllowDrop", true));
    element.text[L"AllowDrop"] = L"yes";
    EXPECT_FALSE(BoolAttribute(element, L"AllowDrop", true));
    ASSERT_FALSE(element.asked.empty());
    EXPECT_EQ(element.asked.back(), L"AllowDrop");
}

TEST(TextAttributeOrTest, GivesTheTextEvenWhenEmptyAndTheFallbackWhenAbsent) {
    FakePageElement element;
    EXPECT_EQ(TextAttributeOr(element, L"ExecuteScriptAfterUpload"), L"");
    EXPECT_EQ(TextAttributeOr(element, L"LocalPath", L"%TEMP%"), L"%TEMP%");
    element.text[L"LocalPath"] = L"";
    EXPECT_EQ(TextAttributeOr(element, L"LocalPath", L"%TEMP%"), L"");
    element.text[L"ViewName"] = L"Documents";
    EXPECT_EQ(TextAttributeOr(element, L"ViewName", L"x"), L"Documents");
}

}  // namespace
}  // namespace qm
