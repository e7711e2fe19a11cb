#include "download/download_worker.h"

#include <gtest/gtest.h>

#include "download/read_pace.h"
#include "support/fake_code_page.h"
#include "support/fake_http_client.h"
#include "support/fake_incoming_files.h"
#include "support/fake_progress_dialog.h"
#include "support/fake_user_dialogs.h"
#include "support/fake_xml_document.h"
#include "support/pattern_bytes.h"

namespace qm {
namespace {

using namespace qm::testing;

// Worker services over the fakes, with a clock that advances a second per reading.
struct WorkerRig {
    WorkerRig() { dialogs.unanswered = Answer::No; }
    FakeHttpClient server;
    FakeIncomingFiles files;
    FakeUserDialogs dialogs;
    Latin1CodePage codePage;
    double clock = 0;
    WorkerServices services{server, files, dialogs, codePage, [] { return std::make_unique<FakeXmlDocument>(); },
                            [this] { return clock += 1.0 / 86400.0; }};
};

class SingleWorker : public ::testing::Test {
protected:
    SingleWorker() {
        TransferJob& job = dialog.Job();
        job.ServerName = L"store.example";
        job.ServerPort = 8080;
        job.RequestFlags = 0xA4400000u;
        job.Descriptor.FileName = L"Plan.doc";
        job.Descriptor.LocalPath = kTarget;
        job.Descriptor.PrimKey = L"4711";
        job.Descriptor.ViewName = L"Documents";
    }
    void Run(std::uint64_t expected) {
        dialog.Job().ProgressRange = static_cast<std::uint32_t>(std::min<std::uint64_t>((expected + 4095) / 4096, 100));
        RunSingleDownload(dialog, rig.services, expected);
    }

    static constexpr const wchar_t* kTarget = L"C:\\Temp\\4711\\Plan.doc";
    WorkerRig rig;
    FakeProgressDialog dialog;
};

TEST_F(SingleWorker, WholeFileArrivesUnderItsNameAndTheDialogClosesWithOne) {
    auto reply = rig.server.AddFile(Bytes(10000), L"Binary/Octet-Stream; charset=x");
    Run(10000);
    EXPECT_EQ(rig.files.disk[kTarget], Bytes(10000));
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_TRUE(dialog.Job().Succeeded);
    EXPECT_EQ(dialog.endCode, 1);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(dialog.Job().StatusText.Get(), L"Plan.doc from store.example");
    ASSERT_FALSE(dialog.statuses.empty());
    EXPECT_EQ(dialog.statuses.back(), kVerifyingText);
    EXPECT_NE(reply->body.find("ViewName=\"Documents\" PrimKey=\"4711\""), std::string::npos) << reply->body;
    ASSERT_FALSE(rig.server.connectedTo.empty());
    ASSERT_FALSE(rig.files.sources.empty());
    EXPECT_EQ(rig.server.connectedTo.at(0), (std::pair<std::wstring, std::uint16_t>{L"store.example", 8080}));
    EXPECT_EQ(rig.files.sources.at(0), L"http://store.example:8080/system/filestore/data.aspx");
    // All of it has arrived: one read of it, and one more, of no more than was told, that finds the end.
    EXPECT_EQ(reply->readSizes, (std::vector<std::size_t>{10000, 10000}));
}

TEST_F(SingleWorker, ReadsNoMoreThanHasArrivedSoATrickleNeverHoldsAReadLong) {
    auto reply = rig.server.AddFile(Bytes(10000));
    reply->available = 300;
    Run(10000);
    EXPECT_EQ(rig.files.disk[kTarget], Bytes(10000));
    ASSERT_FALSE(reply->readSizes.empty());
    for (std::size_t asked : reply->readSizes) EXPECT_LE(asked, 300u);
}

// Asking WinInet what has arrived costs a call of its own: it is asked again only when that is read.
TEST_F(SingleWorker, AsksWhatHasArrivedOncePerArrivalAndNeverReadsAheadOfIt) {
    auto reply = rig.server.AddFile(Bytes(30000));
    reply->arrivals = {20000, 1, 9999};
    Run(30000);
    EXPECT_EQ(rig.files.disk[kTarget], Bytes(30000));
    EXPECT_EQ(reply->waitingReads, 0);
    // One query per arrival and one that finds the end (the last read then asks a whole piece and gets none).
    EXPECT_EQ(reply->availabilityQueries, 4);
    EXPECT_EQ(reply->readSizes, (std::vector<std::size_t>{20000, 1, 9999, 30001}));
}

// Wine tells at most 8 KiB as arrived; asking before every read would double the calls of a fast transfer.
TEST_F(SingleWorker, OnAFastLinkReadsLargePiecesWithoutAskingFirst) {
    const std::size_t size = 32u << 20;
    auto reply = rig.server.AddFile(Bytes(size));
    reply->arrivals.assign(size / 8192, 8192);
    // The link brings 200 MB/s: the time is the bytes read so far at that pace, plus a little per call.
    int calls = 0;
    rig.services.seconds = [&] { return static_cast<double>(reply->readPosition) / 200e6 + 1e-6 * ++calls; };
    Run(size);
    EXPECT_EQ(rig.files.disk[kTarget], Bytes(size));
    EXPECT_TRUE(dialog.Job().Succeeded);
    EXPECT_LT(reply->availabilityQueries, 1000) << "asked while the pace was unknown, then no more";
    EXPECT_LT(reply->readSizes.size(), 1000u);
    for (std::size_t asked : reply->readSizes) EXPECT_LE(asked, kLargestBlindRead);
    EXPECT_EQ(dialog.steps, 100);
}

// A trickle never shows a pace that would let a read ask for more than has arrived.
TEST_F(SingleWorker, OnASlowLinkEveryReadAsksWhatHasArrived) {
    auto reply = rig.server.AddFile(Bytes(20000));
    reply->arrivals.assign(100, 200);
    rig.services.seconds = [&] { return static_cast<double>(reply->readPosition) / 2000.0; };
    Run(20000);
    EXPECT_EQ(rig.files.disk[kTarget], Bytes(20000));
    EXPECT_EQ(reply->waitingReads, 0);
    for (std::size_t asked : reply->readSizes) EXPECT_LE(asked, 20001u);
}

TEST_F(SingleWorker, TenThousandBytesStepAtFortyEightyOneAndHundredPercent) {
    rig.server.AddFile(Bytes(10000));
    Run(10000);
    EXPECT_EQ(dialog.Job().ProgressRange, 3u);
    EXPECT_EQ(dialog.steps, 3);
    // 4095 bytes is 40 %, 8190 is 81 %: one step each, the last at 100 %.
    EXPECT_EQ(StepsDue(4095, 10000, 3), 1u);
    EXPECT_EQ(StepsDue(8190, 10000, 3), 2u);
    EXPECT_EQ(StepsDue(10000, 10000, 3), 3u);
}

// The rate is the bytes so far over the time since the transfer began; the rig's clock moves a second per
// reading, so three pieces of 4095 bytes take three seconds.
TEST_F(SingleWorker, TheRateCountsFromTheStartOfTheTransfer) {
    rig.server.AddFile(Bytes(3 * 4095))->arrivals = {4095, 4095, 4095};
    Run(3 * 4095);
    dialog.Flush();
    EXPECT_EQ(dialog.LastWritten(ProgressField::Rate), L"4.0 KB/sec");
}

TEST_F(SingleWorker, LargeFileGetsOneStepPerPercentAndNoMore) {
    rig.server.AddFile(Bytes(1000000));
    Run(1000000);
    EXPECT_EQ(dialog.steps, 100);
    EXPECT_TRUE(dialog.Job().Succeeded);
}

TEST_F(SingleWorker, UncheckedCloseBoxLeavesTheDialogWithOpenButtons) {
    dialog.closeWhenDone = false;
    rig.server.AddFile(Bytes(5));
    Run(5);
    EXPECT_FALSE(dialog.endCode.has_value());
    EXPECT_TRUE(dialog.openButtonsEnabled);
    EXPECT_TRUE(dialog.Job().Succeeded);
}

TEST_F(SingleWorker, EmptyFileOfSizeZeroIsCreatedEmpty) {
    rig.server.AddFile("");
    Run(0);
    ASSERT_TRUE(rig.files.disk.count(kTarget));
    EXPECT_EQ(rig.files.disk[kTarget], "");
    EXPECT_EQ(dialog.endCode, 1);
    EXPECT_EQ(dialog.steps, 0);
}

TEST_F(SingleWorker, SizeZeroWithDataStaysBoundedAndFails) {
    rig.server.AddFile(Bytes(9000));
    Run(0);
    EXPECT_EQ(dialog.steps, 0);
    EXPECT_EQ(dialog.endCode, -1);
    EXPECT_EQ(rig.dialogs.MessageTexts(), std::vector<std::wstring>{kReceiveErrorText});
}

// Nothing of the user's is lost: a reply of the wrong length never replaces what was there.
TEST_F(SingleWorker, ShorterOrLongerReplyKeepsTheOlderCopyAndLeavesNoTemporaryFile) {
    for (std::size_t sent : {9999u, 10001u}) {
        rig.files.disk[kTarget] = "older copy";
        rig.server.AddFile(Bytes(sent));
        FakeProgressDialog fresh;
        fresh.Job().Descriptor = dialog.Job().Descriptor;
        fresh.Job().ProgressRange = 3;
        RunSingleDownload(fresh, rig.services, 10000);
        EXPECT_EQ(rig.files.disk[kTarget], "older copy") << sent;
        EXPECT_TRUE(rig.files.temporaries.empty()) << sent;
        EXPECT_EQ(fresh.endCode, -1) << sent;
        EXPECT_FALSE(fresh.Job().Succeeded) << sent;
        EXPECT_LE(fresh.steps, 3) << "the bar never wraps";
    }
    EXPECT_EQ(rig.dialogs.MessageTexts(), (std::vector<std::wstring>{kReceiveErrorText, kReceiveErrorText}));
}

// A reply that goes on past the size it should have never fills the user's disk: the read stops at the first
// byte too many, and nothing past the expected size is written.
TEST_F(SingleWorker, ReplyLongerThanExpectedStopsAtTheFirstExtraByte) {
    rig.files.disk[kTarget] = "older copy";
    auto reply = rig.server.AddFile(Bytes(4'000'000));
    Run(10);
    EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_LE(rig.files.mostWritten, 10u);
    EXPECT_LT(reply->readPosition, 100'000u) << "the worker read on after the expected size";
    EXPECT_EQ(dialog.endCode, -1);
    EXPECT_EQ(rig.dialogs.MessageTexts(), std::vector<std::wstring>{kReceiveErrorText});
}

TEST_F(SingleWorker, CancelWhileReceivingKeepsTheOlderCopyAndShowsNothing) {
    rig.files.disk[kTarget] = "older copy";
    rig.server.AddFile(Bytes(1000000));
    dialog.cancelAtStep = 10;
    Run(1000000);
    EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_EQ(dialog.endCode, -1);
    EXPECT_FALSE(dialog.Job().Succeeded);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(dialog.steps, 10);
}

// The user's Cancel wins however late it comes: during the read that brings the last bytes, nothing is put in
// place; and a connection error that follows it is not shown.
TEST_F(SingleWorker, CancelDuringTheLastReadKeepsTheOlderCopy) {
    rig.files.disk[kTarget] = "older copy";
    rig.server.AddFile(Bytes(10000))->afterRead = [this](std::size_t at) {
        if (at == 10000) dialog.Job().Cancelled = true;
    };
    Run(10000);
    EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_FALSE(dialog.Job().Succeeded);
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

// Even after the last read: a Cancel taken while the file is checked keeps the older copy, in a single and in a
// multi-file download.
TEST_F(SingleWorker, CancelAfterTheLastReadBeforeTheFileIsInPlaceKeepsTheOlderCopy) {
    rig.files.disk[kTarget] = "older copy";
    rig.server.AddFile(Bytes(10000));
    dialog.cancelAtStatus = kVerifyingText;
    Run(10000);
    EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_FALSE(dialog.Job().Succeeded);
    EXPECT_EQ(dialog.endCode, kEndDownloadFailed);
    EXPECT_EQ(dialog.commitsBegun, 1);
    EXPECT_EQ(dialog.commitsEnded, 0) << "a refused commit is not ended";
}

TEST_F(SingleWorker, ACommitThatFailsStillEndsIt) {
    rig.server.AddFile(Bytes(10));
    rig.files.failCommit.insert(kTarget);
    Run(10);
    EXPECT_EQ(dialog.commitsBegun, 1);
    EXPECT_EQ(dialog.commitsEnded, 1) << "a Cancel must not stay refused";
    EXPECT_FALSE(dialog.Job().Succeeded);
}

TEST_F(SingleWorker, AConnectionErrorAfterTheUsersCancelIsNotShown) {
    rig.files.disk[kTarget] = "older copy";
    auto reply = rig.server.AddFile(Bytes(10000));
    reply->cutAfter = 5000;
    reply->beforeRead = [this](std::size_t at) {
        if (at >= 5000) dialog.Job().Cancelled = true;
    };
    Run(10000);
    EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_TRUE(rig.dialogs.shown.empty()) << "the user cancelled: no message";
}

TEST_F(SingleWorker, ConnectionCutInTheBodyShowsTheClientErrorAndKeepsTheOlderCopy) {
    rig.files.disk[kTarget] = "older copy";
    rig.server.AddFile(Bytes(10000))->cutAfter = 5000;
    Run(10000);
    EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_EQ(rig.dialogs.MessageTexts(),
              std::vector<std::wstring>{L"The connection with the server was terminated abnormally"});
    EXPECT_EQ(dialog.endCode, -1);
}

TEST_F(SingleWorker, NoServerListeningShowsTheConnectError) {
    rig.server.connectError = 12029;
    Run(10);
    EXPECT_EQ(rig.dialogs.MessageTexts(),
              std::vector<std::wstring>{L"A connection with the server could not be established"});
    EXPECT_EQ(dialog.endCode, -1);
    EXPECT_TRUE(rig.files.begun.empty());
}

TEST_F(SingleWorker, ForceRetryCodeSendsTheSameBodyAgain) {
    auto reply = rig.server.AddFile(Bytes(100));
    reply->endsBeforeSuccess = 1;
    Run(100);
    EXPECT_EQ(std::count(reply->calls.begin(), reply->calls.end(), "end"), 2);
    EXPECT_EQ(rig.files.disk[kTarget], Bytes(100));
    EXPECT_EQ(dialog.endCode, 1);
}

TEST_F(SingleWorker, TextRepliesShowTheirMessageAndCreateNothing) {
    struct Case {
        std::wstring type;
        std::string body;
        std::vector<std::wstring> shown;
    };
    const Case cases[] = {
        {L"text/xml", "<Response><Error Message=\"No such file\"/></Response>", {L"No such file"}},
        {L"text/html", "<html><head><meta content=\"text/html\"></head><body>Server busy</body></html>",
         {L"<body>Server busy</body></html>"}},
        {L"text/plain", "", {}},
        {L"text/plain", "Plain words", {L"Plain words"}},
    };
    for (const Case& c : cases) {
        rig.dialogs.shown.clear();
        rig.files.disk[kTarget] = "older copy";
        rig.server.AddFile(c.body, c.type);
        FakeProgressDialog fresh;
        fresh.Job().Descriptor = dialog.Job().Descriptor;
        RunSingleDownload(fresh, rig.services, 10);
        EXPECT_EQ(rig.dialogs.MessageTexts(), c.shown) << c.type;
        EXPECT_EQ(fresh.endCode, -1);
        EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    }
    EXPECT_TRUE(rig.files.begun.empty());
}

TEST_F(SingleWorker, TargetHeldOpenByAnotherProgramFailsWithItsMessage) {
    rig.files.disk[kTarget] = "older copy";
    rig.files.failCommit.insert(kTarget);
    rig.server.AddFile(Bytes(10));
    Run(10);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find(L"being used by another process"), std::wstring::npos);
    EXPECT_EQ(rig.files.disk[kTarget], "older copy");
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_EQ(dialog.endCode, -1);
}

TEST_F(SingleWorker, FullDiskEndsWithTheWriteErrorAndLeavesNoTemporaryFile) {
    rig.files.writeLimit = 6000;
    rig.server.AddFile(Bytes(10000));
    Run(10000);
    EXPECT_EQ(rig.dialogs.MessageTexts(), std::vector<std::wstring>{L"There is not enough space on the disk."});
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_FALSE(rig.files.disk.count(kTarget));
}

TEST_F(SingleWorker, SizeBeyondThirtyTwoBitsIsCheckedInFull) {
    // 4 GiB + 10 announced, 10 bytes sent: a 32-bit count would call this complete.
    rig.server.AddFile(Bytes(10));
    Run((std::uint64_t{1} << 32) + 10);
    EXPECT_EQ(dialog.endCode, -1);
    EXPECT_EQ(rig.dialogs.MessageTexts(), std::vector<std::wstring>{kReceiveErrorText});
    EXPECT_EQ(StepsDue(std::uint64_t{3} << 30, std::uint64_t{6} << 30, 100), 50u);
    EXPECT_EQ(StepsDue((std::uint64_t{1} << 40) - 1, std::uint64_t{1} << 40, 100), 99u);
}

TEST(PathText, SevenPiecesAreShortenedAndThreeStay) {
    EXPECT_EQ(ShortenPathText(L"C:\\A\\B\\C\\D\\E\\F.doc", L"F.doc"), L"C:\\A\\..\\..\\E\\F.doc");
    EXPECT_EQ(ShortenPathText(L"C:\\E\\F.doc", L"F.doc"), L"C:\\E\\F.doc");
    EXPECT_EQ(ShortenPathText(L"C:\\A\\B\\C\\D"), L"C:\\A\\..\\..\\C\\D");
    // The short form's last piece is replaced by the real name.
    EXPECT_EQ(ShortenPathText(L"C:\\PROGRA~1\\X\\LONGNA~1.DOC", L"Long name.doc"),
              L"C:\\PROGRA~1\\..\\..\\X\\Long name.doc");
}

class MultiWorker : public ::testing::Test {
protected:
    MultiWorker() {
        TransferJob& job = dialog.Job();
        job.ServerName = L"store.example";
        job.ServerPort = 80;
        job.FileList = std::make_shared<std::vector<std::wstring>>(std::vector<std::wstring>{L"D:\\In"});
        job.ProgressRange = 100;
    }
    void Add(const std::wstring& name, std::size_t size, const std::wstring& key = L"K") {
        files.push_back({key, name, L"Docs", std::to_wstring(size), size});
    }
    WorkerRig rig;
    FakeProgressDialog dialog;
    std::vector<ListedFile> files;
};

TEST_F(MultiWorker, TheRateCountsFromTheStartOfTheJob) {
    Add(L"a.doc", 3 * 4095);
    rig.server.AddFile(Bytes(3 * 4095))->arrivals = {4095, 4095, 4095};
    RunMultiDownload(dialog, rig.services, files);
    dialog.Flush();
    EXPECT_EQ(dialog.LastWritten(ProgressField::Rate), L"4.0 KB/sec");
}

// The pace the first file showed holds for the next ones on the same connection: they need not ask again.
TEST_F(MultiWorker, ThePaceOfOneFileCarriesToTheNext) {
    const std::size_t size = 8u << 20;
    std::vector<std::shared_ptr<FakeHttpRequest>> replies;
    for (const wchar_t* name : {L"a.doc", L"b.doc", L"c.doc"}) {
        Add(name, size);
        replies.push_back(rig.server.AddFile(Bytes(size)));
        replies.back()->arrivals.assign(size / 8192, 8192);
    }
    int calls = 0;
    rig.services.seconds = [&] {
        std::size_t read = 0;
        for (const auto& r : replies) read += r->readPosition;
        return static_cast<double>(read) / 200e6 + 1e-6 * ++calls;
    };
    RunMultiDownload(dialog, rig.services, files);
    for (const wchar_t* name : {L"a.doc", L"b.doc", L"c.doc"})
        EXPECT_EQ(rig.files.disk[std::wstring(L"D:\\In\\") + name], Bytes(size)) << name;
    EXPECT_GT(replies[0]->availabilityQueries, 10) << "the first file asks until the pace is known";
    EXPECT_LE(replies[1]->availabilityQueries, 1);
    EXPECT_LE(replies[2]->availabilityQueries, 1);
}

TEST_F(MultiWorker, ThreeFilesOverOneConnectionAndTheBarEndsAtHundred) {
    Add(L"a.doc", 100);
    Add(L"b.doc", 5000);
    Add(L"c.doc", 0);
    rig.server.AddFile(Bytes(100));
    rig.server.AddFile(Bytes(5000));
    rig.server.AddFile("");
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_EQ(rig.server.connections, 1);
    EXPECT_EQ(rig.server.opened.size(), 3u);
    EXPECT_EQ(rig.files.disk[L"D:\\In\\a.doc"], Bytes(100));
    EXPECT_EQ(rig.files.disk[L"D:\\In\\b.doc"], Bytes(5000));
    EXPECT_EQ(rig.files.disk[L"D:\\In\\c.doc"], "");
    EXPECT_EQ(dialog.steps, 100);
    ASSERT_FALSE(dialog.statuses.empty());
    EXPECT_EQ(dialog.statuses.back(), kDownloadCompletedText);
    EXPECT_EQ(dialog.endCode, 1);
}

TEST_F(MultiWorker, NoFilesReportsCompletedAtOnce) {
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_TRUE(rig.server.opened.empty());
    ASSERT_FALSE(dialog.statuses.empty());
    EXPECT_EQ(dialog.statuses.back(), kDownloadCompletedText);
    EXPECT_EQ(dialog.steps, 100);
    EXPECT_EQ(dialog.endCode, 1);
}

TEST_F(MultiWorker, SameNameTwiceMeetsTheOverwriteQuestionAndNoSkipsIt) {
    Add(L"same.doc", 10);
    Add(L"same.doc", 20);
    rig.server.AddFile(Bytes(10));
    rig.server.AddFile(Bytes(20));
    rig.dialogs.answers = {Answer::No};
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_EQ(rig.dialogs.asked,
              std::vector<std::wstring>{L"D:\\In\\same.doc already exists.\r\n\r\nDo you want to overwrite?"});
    EXPECT_EQ(rig.files.disk[L"D:\\In\\same.doc"], Bytes(10));
    EXPECT_EQ(rig.server.opened.size(), 1u);
    EXPECT_EQ(dialog.steps, 100);
}

TEST_F(MultiWorker, QuestionsAreOwnedByTheDialogWindowEvenWhenItAppearsAfterTheWorkerStarted) {
    Add(L"same.doc", 10);
    Add(L"same.doc", 20);
    rig.server.AddFile(Bytes(10));
    rig.server.AddFile(Bytes(20));
    rig.dialogs.answers = {Answer::Yes};
    int window = 0;
    // The window comes into being when the worker first reports a status, i.e. after the worker started.
    dialog.onStatus = [&window](FakeProgressDialog& d, const std::wstring&) { d.window = &window; };
    RunMultiDownload(dialog, rig.services, files);
    ASSERT_EQ(rig.dialogs.questionOwners.size(), 1u);
    EXPECT_EQ(rig.dialogs.questionOwners[0], reinterpret_cast<WindowRef>(&window));
}

TEST_F(MultiWorker, FileErrorAsksWhetherToContinueAndNoEndsTheJobAsCompleted) {
    Add(L"a.doc", 10);
    Add(L"b.doc", 10);
    Add(L"c.doc", 10);
    rig.files.failBegin.insert(L"D:\\In\\b.doc");
    for (int i = 0; i < 3; ++i) rig.server.AddFile(Bytes(10));
    rig.dialogs.answers = {Answer::No};
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_EQ(rig.dialogs.asked,
              std::vector<std::wstring>{std::wstring(L"Access is denied.") + kContinueQuestionTail});
    EXPECT_TRUE(rig.files.disk.count(L"D:\\In\\a.doc"));
    EXPECT_FALSE(rig.files.disk.count(L"D:\\In\\c.doc"));
    ASSERT_FALSE(dialog.statuses.empty());
    EXPECT_EQ(dialog.statuses.back(), kDownloadCompletedText);
    EXPECT_EQ(dialog.endCode, 1);
}

TEST_F(MultiWorker, FileErrorWithYesFetchesTheRest) {
    Add(L"a.doc", 10);
    Add(L"b.doc", 10);
    Add(L"c.doc", 10);
    rig.files.failBegin.insert(L"D:\\In\\b.doc");
    for (int i = 0; i < 3; ++i) rig.server.AddFile(Bytes(10));
    rig.dialogs.answers = {Answer::Yes};
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_TRUE(rig.files.disk.count(L"D:\\In\\c.doc"));
}

TEST_F(MultiWorker, CancelInTheSecondFileKeepsTheFirstAndFetchesNoMore) {
    Add(L"a.doc", 100000);
    Add(L"b.doc", 100000);
    Add(L"c.doc", 100000);
    for (int i = 0; i < 3; ++i) rig.server.AddFile(Bytes(100000));
    dialog.cancelAtStep = 45;
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_TRUE(rig.files.disk.count(L"D:\\In\\a.doc"));
    EXPECT_FALSE(rig.files.disk.count(L"D:\\In\\b.doc"));
    EXPECT_FALSE(rig.files.disk.count(L"D:\\In\\c.doc"));
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_EQ(rig.server.opened.size(), 2u);
    EXPECT_EQ(dialog.endCode, -1);
}

TEST_F(MultiWorker, ServerFaultsGoOnWithTheNextFile) {
    Add(L"a.doc", 10);
    Add(L"b.doc", 10);
    Add(L"c.doc", 10);
    rig.files.disk[L"D:\\In\\a.doc"] = "mine";
    rig.dialogs.answers = {Answer::Yes};
    rig.server.AddFile(Bytes(7));                                  // short
    rig.server.AddFile(Bytes(10))->cutAfter = 3;                    // cut
    rig.server.AddFile("<Response><Error Message=\"Gone\"/></Response>", L"text/xml");
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_EQ(rig.dialogs.MessageTexts(),
              (std::vector<std::wstring>{kReceiveErrorText, L"The connection with the server was terminated abnormally",
                                         L"Gone"}));
    EXPECT_EQ(rig.files.disk[L"D:\\In\\a.doc"], "mine");
    EXPECT_EQ(rig.files.disk.size(), 1u);
    EXPECT_TRUE(rig.files.temporaries.empty());
    EXPECT_EQ(dialog.steps, 100);
    EXPECT_LE(dialog.steps, 100);
}

TEST_F(MultiWorker, ProgressNeverExceedsHundredStepsWhateverTheSizesSay) {
    Add(L"a.doc", 0);  // the page says nothing, the server sends plenty
    Add(L"b.doc", 10);
    rig.server.AddFile(Bytes(50000));
    rig.server.AddFile(Bytes(10));
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_EQ(dialog.steps, 100);
}

TEST_F(MultiWorker, NamesThatTryToLeaveTheFolderStayInIt) {
    Add(L"..\\..\\Windows\\evil.dll", 3);
    Add(L"C:\\boot.ini", 3);
    Add(L"..", 3);
    for (int i = 0; i < 3; ++i) rig.server.AddFile(Bytes(3));
    rig.dialogs.answers = {Answer::Yes};
    RunMultiDownload(dialog, rig.services, files);
    for (const auto& [path, bytes] : rig.files.disk) {
        EXPECT_EQ(path.rfind(L"D:\\In\\", 0), 0u) << std::string(path.begin(), path.end());
        EXPECT_EQ(path.find(L'\\', 6), std::wstring::npos);
        EXPECT_EQ(path.find(L':', 2), std::wstring::npos);
    }
    EXPECT_TRUE(rig.files.disk.count(L"D:\\In\\.._.._Windows_evil.dll"));
    EXPECT_TRUE(rig.files.disk.count(L"D:\\In\\C__boot.ini"));
    EXPECT_TRUE(rig.files.disk.count(L"D:\\In\\UnKnown"));
}

TEST_F(MultiWorker, ErrorOpeningARequestEndsTheJobFailed) {
    Add(L"a.doc", 10);
    Add(L"b.doc", 10);
    rig.server.AddFile(Bytes(10));  // the second request cannot be opened
    RunMultiDownload(dialog, rig.services, files);
    EXPECT_EQ(rig.dialogs.MessageTexts(), std::vector<std::wstring>{L"The operation timed out"});
    EXPECT_EQ(dialog.endCode, -1);
    EXPECT_FALSE(dialog.Job().Succeeded);
}

}  // namespace
}  // namespace qm
