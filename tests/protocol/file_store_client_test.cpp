#include "protocol/file_store_client.h"
#include "protocol/server_location.h"

#include <gtest/gtest.h>

#include "support/fake_code_page.h"
#include "support/fake_http_request.h"
#include "support/fake_posted_file_source.h"
#include "support/fake_post_observer.h"

namespace qm {
namespace {

using testing::FakeHttpRequest;
using testing::FakePostedFiles;
using testing::FakePostObserver;
using testing::Latin1CodePage;
using Calls = std::vector<std::string>;

TEST(SendGetFile, AddsTheContentTypeThenBeginsWritesOnceAndEnds) {
    FakeHttpRequest request;
    SendGetFile(request, L"<DataRequest><GetFile ViewName=\"V\" PrimKey=\"K\"/></DataRequest>\r\n");
    EXPECT_EQ(request.calls, (Calls{"headers", "begin 64", "write 64", "end"}));
    EXPECT_EQ(request.headerLines, std::vector<std::wstring>{L"Content-Type: text/xml"});
    EXPECT_EQ(request.body, "<DataRequest><GetFile ViewName=\"V\" PrimKey=\"K\"/></DataRequest>\r\n");
}

TEST(SendGetFile, AnnouncesTheEncodedByteCount) {
    FakeHttpRequest request;
    SendGetFile(request, L"<A K=\"\u0100\"/>");
    EXPECT_EQ(request.body, "<A K=\"&#256;\"/>");
    EXPECT_EQ(request.announced, 15u);
}

TEST(SendGetFile, AnEmptyRequestTextIsSentWithAnEmptyBody) {
    FakeHttpRequest request;
    SendGetFile(request, L"");
    EXPECT_EQ(request.calls, (Calls{"headers", "begin 0", "end"}));
}

class SendFilePostTest : public ::testing::Test {
protected:
    FakeHttpRequest request_;
    FakePostedFiles files_;
    FakePostObserver observer_;
    const std::wstring header_ = L"Content-Type: velmar/postedfile\r\nvm_PrimKey :K\r\nvm_ViewName :V\r\n"
                                 L"vm_FileName :YQ==\r\nvm_FileSize :10000\r\nvm_FileCRC :1\r\n";
};

// A link that takes `bytesPerSecond` once the socket's buffers, `buffered` bytes, are full.
struct Link {
    double bytesPerSecond;
    std::uint64_t buffered = 0;
    std::uint64_t sent = 0;
    double now = 0;
    double longest = 0;
    // Writes one piece of pieces.Next() bytes and tells pieces how long it took.
    std::size_t Write(PostPieces& pieces) {
        const std::size_t bytes = pieces.Next();
        const std::uint64_t instant = sent < buffered ? std::min<std::uint64_t>(bytes, buffered - sent) : 0;
        const double took = 1e-6 + static_cast<double>(bytes - instant) / bytesPerSecond;
        pieces.Written(bytes, now, now + took);
        now += took;
        sent += bytes;
        longest = std::max(longest, took);
        return bytes;
    }
};

TEST(PostPieces, AFastLinkGetsTheLargestPiecesSoon) {
    PostPieces pieces;
    EXPECT_EQ(pieces.Next(), kMinPostPiece);
    Link link{1e9};
    int count = 0;
    for (std::size_t last = 0; pieces.Next() < kMaxPostPiece && count < 1000; ++count) {
        if (last) EXPECT_LE(pieces.Next(), 2 * last) << "never more than twice the last piece";
        EXPECT_EQ(pieces.Next() % kMinPostPiece, 0u);
        last = link.Write(pieces);
    }
    EXPECT_EQ(pieces.Next(), kMaxPostPiece);
    EXPECT_LT(link.sent, 16u << 20) << "the largest size is reached within the first MiBs";
    for (int i = 0; i < 100; ++i) link.Write(pieces);
    EXPECT_EQ(pieces.Next(), kMaxPostPiece) << "and kept";
}

// A write waits until the link has taken it; a Cancel waits for the write.
TEST(PostPieces, ASlowLinkKeepsEveryWriteShort) {
    for (const double rate : {20000.0, 200000.0, 4e6}) {
        PostPieces pieces;
        Link link{rate};
        while (link.now < 10) link.Write(pieces);
        // The smallest piece takes what it takes (0.2 s at 20 KB/s, as always).
        EXPECT_LE(link.longest, std::max(2 * kPostPieceSeconds, 1.01 * kMinPostPiece / rate)) << rate;
        EXPECT_GE(static_cast<double>(pieces.Next()), std::min(rate * kPostPieceSeconds / 2, double(kMaxPostPiece)))
            << "not needlessly small at " << rate;
    }
}

// The socket's buffers take the first bytes at once whatever the link: that must not pass for a fast link.
TEST(PostPieces, BuffersThatTakeTheStartAtOnceDoNotMakeTheWritesAfterThemLong) {
    PostPieces pieces;
    Link link{20000.0, 256 * 1024};
    while (link.now < 10) link.Write(pieces);
    EXPECT_LE(link.longest, 0.7);
    EXPECT_EQ(pieces.Next(), kMinPostPiece);
}

// The first pieces are small: nothing is known of the link yet.
TEST_F(SendFilePostTest, BeginsWithPiecesOf4096Bytes) {
    files_.files[L"C:\\a"] = std::string(10000, 'z');
    EXPECT_EQ(SendFilePost(request_, files_, header_, L"C:\\a", 10000, observer_), PostResult::Sent);
    EXPECT_EQ(request_.calls, (Calls{"headers", "begin 10000", "write 4096", "write 4096", "write 1808", "end"}));
    EXPECT_EQ(request_.body, files_.files[L"C:\\a"]);
    ASSERT_EQ(request_.headerLines.size(), 6u);
    EXPECT_EQ(request_.headerLines[0], L"Content-Type: velmar/postedfile");
    EXPECT_EQ(observer_.pieces, (std::vector<std::size_t>{4096, 4096, 1808}));
    EXPECT_EQ(observer_.reads, 4);
    EXPECT_EQ(files_.openNow, 0) << "the file is closed";
}

TEST_F(SendFilePostTest, AnEmptyFileIsPostedWithNoPieces) {
    files_.files[L"e"] = "";
    EXPECT_EQ(SendFilePost(request_, files_, header_, L"e", 0, observer_), PostResult::Sent);
    EXPECT_EQ(request_.calls, (Calls{"headers", "begin 0", "end"}));
    EXPECT_TRUE(observer_.pieces.empty());
}

TEST_F(SendFilePostTest, AFileThatCannotBeOpenedIsNotSent) {
    EXPECT_THROW(SendFilePost(request_, files_, header_, L"missing", 5, observer_), FileError);
    EXPECT_EQ(request_.calls, (Calls{"headers"}));
}

TEST_F(SendFilePostTest, CancelStopsBeforeTheRequestIsEnded) {
    files_.files[L"a"] = std::string(20000, 'z');
    observer_.cancelAfterPieces = 2;
    EXPECT_EQ(SendFilePost(request_, files_, header_, L"a", 20000, observer_), PostResult::Cancelled);
    EXPECT_EQ(request_.calls, (Calls{"headers", "begin 20000", "write 4096", "write 4096"}));
    EXPECT_EQ(files_.openNow, 0);
}

TEST_F(SendFilePostTest, ACancelWhileTheFileOpensBeginsNoRequest) {
    files_.files[L"a"] = std::string(20000, 'z');
    observer_.cancelAfterPieces = 0;
    EXPECT_EQ(SendFilePost(request_, files_, header_, L"a", 20000, observer_), PostResult::Cancelled);
    EXPECT_EQ(request_.calls, (Calls{"headers"})) << "the server is not told of a body that never comes";
    EXPECT_EQ(observer_.opened, 1);
    EXPECT_EQ(observer_.reads, 0);
    EXPECT_EQ(files_.openNow, 0);
}

TEST_F(SendFilePostTest, AFileWhoseSizeChangedIsNotEndedAsIfComplete) {
    files_.files[L"grew"] = std::string(5000, 'z');
    EXPECT_THROW(SendFilePost(request_, files_, header_, L"grew", 4500, observer_), FileError);
    EXPECT_EQ(request_.body.size(), 4096u) << "nothing beyond the announced length is written";
    ASSERT_FALSE(request_.calls.empty());
    EXPECT_EQ(request_.calls.back(), "write 4096");

    FakeHttpRequest shorter;
    files_.files[L"shrank"] = std::string(100, 'z');
    EXPECT_THROW(SendFilePost(shorter, files_, header_, L"shrank", 4500, observer_), FileError);
    ASSERT_FALSE(shorter.calls.empty());
    EXPECT_NE(shorter.calls.back(), "end");
    EXPECT_EQ(files_.openNow, 0);
}

TEST(RetryRequest, SendsAgainAfterEachForceRetryAnswer) {
    for (int forced : {0, 1, 3, kMaxForcedRetries}) {
        FakeHttpRequest request;
        request.endsBeforeSuccess = forced;
        int repeats = 0;
        RetryRequest([&] { SendGetFile(request, L"<X/>"); }, [&] { ++repeats; });
        EXPECT_EQ(repeats, forced);
        EXPECT_EQ(std::count(request.calls.begin(), request.calls.end(), "end"), forced + 1);
        EXPECT_EQ(request.headerLines.size(), 1u) << "the header is added once";
        EXPECT_EQ(request.body, "<X/>");
    }
}

TEST(RetryRequest, FilePostReopensTheFileAndClosesItBeforeEachRetry) {
    FakeHttpRequest request;
    request.endsBeforeSuccess = 2;
    FakePostedFiles files;
    files.files[L"f"] = std::string(5000, 'q');
    FakePostObserver observer;
    const std::wstring header = L"Content-Type: velmar/postedfile\r\nvm_PrimKey :K\r\n";
    const PostResult result = RetryRequest([&] { return SendFilePost(request, files, header, L"f", 5000, observer); });
    EXPECT_EQ(result, PostResult::Sent);
    EXPECT_EQ(files.openCount, 3);
    EXPECT_EQ(files.maxOpenNow, 1) << "the file was closed before it was opened again";
    EXPECT_EQ(request.body.size(), 5000u);
    EXPECT_EQ(request.headerLines.size(), 2u);
}

TEST(RetryRequest, OtherErrorsAndEndlessRetriesEndTheLoop) {
    FakeHttpRequest request;
    request.endsBeforeSuccess = 1;
    request.endErrorCode = 12029;
    int attempts = 0;
    try {
        RetryRequest([&] { ++attempts; SendGetFile(request, L"<X/>"); });
        FAIL();
    } catch (const InternetError& error) {
        EXPECT_EQ(error.code(), 12029u);
    }
    EXPECT_EQ(attempts, 1);

    FakeHttpRequest stubborn;
    stubborn.endsBeforeSuccess = 1000;
    attempts = 0;
    EXPECT_THROW(RetryRequest([&] { ++attempts; SendGetFile(stubborn, L"<X/>"); }), InternetError);
    EXPECT_EQ(attempts, kMaxForcedRetries + 1);
}

TEST(ClassifyReply, BinaryOctetAnywhereInTheLowerCasedTypeIsFileData) {
    FakeHttpRequest request;
    for (const wchar_t* type : {L"binary/octet-stream", L"Binary/Octet; name=\"a.doc\"", L"BINARY/OCTET"}) {
        request.contentType = type;
        EXPECT_EQ(ClassifyReply(request), ReplyKind::FileData) << std::wstring(type).size();
    }
    for (const wchar_t* type : {L"", L"text/xml", L"text/html; charset=utf-8", L"application/octet-stream", L"binary/"}) {
        request.contentType = type;
        EXPECT_EQ(ClassifyReply(request), ReplyKind::Text);
    }
}

class ReadReplyTextTest : public ::testing::Test {
protected:
    FakeHttpRequest request_;
    Latin1CodePage codePage_;
};

TEST_F(ReadReplyTextTest, ContentDescriptionStandsInFront) {
    request_.contentDescription = L"Stored by node 4. ";
    request_.SetReply("<Response><Success FileRef=\"x\"/></Response>");
    EXPECT_EQ(ReadReplyText(request_, codePage_),
              L"Stored by node 4. <Response><Success FileRef=\"x\"/></Response>");
    EXPECT_EQ(request_.statusQueries, 0);
}

TEST_F(ReadReplyTextTest, ReadsInPiecesOfTheFirstAvailableCountAndConvertsFromTheCodePage) {
    request_.SetReply("caf\xE9 au lait");
    request_.available = 4;
    EXPECT_EQ(ReadReplyText(request_, codePage_, true), L"caf\u00e9 au lait");
    EXPECT_EQ(request_.readSizes, (std::vector<std::size_t>{4, 4, 4, 4}));
    EXPECT_EQ(request_.statusQueries, 1);
}

TEST_F(ReadReplyTextTest, NothingAvailableReadsNothing) {
    request_.SetReply("");
    EXPECT_EQ(ReadReplyText(request_, codePage_), L"");
    EXPECT_TRUE(request_.readSizes.empty());
    request_.contentDescription = L"only this";
    EXPECT_EQ(ReadReplyText(request_, codePage_), L"only this");
}

TEST_F(ReadReplyTextTest, AnOversizedReplyIsCutAtTheLimit) {
    request_.SetReply(std::string(3 * kMaxReplyTextBytes + 5, 'h'));
    const std::wstring text = ReadReplyText(request_, codePage_);
    EXPECT_EQ(text.size(), kMaxReplyTextBytes);
    EXPECT_LE(request_.readPosition, kMaxReplyTextBytes) << "the rest is not read";

    // A header of the same size leaves no room for the body, and is itself cut.
    FakeHttpRequest withHeader;
    withHeader.contentDescription = std::wstring(kMaxReplyTextBytes + 7, L'd');
    withHeader.SetReply("body");
    const std::wstring headerOnly = ReadReplyText(withHeader, codePage_);
    EXPECT_EQ(headerOnly.size(), kMaxReplyTextBytes);
    EXPECT_EQ(headerOnly.find(L"body"), std::wstring::npos);
    EXPECT_TRUE(withHeader.readSizes.empty());

    FakeHttpRequest both;
    both.contentDescription = std::wstring(kMaxReplyTextBytes / 2, L'd');
    both.SetReply(std::string(kMaxReplyTextBytes, 'b'));
    EXPECT_EQ(ReadReplyText(both, codePage_).size(), kMaxReplyTextBytes);

    FakeHttpRequest trickle;
    trickle.SetReply(std::string(kMaxReplyTextBytes + 10, 't'));
    trickle.available = 1000;
    EXPECT_EQ(ReadReplyText(trickle, codePage_).size(), kMaxReplyTextBytes);
}

TEST_F(ReadReplyTextTest, AStopAskedAfterEveryReadEndsAnEndlessTrickle) {
    request_.SetReply(std::string(kMaxReplyTextBytes, 'x'));
    request_.available = 10;
    int asked = 0;
    const std::wstring text = ReadReplyText(request_, codePage_, false, [&] { return ++asked == 3; });
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(text, std::wstring(30, L'x')) << "what arrived before the stop is kept";
    EXPECT_EQ(request_.readSizes.size(), 3u);

    // A stop that never says so reads to the end, as without one.
    FakeHttpRequest whole;
    whole.SetReply("abcdef");
    whole.available = 4;
    EXPECT_EQ(ReadReplyText(whole, codePage_, false, [] { return false; }), L"abcdef");
}

}  // namespace
}  // namespace qm
