#include "protocol/wire_text.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(Base64Encode, PadsTheLastGroup) {
    EXPECT_EQ(Base64Encode(""), L"");
    EXPECT_EQ(Base64Encode("a"), L"YQ==");
    EXPECT_EQ(Base64Encode("ab"), L"YWI=");
    EXPECT_EQ(Base64Encode("abc"), L"YWJj");
    EXPECT_EQ(Base64Encode("report.txt"), L"cmVwb3J0LnR4dA==");
}

TEST(Base64Encode, UsesAllSixBitsOfHighBytesAndNoLineBreaks) {
    EXPECT_EQ(Base64Encode(std::string("\xFF\xFE\xFD", 3)), L"//79");
    EXPECT_EQ(Base64Encode(std::string("\xFB\xEF", 2)), L"++8=");
    const std::wstring long_text = Base64Encode(std::string(300, 'x'));
    EXPECT_EQ(long_text.size(), 400u);
    EXPECT_EQ(long_text.find_first_of(L"\r\n"), std::wstring::npos);
}

TEST(Utf8Bytes, EncodesEveryLengthOfSequence) {
    EXPECT_EQ(Utf8Bytes(L""), "");
    EXPECT_EQ(Utf8Bytes(L"a.txt"), "a.txt");
    EXPECT_EQ(Utf8Bytes(L"\u00fc\u0436"), "\xC3\xBC\xD0\xB6");
    EXPECT_EQ(Utf8Bytes(L"\u6771\u0301"), "\xE6\x9D\xB1\xCC\x81");
    EXPECT_EQ(Utf8Bytes(L"\U0001F600"), "\xF0\x9F\x98\x80");
}

// Text from Windows holds a character beyond U+FFFF as two UTF-16 units; they make one four-byte sequence.
TEST(Utf8Bytes, JoinsASurrogatePairAndReplacesALoneHalf) {
    const std::wstring pair{static_cast<wchar_t>(0xD834), static_cast<wchar_t>(0xDD1E)};
    EXPECT_EQ(Utf8Bytes(pair), "\xF0\x9D\x84\x9E");
    const std::wstring lone{L'a', static_cast<wchar_t>(0xD834), L'b', static_cast<wchar_t>(0xDD1E)};
    EXPECT_EQ(Utf8Bytes(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(SignedDecimalText, WritesTheBitsAsASigned32BitNumber) {
    EXPECT_EQ(SignedDecimalText(0), L"0");
    EXPECT_EQ(SignedDecimalText(9), L"9");
    EXPECT_EQ(SignedDecimalText(0x7FFFFFFFu), L"2147483647");
    EXPECT_EQ(SignedDecimalText(0x80000000u), L"-2147483648");
    EXPECT_EQ(SignedDecimalText(0xCBF43926u), L"-873187034");
    EXPECT_EQ(SignedDecimalText(3000000000u), L"-1294967296");
    EXPECT_EQ(SignedDecimalText(0xFFFFFFFFu), L"-1");
}

TEST(EncodeGetFileBody, KeepsLatin1CharactersAsSingleBytes) {
    const std::string body = EncodeGetFileBody(L"<GetFile ViewName=\"Caf\u00e9\u00ff\"/>");
    EXPECT_EQ(body, "<GetFile ViewName=\"Caf\xE9\xFF\"/>");
}

TEST(EncodeGetFileBody, WritesCharactersAbove255AsReferencesAndKeepsWhatFollows) {
    const std::string body = EncodeGetFileBody(L"<A K=\"x\u0100y\u20ACz\"/>");
    EXPECT_EQ(body, "<A K=\"x&#256;y&#8364;z\"/>");
    EXPECT_EQ(EncodeGetFileBody(L"\u0100"), "&#256;");
    EXPECT_EQ(EncodeGetFileBody(L""), "");
}

TEST(EncodeGetFileBody, NamesACharacterBeyondTheBasicPlaneOnce) {
    std::wstring text = L"a";
    if constexpr (sizeof(wchar_t) == 2) {
        text += static_cast<wchar_t>(0xD83D);
        text += static_cast<wchar_t>(0xDE00);
    } else {
        text += static_cast<wchar_t>(0x1F600);
    }
    text += L"b";
    EXPECT_EQ(EncodeGetFileBody(text), "a&#128512;b");
}

// A reference to a surrogate code point makes the whole request unreadable to an XML parser.
TEST(EncodeGetFileBody, ALoneSurrogateBecomesTheReplacementCharacter) {
    for (std::uint32_t lone : {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu}) {
        std::wstring text = L"K=\"";
        text += static_cast<wchar_t>(lone);
        text += L"\"";
        EXPECT_EQ(EncodeGetFileBody(text), "K=\"&#65533;\"") << std::hex << lone;
    }
    // A high surrogate followed by something else than a low one, and a low one that comes first.
    std::wstring swapped = L"a";
    swapped += static_cast<wchar_t>(0xDC00);
    swapped += static_cast<wchar_t>(0xD800);
    swapped += L"b";
    EXPECT_EQ(EncodeGetFileBody(swapped), "a&#65533;&#65533;b");
    // Neighbours of the surrogate block are characters of their own.
    std::wstring edges;
    edges += static_cast<wchar_t>(0xD7FF);
    edges += static_cast<wchar_t>(0xE000);
    EXPECT_EQ(EncodeGetFileBody(edges), "&#55295;&#57344;");
}

}  // namespace
}  // namespace qm
