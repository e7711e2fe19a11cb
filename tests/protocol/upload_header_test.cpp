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
