#include "protocol/upload_header.h"

#include <gtest/gtest.h>

#include "protocol/protocol_document.h"
#include "support/fake_code_page.h"

namespace qm {
namespace {

using testing::Latin1CodePage;

// The slots the upload header reads, under the names the upload flows give them.
struct Descriptor {
    std::wstring FileName;
    std::wstring LocalPath;
    std::uint32_t FileCrc = 0;
    std::uint32_t FileSize = 0;
    std::uint32_t BlockCount = 0;
    std::wstring PrimKey;
    std::wstring ViewName;
    std::wstring UploadViewName;
};

class UploadHeaderTest : public ::testing::Test {
protected:
    Latin1CodePage codePage_;
    UploadHeaderFields f_;
    ProtocolDocument document_{nullptr, codePage_};
};

TEST_F(UploadHeaderTest, ReportExampleByteForByte) {
    Descriptor d;
    d.FileName = L"report.txt";
    d.LocalPath = L"C:\\Data\\report.txt";
    d.FileCrc = 0xCBF43926u;
    d.FileSize = 9;
    d.PrimKey = L"01234567-89ab-cdef-0123-456789abcdef";
    d.ViewName = L"Documents";
    EXPECT_EQ(document_.BuildUploadHeader(d),
              L"Content-Type: velmar/postedfile\r\n"
              L"vm_PrimKey :01234567-89ab-cdef-0123-456789abcdef\r\n"
              L"vm_ViewName :Documents\r\n"
              L"vm_FileName :cmVwb3J0LnR4dA==\r\n"
              L"vm_FileSize :9\r\n"
              L"vm_FileCRC :-873187034\r\n");
}

TEST_F(UploadHeaderTest, UploadViewNameReplacesViewNameOnlyWhenNotEmpty) {
    UploadHeaderFields f{L"a", L"K", L"Documents", L"", 0, 0};
    EXPECT_NE(BuildUploadHeaderText(f, codePage_).find(L"\r\nvm_ViewName :Documents\r\n"), std::wstring::npos);
    f.UploadViewName = L"Uploads";
    const std::wstring block = BuildUploadHeaderText(f, codePage_);
    EXPECT_NE(block.find(L"\r\nvm_ViewName :Uploads\r\n"), std::wstring::npos);
    EXPECT_EQ(block.find(L"Documents"), std::wstring::npos);
}

TEST_F(UploadHeaderTest, EmptyFileAndSizesAbove2GiB) {
    UploadHeaderFields f{L"a", L"K", L"V", L"", 0, 0};
    std::wstring block = BuildUploadHeaderText(f, codePage_);
    EXPECT_NE(block.find(L"vm_FileName :YQ==\r\nvm_FileSize :0\r\nvm_FileCRC :0\r\n"), std::wstring::npos);
    f.FileName = L"ab";
    f.FileSize = 3000000000u;
    block = BuildUploadHeaderText(f, codePage_);
    EXPECT_NE(block.find(L"vm_FileName :YWI=\r\nvm_FileSize :-1294967296\r\n"), std::wstring::npos);
}

TEST_F(UploadHeaderTest, SixLinesEachEndedByCrLf) {
    const std::wstring block = BuildUploadHeaderText({L"x.doc", L"K", L"V", L"", 1, 2}, codePage_);
    std::size_t lines = 0;
    for (std::size_t at = block.find(L"\r\n"); at != std::wstring::npos; at = block.find(L"\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 6u);
    EXPECT_EQ(block.substr(block.size() - 2), L"\r\n");
    EXPECT_EQ(block.find(L'\n'), block.find(L"\r\n") + 1) << "no bare line feeds";
}

TEST_F(UploadHeaderTest, CharactersOutsideTheCodePageArriveAsTheDefaultCharacter) {
    // "?.txt" in base64.
    EXPECT_EQ(EncodeUploadFileName(L"\u4e2d.txt", codePage_), L"Py50eHQ=");
    // Latin-1 letters stay single bytes: "\xE9" alone is 6Q==.
    EXPECT_EQ(EncodeUploadFileName(L"\u00e9", codePage_), L"6Q==");
}

TEST_F(UploadHeaderTest, ANameTooLongForTheFieldIsRefusedNotCut) {
    const std::wstring longest(kMaxFileNameBytes, L'n');
    EXPECT_EQ(EncodeUploadFileName(longest, codePage_).size(), 256u);
    const std::wstring tooLong(kMaxFileNameBytes + 1, L'n');
    try {
        BuildUploadHeaderText({tooLong, L"K", L"V", L"", 1, 2}, codePage_);
        FAIL() << "a name of 193 bytes was accepted";
    } catch (const UploadHeaderError& error) {
        EXPECT_NE(error.text().find(L"too long"), std::wstring::npos) << std::string(error.what());
    }
}

// The opt-in: the same six lines with the name field in UTF-8, and one line after them that says so.
TEST_F(UploadHeaderTest, AUtf8NameIsSentAsItsBytesAndToldInOneAddedLine) {
    UploadHeaderFields f{L"\u041e\u0442\u0447\u0451\u0442 \u6771\u4eac \u00fc.txt", L"K", L"V", L"", 9, 0xCBF43926u};
    const std::wstring plain = BuildUploadHeaderText(f, codePage_);
    f.Encoding = NameEncoding::Utf8;
    const std::wstring utf8 = BuildUploadHeaderText(f, codePage_);
    // base64 of the UTF-8 bytes D0 9E D1 82 D1 87 D1 91 D1 82 20 E6 9D B1 E4 BA AC 20 C3 BC 2E 74 78 74.
    EXPECT_EQ(utf8, L"Content-Type: velmar/postedfile\r\nvm_PrimKey :K\r\nvm_ViewName :V\r\n"
                    L"vm_FileName :0J7RgtGH0ZHRgiDmnbHkuqwgw7wudHh0\r\nvm_FileSize :9\r\nvm_FileCRC :-873187034\r\n"
                    L"vm_FileNameEncoding :utf-8\r\n");
    EXPECT_EQ(plain.find(L"vm_FileNameEncoding"), std::wstring::npos) << "without the opt-in nothing is added";
    EXPECT_NE(plain.find(L"vm_FileName :Pz8/Pz8gPz8g/C50eHQ=\r\n"), std::wstring::npos) << plain.c_str();
}

TEST_F(UploadHeaderTest, TheAttributeNamesUtf8InAnyCaseAndNothingElseChangesTheField) {
    EXPECT_EQ(NameEncodingOf(L"utf-8"), NameEncoding::Utf8);
    EXPECT_EQ(NameEncodingOf(L"UTF-8"), NameEncoding::Utf8);
    EXPECT_EQ(NameEncodingOf(L"Utf8"), NameEncoding::Utf8);
    EXPECT_EQ(NameEncodingOf(L""), NameEncoding::CodePage);
    EXPECT_EQ(NameEncodingOf(L"utf-16"), NameEncoding::CodePage);
    EXPECT_EQ(NameEncodingOf(L" utf-8"), NameEncoding::CodePage);
}

// The field holds 192 bytes whatever they encode: a name that fits as "?" may not fit in UTF-8, and the
// refusal names the file and the count in the encoding that was asked for.
TEST_F(UploadHeaderTest, TheLimitCountsTheBytesOfTheChosenEncoding) {
    const std::wstring cyrillic(96, L'\u0436');  // 96 characters, 96 bytes as "?", 192 in UTF-8
    EXPECT_FALSE(FileNameRefusal(cyrillic, NameEncoding::CodePage, codePage_));
    EXPECT_FALSE(FileNameRefusal(cyrillic, NameEncoding::Utf8, codePage_));
    const std::wstring longer = cyrillic + L"\u0436";
    EXPECT_FALSE(FileNameRefusal(longer, NameEncoding::CodePage, codePage_));
    const auto refusal = FileNameRefusal(longer, NameEncoding::Utf8, codePage_);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find(longer), std::wstring::npos) << "the file is named";
    EXPECT_NE(refusal->find(L"194 bytes in UTF-8"), std::wstring::npos);
    const auto ansi = FileNameRefusal(std::wstring(193, L'n'), NameEncoding::CodePage, codePage_);
    ASSERT_TRUE(ansi);
    EXPECT_NE(ansi->find(L"193 bytes in this computer's code page"), std::wstring::npos);
    EXPECT_NE(ansi->find(L"at most 192"), std::wstring::npos);
    f_ = {longer, L"K", L"V", L"", 1, 2, NameEncoding::Utf8};
    EXPECT_THROW(BuildUploadHeaderText(f_, codePage_), UploadHeaderError);
}

TEST_F(UploadHeaderTest, ALineBreakInAKeyOrViewNameIsRefused) {
    EXPECT_THROW(BuildUploadHeaderText({L"a", L"K\r\nvm_FileSize :0", L"V", L"", 1, 2}, codePage_), UploadHeaderError);
    EXPECT_THROW(BuildUploadHeaderText({L"a", L"K", L"V\n", L"", 1, 2}, codePage_), UploadHeaderError);
    EXPECT_THROW(BuildUploadHeaderText({L"a", L"K", L"V", L"U\r", 1, 2}, codePage_), UploadHeaderError);
    // A line break in a view name that the upload view name replaces does not reach the wire.
    EXPECT_NO_THROW(BuildUploadHeaderText({L"a", L"K", L"V\n", L"U", 1, 2}, codePage_));
}

TEST_F(UploadHeaderTest, ANulInAKeyOrViewNameIsRefusedAndTold) {
    try {
        BuildUploadHeaderText({L"a", std::wstring(L"K\0vm_FileSize :0", 16), L"V", L"", 1, 2}, codePage_);
        FAIL() << "a key with a NUL was accepted";
    } catch (const UploadHeaderError& error) {
        EXPECT_NE(error.text().find(L"NUL character"), std::wstring::npos);
        EXPECT_EQ(error.text().find(L'\0'), std::wstring::npos) << "the message itself holds no NUL";
    }
    EXPECT_THROW(BuildUploadHeaderText({L"a", L"K", std::wstring(L"V\0", 2), L"", 1, 2}, codePage_), UploadHeaderError);
}

}  // namespace
}  // namespace qm
