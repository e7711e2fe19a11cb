#include "protocol/win32/msxml_document.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include "protocol/file_store_client.h"
#include "protocol/reply_rules.h"
#include "protocol/wire_text.h"

namespace qm {
namespace {

// The DOM may lay the elements out on lines of their own (Wine's does); the layout is its choice.
template <class Text>
Text Compact(const Text& text) {
    Text out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n' || text[i] == '\t') {
            std::size_t j = i;
            while (j < text.size() && (text[j] == '\r' || text[j] == '\n' || text[j] == '\t' || text[j] == ' ')) ++j;
            const bool betweenTags = (i == 0 || text[i - 1] == '>') && (j == text.size() || text[j] == '<');
            if (betweenTags) {
                i = j - 1;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

TEST(MsxmlDocument, CreatesTheDomInProcess) {
    MsxmlDocument dom;
    EXPECT_TRUE(dom.Created()) << std::hex << dom.creationResult();
}

TEST(MsxmlGetFileRequest, PlainValues) {
    auto document = CreateProtocolDocument();
    EXPECT_EQ(Compact(document->BuildGetFileRequest(L"Documents", L"01234567-89ab-cdef-0123-456789abcdef")),
              L"<DataRequest><GetFile ViewName=\"Documents\" PrimKey=\"01234567-89ab-cdef-0123-456789abcdef\"/></DataRequest>");
}

TEST(MsxmlGetFileRequest, EscapesAmpersandLessThanAndQuote) {
    auto document = CreateProtocolDocument();
    const std::wstring text = Compact(document->BuildGetFileRequest(L"A&B<C", L"say \"hi\""));
    EXPECT_EQ(text, L"<DataRequest><GetFile ViewName=\"A&amp;B&lt;C\" PrimKey=\"say &quot;hi&quot;\"/></DataRequest>");
}

TEST(MsxmlGetFileRequest, ACharacterAbove255ReachesTheBodyWhole) {
    auto document = CreateProtocolDocument();
    const std::string body = EncodeGetFileBody(document->BuildGetFileRequest(L"Caf\u00e9\u0100", L"K\u4e2dL"));
    EXPECT_EQ(Compact(body),
              "<DataRequest><GetFile ViewName=\"Caf\xE9&#256;\" PrimKey=\"K&#20013;L\"/></DataRequest>");
    // The body reads back as the same values.
    MsxmlDocument reader;
    std::wstring latin1;
    for (unsigned char c : body) latin1 += static_cast<wchar_t>(c);
    ASSERT_EQ(reader.LoadXml(latin1).code, 0);
    auto getFile = reader.SelectSingleElement(L"DataRequest/GetFile");
    ASSERT_TRUE(getFile);
    EXPECT_EQ(getFile->GetAttribute(L"ViewName"), L"Caf\u00e9\u0100");
    EXPECT_EQ(getFile->GetAttribute(L"PrimKey"), L"K\u4e2dL");
    EXPECT_EQ(getFile->GetAttribute(L"Missing"), std::nullopt);
}

class MsxmlResponseTest : public ::testing::Test {
protected:
    std::unique_ptr<ProtocolDocument> document_ = CreateProtocolDocument();
};

TEST_F(MsxmlResponseTest, DeclarationAndTrailingHtml) {
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(document_->LoadResponse(L"<?xml version=\"1.0\"?><Response><Success FileRef=\"abc\"/></Response>"
                                        L"<html><body><p>trailer</p></body></html>"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "XML document loaded successfully\n");
    EXPECT_TRUE(document_->HasSuccessResponse());
    EXPECT_FALSE(document_->HasErrorResponse());
    EXPECT_EQ(document_->GetFileRef(), L"abc");
}

TEST_F(MsxmlResponseTest, RootWithAttributes) {
    EXPECT_TRUE(document_->LoadResponse(L"<Response Version=\"1.0\" Status=\"ok\"><Error Message=\"Locked &amp; busy\"/></Response>"));
    EXPECT_TRUE(document_->HasErrorResponse());
    EXPECT_EQ(document_->GetResponseMessage(), L"Locked & busy");
    EXPECT_EQ(document_->GetFileRef(), L"");
}

TEST_F(MsxmlResponseTest, MissingEndReplacesThePreviousResponse) {
    ASSERT_TRUE(document_->LoadResponse(L"<Response><Success FileRef=\"old\"/></Response>"));
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(document_->LoadResponse(L"<Response><Success FileRef=\"new\"/>"));
    EXPECT_FALSE(::testing::internal::GetCapturedStdout().empty());
    EXPECT_FALSE(document_->HasSuccessResponse());
    EXPECT_FALSE(document_->HasErrorResponse());
    EXPECT_EQ(document_->GetResponseMessage(), L"Unknown Error");
    EXPECT_EQ(document_->GetFileRef(), L"");
}

TEST_F(MsxmlResponseTest, MalformedXmlWritesTheReasonAndPosition) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(document_->LoadResponse(L"<Response>\n<Error Message=\"x\"></Wrong></Response>"));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_GT(out.size(), 1u);
    EXPECT_EQ(out.back(), '\n');
    // Windows' parser names the place; Wine's gives line 0, and then no position line is written.
    const std::size_t position = out.find("Error on line ");
    if (position != std::string::npos) {
        EXPECT_GT(position, 0u) << "the reason comes first";
        EXPECT_NE(out.find("Error on line 2, position "), std::string::npos) << out;
        EXPECT_EQ(out.substr(out.size() - 5), " \"\".\n") << out;
    }
}

TEST_F(MsxmlResponseTest, BothChildren) {
    EXPECT_TRUE(document_->LoadResponse(L"<Response><Success FileRef=\"r\"/><Error Message=\"m\"/></Response>"));
    EXPECT_TRUE(document_->HasSuccessResponse());
    EXPECT_TRUE(document_->HasErrorResponse());
    EXPECT_TRUE(DecideReply(kFilePostReplyRules, *document_, L"<Response><Success FileRef=\"r\"/><Error Message=\"m\"/></Response>").stored);
    const ReplyDecision get = DecideReply(kGetFileReplyRules, *document_, L"<Response><Success FileRef=\"r\"/><Error Message=\"m\"/></Response>");
    EXPECT_FALSE(get.stored);
    EXPECT_EQ(get.text, L"m");
}

TEST_F(MsxmlResponseTest, ElementsWithoutAttributes) {
    EXPECT_TRUE(document_->LoadResponse(L"<Response><Success/><Error/></Response>"));
    EXPECT_EQ(document_->GetFileRef(), L"");
    EXPECT_EQ(document_->GetResponseMessage(), L"");
}

// A worker thread has no COM yet: the document brings it and takes it away again.
struct ThreadFacts {
    HRESULT during = E_FAIL;
    HRESULT after = E_FAIL;
    std::wstring request;
};

DWORD WINAPI DocumentOnFreshThread(void* parameter) {
    auto& facts = *static_cast<ThreadFacts*>(parameter);
    {
        auto document = CreateProtocolDocument();
        facts.request = document->BuildGetFileRequest(L"V", L"K");
        // Already initialised apartment-threaded on this thread: S_FALSE.
        facts.during = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(facts.during)) CoUninitialize();
    }
    // Uninitialised again: another threading model is accepted.
    facts.after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(facts.after)) CoUninitialize();
    return 0;
}

TEST(MsxmlDocumentThread, InitialisesComForItsLifeOnAFreshThread) {
    ThreadFacts facts;
    const UniqueHandle thread(CreateThread(nullptr, 0, DocumentOnFreshThread, &facts, 0, nullptr));
    ASSERT_TRUE(thread);
    WaitForSingleObject(thread.get(), INFINITE);
    EXPECT_FALSE(facts.request.empty());
    EXPECT_EQ(facts.during, S_FALSE);
    EXPECT_EQ(facts.after, S_OK);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// A reply may not declare a document type: no entities that expand without bound, no external resources.
TEST(MsxmlUntrustedReply, DocumentTypeDeclarationIsRefused) {
    MsxmlDocument dom;
    ASSERT_TRUE(dom.Created());
    const XmlParseError plain = dom.LoadXml(L"<Response><Error Message=\"x\"/></Response>");
    EXPECT_EQ(plain.code, 0);
    const XmlParseError withDtd = dom.LoadXml(
        L"<!DOCTYPE Response [<!ENTITY a \"expanded\">]><Response Version=\"1\"><Error Message=\"&a;\"/></Response>");
    EXPECT_NE(withDtd.code, 0) << "the entity was expanded";
    EXPECT_EQ(dom.SelectSingleElement(L"Response/Error"), nullptr);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(MsxmlUntrustedReply, DeclarationInAnyCaseAfterOtherTextIsRefusedToo) {
    MsxmlDocument dom;
    ASSERT_TRUE(dom.Created());
    EXPECT_NE(dom.LoadXml(L"<?xml version=\"1.0\"?>\r\n<!DocType r SYSTEM \"http://127.0.0.1:9/x.dtd\"><r/>").code, 0);
    EXPECT_EQ(dom.LoadXml(L"<r a=\"&lt;!DOCTYPE is only text here\"/>").code, 0) << "an escaped mention is text";
}

}  // namespace
}  // namespace qm
