#include "protocol/protocol_document.h"

#include <gtest/gtest.h>

#include "protocol/file_store_client.h"
#include "support/fake_code_page.h"
#include "support/fake_http_request.h"
#include "support/fake_xml_document.h"

namespace qm {
namespace {

using testing::FakeHttpRequest;
using testing::FakeXmlDocument;
using testing::Latin1CodePage;

class ProtocolDocumentTest : public ::testing::Test {
protected:
    ProtocolDocumentTest() {
        auto dom = std::make_unique<FakeXmlDocument>();
        dom_ = dom.get();
        document_ = std::make_unique<ProtocolDocument>(std::move(dom), codePage_);
    }
    Latin1CodePage codePage_;
    FakeXmlDocument* dom_ = nullptr;
    std::unique_ptr<ProtocolDocument> document_;
};

TEST_F(ProtocolDocumentTest, GetFileRequestCarriesBothAttributesInOrder) {
    const std::wstring text = document_->BuildGetFileRequest(L"Documents", L"K-1");
    EXPECT_EQ(text.substr(0, text.find(L"\r\n")),
              L"<DataRequest><GetFile ViewName=\"Documents\" PrimKey=\"K-1\"/></DataRequest>");
}

// What the server receives must read back as the values the page gave, whatever they hold.
TEST_F(ProtocolDocumentTest, GetFileBodyReadsBackToTheSameValues) {
    const std::wstring view = L"A&B <\"C\"> \u00e9\u0100\u4e2d end";
    const std::wstring key = L"k\u20ac&lt;";
    FakeHttpRequest request;
    SendGetFile(request, document_->BuildGetFileRequest(view, key));
    EXPECT_NE(request.body.find("&#256;&#20013;"), std::string::npos) << request.body;
    EXPECT_NE(request.body.find("\xE9"), std::string::npos) << "Latin-1 stays one byte";
    EXPECT_EQ(request.announced, request.body.size());
    EXPECT_NE(request.body.find("</DataRequest>"), std::string::npos) << "the body was cut";

    FakeXmlDocument reader;
    ASSERT_EQ(reader.LoadXml(codePage_.FromAnsi(request.body)).code, 0) << request.body;
    auto getFile = reader.SelectSingleElement(L"DataRequest/GetFile");
    ASSERT_TRUE(getFile);
    EXPECT_EQ(getFile->GetAttribute(L"ViewName"), view);
    EXPECT_EQ(getFile->GetAttribute(L"PrimKey"), key);
}

TEST(ProtocolDocumentWithoutDom, RequestIsEmptyAndEveryQuestionAnswersNothing) {
    Latin1CodePage codePage;
    for (bool noDom : {true, false}) {
        auto dom = std::make_unique<FakeXmlDocument>();
        dom->created = false;
        ProtocolDocument document(noDom ? nullptr : std::move(dom), codePage);
        EXPECT_EQ(document.BuildGetFileRequest(L"V", L"K"), L"");
        EXPECT_FALSE(document.LoadResponse(L"<Response><Success FileRef=\"a\"/></Response>"));
        EXPECT_FALSE(document.HasSuccessResponse());
        EXPECT_FALSE(document.HasErrorResponse());
        EXPECT_EQ(document.GetResponseMessage(), kUnknownErrorText);
        EXPECT_EQ(document.GetFileRef(), L"");
    }
}

TEST_F(ProtocolDocumentTest, AFailingDomStepGivesAnEmptyRequest) {
    dom_->failCreateElement = true;
    EXPECT_EQ(document_->BuildGetFileRequest(L"V", L"K"), L"");
}

TEST(CutResponseText, FromTheOpeningTagOrTheStartToTheFirstClosingTag) {
    EXPECT_EQ(CutResponseText(L"<?xml version=\"1.0\"?><Response><Success/></Response><html>x</html>"),
              L"<Response><Success/></Response>");
    EXPECT_EQ(CutResponseText(L"<Response a=\"1\"><Error/></Response>\r\n"), L"<Response a=\"1\"><Error/></Response>");
    EXPECT_EQ(CutResponseText(L"<Response><A/></Response><Response><B/></Response>"), L"<Response><A/></Response>");
    EXPECT_EQ(CutResponseText(L"<Response><Success/>"), std::nullopt);
    EXPECT_EQ(CutResponseText(L""), std::nullopt);
    EXPECT_EQ(CutResponseText(L"</Response> then <Response>"), std::nullopt);
}

TEST_F(ProtocolDocumentTest, DeclarationAndTrailingHtmlLoadAsSuccess) {
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(document_->LoadResponse(
        L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Response><Success FileRef=\"abc\"/></Response>\r\n"
        L"<html><body>Trailing page</body></html>"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "XML document loaded successfully\n");
    EXPECT_TRUE(document_->HasSuccessResponse());
    EXPECT_FALSE(document_->HasErrorResponse());
    EXPECT_EQ(document_->GetFileRef(), L"abc");
    EXPECT_EQ(document_->GetResponseMessage(), kUnknownErrorText);
}

TEST_F(ProtocolDocumentTest, RootWithAttributesLoadsFromTheStart) {
    EXPECT_TRUE(document_->LoadResponse(L"<Response Version=\"2\"><Error Message=\"Disk full\"/></Response>"));
    ASSERT_FALSE(dom_->loadedTexts.empty());
    EXPECT_EQ(dom_->loadedTexts.back(), L"<Response Version=\"2\"><Error Message=\"Disk full\"/></Response>");
    EXPECT_TRUE(document_->HasErrorResponse());
    EXPECT_FALSE(document_->HasSuccessResponse());
    EXPECT_EQ(document_->GetResponseMessage(), L"Disk full");
    EXPECT_EQ(document_->GetFileRef(), L"");
}

TEST_F(ProtocolDocumentTest, MissingClosingTagLoadsNothingAndReplacesTheLastResponse) {
    ASSERT_TRUE(document_->LoadResponse(L"<Response><Success FileRef=\"old\"/></Response>"));
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(document_->LoadResponse(L"<Response><Success FileRef=\"new\"/>"));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(out.empty()) << "the reason is written";
    EXPECT_EQ(out.find("Error on line"), std::string::npos) << "no line for an empty text";
    EXPECT_FALSE(document_->HasSuccessResponse());
    EXPECT_FALSE(document_->HasErrorResponse());
    EXPECT_EQ(document_->GetResponseMessage(), kUnknownErrorText);
    EXPECT_EQ(document_->GetFileRef(), L"");
}

TEST_F(ProtocolDocumentTest, ParseErrorWritesReasonAndPositionToStandardOutput) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(document_->LoadResponse(L"<Response>\n<Error Message=\"a</Response>"));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(out.find("\r\nError on line 2, position "), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 5), " \"\".\n") << out;
}

TEST_F(ProtocolDocumentTest, AReasonWithoutLineEndStillEndsItsLine) {
    dom_->reasonEnd = L"";
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(document_->LoadResponse(L"<Response>\n<Error Message=\"a</Response>"));
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(".\nError on line 2, position "), std::string::npos) << out;

    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(document_->LoadResponse(L"<Response><Success/>"));
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "The document has no top level element.\n");
}

// The reason is written as UTF-8, whatever the parser's language: one, two, three and four bytes a character.
TEST_F(ProtocolDocumentTest, AReasonInAnotherLanguageIsWrittenAsUtf8) {
    std::wstring reason = L"Ung\u00fcltiges Zeichen \u00bb\u20ac\u00ab ";
    if constexpr (sizeof(wchar_t) == 2) {
        reason += static_cast<wchar_t>(0xD83D);
        reason += static_cast<wchar_t>(0xDE00);
    } else {
        reason += static_cast<wchar_t>(0x1F600);
    }
    dom_->localizedReason = reason;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(document_->LoadResponse(L"<Response><Success/>"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Ung\xC3\xBCltiges Zeichen \xC2\xBB\xE2\x82\xAC\xC2\xAB \xF0\x9F\x98\x80\r\n");
}

TEST_F(ProtocolDocumentTest, BothChildrenAnswerBothQuestions) {
    EXPECT_TRUE(document_->LoadResponse(L"<Response><Success FileRef=\"r\"/><Error Message=\"m\"/></Response>"));
    EXPECT_TRUE(document_->HasSuccessResponse());
    EXPECT_TRUE(document_->HasErrorResponse());
    EXPECT_EQ(document_->GetFileRef(), L"r");
    EXPECT_EQ(document_->GetResponseMessage(), L"m");
}

TEST_F(ProtocolDocumentTest, MissingAttributesGiveEmptyTexts) {
    EXPECT_TRUE(document_->LoadResponse(L"<Response><Success/><Error/></Response>"));
    EXPECT_EQ(document_->GetFileRef(), L"");
    EXPECT_EQ(document_->GetResponseMessage(), L"");
}

TEST_F(ProtocolDocumentTest, NamesAreCaseSensitive) {
    EXPECT_FALSE(document_->LoadResponse(L"<response><Success/></response>"));
    EXPECT_TRUE(document_->LoadResponse(L"<Response><success/><error/></Response>"));
    EXPECT_FALSE(document_->HasSuccessResponse());
    EXPECT_FALSE(document_->HasErrorResponse());
}

}  // namespace
}  // namespace qm
