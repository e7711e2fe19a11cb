#include "protocol/reply_rules.h"

#include <gtest/gtest.h>

#include "support/fake_code_page.h"
#include "support/fake_xml_document.h"

namespace qm {
namespace {

using testing::FakeXmlDocument;
using testing::Latin1CodePage;

class ReplyRulesTest : public ::testing::Test {
protected:
    ReplyDecision Post(const std::wstring& text) { return DecideReply(kFilePostReplyRules, Fresh(), text); }
    ReplyDecision Get(const std::wstring& text) { return DecideReply(kGetFileReplyRules, Fresh(), text); }
    ProtocolDocument& Fresh() {
        auto dom = std::make_unique<FakeXmlDocument>();
        dom_ = dom.get();
        document_ = std::make_unique<ProtocolDocument>(std::move(dom), codePage_);
        return *document_;
    }
    Latin1CodePage codePage_;
    FakeXmlDocument* dom_ = nullptr;
    std::unique_ptr<ProtocolDocument> document_;
};

TEST_F(ReplyRulesTest, FilePostSuccessGivesTheReference) {
    const ReplyDecision d = Post(L"<Response><Success FileRef=\"F-7\"/></Response>");
    EXPECT_TRUE(d.stored);
    EXPECT_EQ(d.fileRef, L"F-7");
    EXPECT_EQ(d.box, ReplyBox::None);
}

TEST_F(ReplyRulesTest, FilePostWithBothChildrenCountsAsStored) {
    const ReplyDecision d = Post(L"<Response><Success FileRef=\"F\"/><Error Message=\"m\"/></Response>");
    EXPECT_TRUE(d.stored);
    EXPECT_EQ(d.box, ReplyBox::None);
}

TEST_F(ReplyRulesTest, FilePostErrorShowsTheMessageAsAnError) {
    const ReplyDecision d = Post(L"<Response><Error Message=\"Quota exceeded\"/></Response>");
    EXPECT_FALSE(d.stored);
    EXPECT_EQ(d.box, ReplyBox::Error);
    EXPECT_EQ(d.text, L"Quota exceeded");
}

// An empty box tells the user nothing: a reply whose message is empty ends without one.
TEST_F(ReplyRulesTest, AnEmptyErrorMessageShowsNoBox) {
    for (const std::wstring text : {L"<Response><Error Message=\"\"/></Response>", L"<Response><Error/></Response>"}) {
        ReplyDecision d = Post(text);
        EXPECT_FALSE(d.stored);
        EXPECT_EQ(d.box, ReplyBox::None) << "file post";
        d = Get(text);
        EXPECT_FALSE(d.stored);
        EXPECT_EQ(d.box, ReplyBox::None) << "GetFile";
    }
}

// Each load writes its diagnostics; asking a second question of the same reply must not write them again.
TEST_F(ReplyRulesTest, AReplyIsLoadedOnceHoweverManyRowsAskAboutIt) {
    ::testing::internal::CaptureStderr();
    const ReplyDecision d = Post(L"<Response><Error Message=\"Quota exceeded\"/></Response>");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "XML document loaded successfully\n");
    EXPECT_EQ(d.box, ReplyBox::Error);
    EXPECT_EQ(dom_->loadedTexts.size(), 1u);

    ::testing::internal::CaptureStdout();
    const ReplyDecision broken = Post(L"<Response><Error Message=\"a</Response>");
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Error on line"), out.rfind("Error on line")) << out;
    EXPECT_EQ(broken.box, ReplyBox::Message);
}

TEST_F(ReplyRulesTest, FilePostOtherTextIsShownWholeAndEmptyTextNotAtAll) {
    const std::wstring page = L"<html><body>Server Error</body></html>";
    ReplyDecision d = Post(page);
    EXPECT_FALSE(d.stored);
    EXPECT_EQ(d.box, ReplyBox::Message);
    EXPECT_EQ(d.text, page);
    d = Post(L"<Response><Success FileRef=\"x\"/>");
    EXPECT_EQ(d.box, ReplyBox::Message) << "no closing tag: the raw text";
    EXPECT_FALSE(d.stored);
    d = Post(L"");
    EXPECT_FALSE(d.stored);
    EXPECT_EQ(d.box, ReplyBox::None);
}

TEST_F(ReplyRulesTest, GetFileHtmlIsShownFromItsBody) {
    ReplyDecision d = Get(L"Content-Type: text/html<html><head/><body>Not found</body></html>");
    EXPECT_EQ(d.box, ReplyBox::Message);
    EXPECT_EQ(d.text, L"<body>Not found</body></html>");
    EXPECT_TRUE(dom_->loadedTexts.empty()) << "an HTML reply is not loaded";
    d = Get(L"text/html without a body");
    EXPECT_EQ(d.text, L"text/html without a body");
    EXPECT_FALSE(d.stored);
}

TEST_F(ReplyRulesTest, GetFileEmptyTextShowsNothing) {
    const ReplyDecision d = Get(L"");
    EXPECT_EQ(d.box, ReplyBox::None);
    EXPECT_FALSE(d.stored);
    EXPECT_TRUE(dom_->loadedTexts.empty());
}

TEST_F(ReplyRulesTest, GetFileErrorDocumentShowsItsMessagePlainly) {
    const ReplyDecision d = Get(L"<Response><Success FileRef=\"s\"/><Error Message=\"Locked\"/></Response>");
    EXPECT_EQ(d.box, ReplyBox::Message);
    EXPECT_EQ(d.text, L"Locked");
    EXPECT_FALSE(d.stored) << "a GetFile text reply is always a failure";
}

TEST_F(ReplyRulesTest, GetFileOtherwiseShowsTheWholeText) {
    for (const std::wstring text : {L"<Response><Success FileRef=\"s\"/></Response>", L"plain words"}) {
        const ReplyDecision d = Get(text);
        EXPECT_EQ(d.box, ReplyBox::Message);
        EXPECT_EQ(d.text, text);
        EXPECT_FALSE(d.stored);
        EXPECT_EQ(dom_->loadedTexts.size(), 1u);
    }
}

TEST_F(ReplyRulesTest, AMegabyteReplyIsCutForTheBoxAndSaysSo) {
    const std::wstring huge = L"<html><body><p>" + std::wstring(1 << 20, L'x');
    for (const ReplyDecision& d : {Get(huge), Post(huge)}) {
        EXPECT_EQ(d.text.size(), kMaxShownReplyChars + std::wstring(kReplyCutNote).size());
        EXPECT_EQ(d.text.substr(0, 10), L"<html><bo" + std::wstring(1, L'd'));
        EXPECT_EQ(d.text.substr(kMaxShownReplyChars), kReplyCutNote);
    }
    // Exactly the bound is shown whole, without the note.
    const std::wstring full(kMaxShownReplyChars, L'y');
    EXPECT_EQ(Get(full).text, full);
    // The message of an error document is cut the same way.
    const ReplyDecision e = Post(L"<Response><Error Message=\"" + std::wstring(10000, L'm') + L"\"/></Response>");
    EXPECT_EQ(e.box, ReplyBox::Error);
    EXPECT_EQ(e.text, std::wstring(kMaxShownReplyChars, L'm') + kReplyCutNote);
}

TEST_F(ReplyRulesTest, TheCutNeverSplitsASurrogatePair) {
    if (sizeof(wchar_t) != 2) GTEST_SKIP() << "wide characters hold whole code points here";
    std::wstring text(kMaxShownReplyChars - 1, L'a');
    text += L"\xD83D\xDE00 tail";
    const ReplyDecision d = Get(text);
    EXPECT_EQ(d.text, std::wstring(kMaxShownReplyChars - 1, L'a') + kReplyCutNote);
}

}  // namespace
}  // namespace qm
