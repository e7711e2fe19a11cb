#include "upload/upload_worker.h"

#include <gtest/gtest.h>

#include <new>

#include "upload/upload_operation.h"
#include "upload_rig.h"

namespace qm {
namespace {

using namespace qm::testing;

class UploadWorker : public ::testing::Test {
protected:
    UploadWorker() {
        TransferJob& job = dialog.Job();
        job.ServerName = L"store.example";
        job.ServerPort = 8080;
        job.Mode = TransferMode::Upload;
        job.ViewName = L"Documents";
        job.ElementId = L"drop1";
        job.BeforeUploadScript = L"keyFor";
        job.AfterUploadScript = L"stored";
        job.FileList = std::make_shared<std::vector<std::wstring>>();
        dialog.windowExists = true;
        rig.HandleRequests(dialog);
    }
    void List(std::vector<std::wstring> entries) {
        std::uint32_t total = 0;
        *dialog.Job().FileList = entries;
        if (dialog.Job().ExecuteScriptOnce)
            total = SumListedSizes(rig.fs, JoinText(entries, L'|'));
        else
            total = TotalSize(rig.fs, entries);
        dialog.Job().TotalBytes = total;
        dialog.Job().ProgressRange = UploadProgressRange(total);
    }
    void Keys(std::vector<std::wstring> keys) {
        for (auto& k : keys) rig.page.answers.push_back(ScriptValue::Text(k));
    }
    void Run() { RunUploadJob(dialog, rig.services); }
    std::vector<std::wstring> CalledFunctions() const {
        std::vector<std::wstring> names;
        for (const auto& c : rig.page.calls) names.push_back(c.name);
        return names;
    }

    UploadRig rig;
    FakeProgressDialog dialog;
};

TEST_F(UploadWorker, OneFileIsPostedWithItsHeaderAndReportedToThePage) {
    rig.AddFile(L"C:\\Data\\Plan.doc", Bytes(10000));
    List({L"C:\\Data\\Plan.doc"});
    Keys({kKeyA});
    auto reply = rig.Reply(StoredReply("ref-77"));
    Run();
    EXPECT_EQ(reply->body, Bytes(10000));
    EXPECT_EQ(reply->announced, 10000u);
    EXPECT_EQ(Header(*reply, L"Content-Type: "), L"velmar/postedfile");
    EXPECT_EQ(Header(*reply, L"vm_PrimKey :"), kKeyA);
    EXPECT_EQ(Header(*reply, L"vm_ViewName :"), L"Documents");
    EXPECT_EQ(Header(*reply, L"vm_FileName :"), L"UGxhbi5kb2M=");
    EXPECT_EQ(Header(*reply, L"vm_FileSize :"), L"10000");
    EXPECT_EQ(Header(*reply, L"vm_FileCRC :"), L"70001");
    // Pieces of 4096 bytes at most.
    for (const auto& call : reply->calls)
        if (call.rfind("write ", 0) == 0) {
            EXPECT_LE(std::stoul(call.substr(6)), 4096u);
        }
    EXPECT_EQ(dialog.scriptRequests, (std::vector<std::wstring>{L"GetPrimKey", L"SaveFileInfo"}));
    ASSERT_EQ(rig.page.calls.size(), 2u);
    EXPECT_EQ(rig.page.calls[0].name, L"keyFor");
    ASSERT_GE(rig.page.calls[0].arguments.size(), 2u);
    ASSERT_GE(rig.page.calls[1].arguments.size(), 8u);
    EXPECT_EQ(rig.page.calls[0].arguments[0], L"drop1");
    EXPECT_EQ(rig.page.calls[0].arguments[1], L"Plan.doc");
    EXPECT_EQ(rig.page.calls[1].name, L"stored");
    EXPECT_EQ(rig.page.calls[1].arguments[1], L"ref-77");
    EXPECT_EQ(rig.page.calls[1].arguments[4], L"false");
    EXPECT_EQ(rig.page.calls[1].arguments[7], kKeyA);
    EXPECT_TRUE(dialog.Job().Succeeded);
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
    ASSERT_FALSE(dialog.statuses.empty());
    ASSERT_GE(dialog.captions.size(), 2u);
    EXPECT_EQ(dialog.statuses.front(), kOpeningConnectionText);
    EXPECT_EQ(dialog.captions.front(), kSaveToServerCaption);
    EXPECT_EQ(dialog.captions.at(1), L"Plan.doc to store.example");
    EXPECT_EQ(dialog.steps, 3);  // range 3 for 10000 bytes
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

// The rate is the bytes so far over the time since the job began; the rig's clock moves a second per reading,
// so three pieces of 4096 bytes take three seconds.
TEST_F(UploadWorker, TheRateCountsFromTheStartOfTheJob) {
    rig.AddFile(L"C:\\a.txt", Bytes(3 * 4096));
    List({L"C:\\a.txt"});
    Keys({kKeyA});
    rig.Reply(StoredReply("r1"));
    Run();
    dialog.Flush();
    ASSERT_FALSE(dialog.writes.empty());
    std::wstring rate;
    for (const auto& w : dialog.writes)
        if (w.field == ProgressField::Rate) rate = w.text;
    EXPECT_EQ(rate, L"4.0 KB/sec");
}

TEST_F(UploadWorker, ProgressRangesFollowBlocksUpToAHundred) {
    EXPECT_EQ(UploadProgressRange(1), 1u);
    EXPECT_EQ(UploadProgressRange(4096), 1u);
    EXPECT_EQ(UploadProgressRange(4097), 2u);
    EXPECT_EQ(UploadProgressRange(1000000), 100u);
    EXPECT_EQ(UploadProgressRange(0), 0u);
}

TEST_F(UploadWorker, StepsAreOnePerWholePercentAndNeverMoreThanTheRange) {
    struct Case {
        std::size_t size;
        int steps;
    } cases[] = {{1, 1}, {4096, 1}, {4097, 2}, {1000000, 100}};
    for (const Case& c : cases) {
        UploadRig r;
        FakeProgressDialog d;
        r.HandleRequests(d);
        d.windowExists = true;
        r.AddFile(L"C:\\f.bin", Bytes(c.size));
        r.page.answers.push_back(ScriptValue::Text(kKeyA));
        r.Reply(StoredReply("1"));
        d.Job().Mode = TransferMode::Upload;
        d.Job().BeforeUploadScript = L"keyFor";
        d.Job().FileList = std::make_shared<std::vector<std::wstring>>(std::vector<std::wstring>{L"C:\\f.bin"});
        d.Job().TotalBytes = static_cast<std::uint32_t>(c.size);
        d.Job().ProgressRange = UploadProgressRange(d.Job().TotalBytes);
        RunUploadJob(d, r.services);
        EXPECT_EQ(d.steps, c.steps) << c.size;
        ASSERT_FALSE(r.server.opened.empty()) << c.size;
        EXPECT_EQ(r.server.opened.at(0)->body.size(), c.size);
    }
    // Three one-byte files make a range of 1: the bar must not wrap.
    UploadRig r;
    FakeProgressDialog d;
    r.HandleRequests(d);
    d.windowExists = true;
    for (auto* p : {L"C:\\a", L"C:\\b", L"C:\\c"}) {
        r.AddFile(p, "x");
        r.page.answers.push_back(ScriptValue::Text(kKeyA));
        r.page.answers.push_back(ScriptValue{});
        r.Reply(StoredReply("1"));
    }
    d.Job().FileList = std::make_shared<std::vector<std::wstring>>(std::vector<std::wstring>{L"C:\\a", L"C:\\b", L"C:\\c"});
    d.Job().BeforeUploadScript = L"keyFor";
    d.Job().TotalBytes = 3;
    d.Job().ProgressRange = 1;
    RunUploadJob(d, r.services);
    EXPECT_EQ(r.server.opened.size(), 3u);
    EXPECT_EQ(d.steps, 1);
}

TEST_F(UploadWorker, MinusOneSkipsAFileAndTheBarStillCountsAgainstTheWholeJob) {
    rig.AddFile(L"C:\\a.txt", Bytes(5000));
    rig.AddFile(L"C:\\b.txt", Bytes(5000));
    List({L"C:\\a.txt", L"C:\\b.txt"});
    Keys({L"-1", kKeyB});
    rig.Reply(StoredReply("r2"));
    Run();
    ASSERT_EQ(rig.server.opened.size(), 1u);
    EXPECT_EQ(Header(*rig.server.opened[0], L"vm_PrimKey :"), kKeyB);
    EXPECT_EQ(rig.server.opened[0]->body, Bytes(5000));
    // 5000 of 10000 bytes: the bar reaches half, not all, of its range of 3.
    EXPECT_EQ(dialog.steps, 2);
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

TEST_F(UploadWorker, AFileThatCannotBeFoundEndsTheJobSilently) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    rig.AddFile(L"C:\\c.txt", Bytes(10));
    List({L"C:\\a.txt", L"C:\\gone.txt", L"C:\\c.txt"});
    Keys({kKeyA, L"", kKeyC});
    rig.Reply(StoredReply("r1"));
    rig.Reply(StoredReply("r3"));
    Run();
    EXPECT_EQ(rig.server.opened.size(), 1u);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
}

TEST_F(UploadWorker, KeysThatAreNotKeysAreShownAndTheFileIsSkipped) {
    const std::wstring misplaced = L"0a1b2c3d1-111-2222-3333-444455556666";  // 36 characters, hyphens moved
    ASSERT_EQ(misplaced.size(), 36u);
    for (const std::wstring& bad : {misplaced, std::wstring(L"Please log in first"), std::wstring(L"42")}) {
        UploadRig r;
        FakeProgressDialog d;
        r.HandleRequests(d);
        d.windowExists = true;
        r.AddFile(L"C:\\a.txt", Bytes(10));
        r.AddFile(L"C:\\b.txt", Bytes(10));
        r.page.answers.push_back(ScriptValue::Text(bad));
        r.page.answers.push_back(ScriptValue::Text(kKeyB));
        r.Reply(StoredReply("r2"));
        d.Job().FileList = std::make_shared<std::vector<std::wstring>>(std::vector<std::wstring>{L"C:\\a.txt", L"C:\\b.txt"});
        d.Job().TotalBytes = 20;
        d.Job().ProgressRange = 1;
        d.Job().BeforeUploadScript = L"keyFor";
        RunUploadJob(d, r.services);
        ASSERT_EQ(r.dialogs.shown.size(), 1u) << bad;
        EXPECT_EQ(r.dialogs.shown[0].kind, MessageKind::Error);
        EXPECT_EQ(r.dialogs.shown[0].text, ErrorBoxText(bad));
        ASSERT_EQ(r.server.opened.size(), 1u);
        EXPECT_EQ(Header(*r.server.opened[0], L"vm_PrimKey :"), kKeyB);
    }
}

TEST_F(UploadWorker, AnEmptyFileIsPostedWithLengthZeroAndNoPiecesOrSteps) {
    rig.AddFile(L"C:\\empty.txt", "");
    List({L"C:\\empty.txt"});
    Keys({kKeyA});
    auto reply = rig.Reply(StoredReply("r0"));
    Run();
    EXPECT_EQ(reply->calls, (std::vector<std::string>{"headers", "begin 0", "end"}));
    EXPECT_EQ(dialog.steps, 0);
    EXPECT_TRUE(dialog.Job().Succeeded);
}

TEST_F(UploadWorker, RepliesWithoutSuccessAreShownAndTheNextFileGoesOn) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    rig.AddFile(L"C:\\b.txt", Bytes(10));
    rig.AddFile(L"C:\\c.txt", Bytes(10));
    List({L"C:\\a.txt", L"C:\\b.txt", L"C:\\c.txt"});
    Keys({kKeyA, kKeyB, kKeyC});
    rig.Reply("<Response><Error Message=\"Quota exceeded\"/></Response>");
    rig.Reply("<html><body>Internal Server Error</body></html>", L"text/html");
    rig.Reply("");
    Run();
    EXPECT_EQ(rig.server.opened.size(), 3u);
    ASSERT_EQ(rig.dialogs.shown.size(), 2u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(rig.dialogs.shown[0].text, ErrorBoxText(L"Quota exceeded"));
    EXPECT_EQ(rig.dialogs.shown[1].kind, MessageKind::Plain);
    EXPECT_EQ(rig.dialogs.shown[1].text, L"<html><body>Internal Server Error</body></html>");
    EXPECT_FALSE(dialog.Job().Succeeded);
    EXPECT_EQ(dialog.scriptRequests, (std::vector<std::wstring>(3, L"GetPrimKey")));
}

TEST_F(UploadWorker, CancelDuringTheBodyStopsEverythingWithoutReportOrEnd) {
    rig.AddFile(L"C:\\a.bin", Bytes(400000));
    rig.AddFile(L"C:\\b.bin", Bytes(10));
    List({L"C:\\a.bin", L"C:\\b.bin"});
    Keys({kKeyA, kKeyB});
    auto reply = rig.Reply(StoredReply("r1"));
    rig.Reply(StoredReply("r2"));
    dialog.onStep = [](FakeProgressDialog& d) {
        if (d.steps == 10) d.Cancel();
    };
    Run();
    EXPECT_LT(reply->body.size(), 400000u);
    EXPECT_EQ(std::count(reply->calls.begin(), reply->calls.end(), "end"), 0);
    EXPECT_EQ(rig.server.opened.size(), 1u);
    EXPECT_EQ(dialog.scriptRequests, (std::vector<std::wstring>{L"GetPrimKey"}));
    EXPECT_FALSE(dialog.endCode.has_value());
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.posted.openNow, 0);
}

TEST_F(UploadWorker, OnceModeCollectsSevenFieldRecordsAndMakesNoRequests) {
    dialog.Job().ExecuteScriptOnce = 1;
    rig.AddFile(L"C:\\a.txt", Bytes(1));
    rig.AddFile(L"C:\\b.txt", Bytes(2));
    rig.AddFile(L"C:\\c.txt", Bytes(3));
    List({std::wstring(L"C:\\a.txt?") + kKeyA, std::wstring(L"C:\\b.txt?") + kKeyB, std::wstring(L"C:\\c.txt?") + kKeyC});
    rig.Reply(StoredReply("r1"));
    rig.Reply(StoredReply("r2"));
    rig.Reply(StoredReply("r3"));
    Run();
    EXPECT_TRUE(dialog.scriptRequests.empty());
    const std::vector<std::wstring> records = SplitText(dialog.Job().ResultList, L'|');
    ASSERT_EQ(records.size(), 3u);
    const std::vector<std::wstring> first = SplitText(records[0], L'?');
    ASSERT_EQ(first.size(), 7u);
    EXPECT_EQ(first[0], kKeyA);
    EXPECT_EQ(first[1], L"r1");
    EXPECT_EQ(first[2], L"a.txt");
    EXPECT_EQ(first[3], L"1");
    EXPECT_EQ(first[4], L"false");
    EXPECT_FALSE(first[5].empty());
    ASSERT_GE(SplitText(records[2], L'?').size(), 2u);
    EXPECT_EQ(SplitText(records[2], L'?')[1], L"r3");
    EXPECT_FALSE(dialog.Job().Succeeded);  // once-mode leaves it as it was
}

TEST_F(UploadWorker, AFileInUseStopsTheJobWithTheSharingViolationText) {
    rig.system.messages[32] = L"The process cannot access the file because it is being used by another process.";
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    rig.AddFile(L"C:\\b.txt", Bytes(10));
    rig.fs.AddFile(L"C:\\a.txt", 10).open = ExclusiveOpenResult::SharingViolation;
    List({L"C:\\a.txt", L"C:\\b.txt"});
    Keys({kKeyA, kKeyB});
    rig.Reply(StoredReply("r"));
    Run();
    EXPECT_TRUE(rig.server.opened.empty());
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].owner, 0u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_NE(rig.dialogs.shown[0].text.find(L"being used by another process"), std::wstring::npos);
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
}

TEST_F(UploadWorker, AFileThatCannotBeOpenedIsShownAndTheNextOneIsSent) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    rig.AddFile(L"C:\\b.txt", Bytes(10));
    rig.posted.files.erase(L"C:\\a.txt");  // listed and described, but refused when opened
    List({L"C:\\a.txt", L"C:\\b.txt"});
    Keys({kKeyA, kKeyB});
    rig.Reply(StoredReply("r1"));
    rig.Reply(StoredReply("r2"));
    Run();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(rig.dialogs.shown[0].text, ErrorBoxText(L"The system cannot find the file specified."));
    ASSERT_EQ(rig.server.opened.size(), 2u);
    EXPECT_EQ(rig.server.opened[1]->body, Bytes(10));
}

// Unlike a file that cannot be opened, one that changes while it is read has already started a body the server
// cannot use: the job ends there.
TEST_F(UploadWorker, AFileThatGrowsWhileItIsSentEndsTheJob) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    rig.AddFile(L"C:\\b.txt", Bytes(10));
    rig.posted.files[L"C:\\a.txt"] = Bytes(5000);  // written to since it was listed
    List({L"C:\\a.txt", L"C:\\b.txt"});
    Keys({kKeyA, kKeyB});
    rig.Reply(StoredReply("r1"));
    rig.Reply(StoredReply("r2"));
    Run();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_NE(rig.dialogs.shown[0].text.find(L"C:\\a.txt"), std::wstring::npos);
    EXPECT_EQ(rig.server.opened.size(), 1u) << "b.txt is not sent";
    EXPECT_EQ(rig.posted.openNow, 0) << "the file is closed";
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
}

// A failure that is not the control's own (here: no memory for the reply document) is told too, unless the user
// had already cancelled.
TEST_F(UploadWorker, AnUnexpectedFailureIsShownUnlessTheUserCancelled) {
    rig.services.makeDom = []() -> std::unique_ptr<XmlDocument> { throw std::bad_alloc(); };
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    List({L"C:\\a.txt"});
    Run();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(rig.dialogs.shown[0].owner, 0u);
    EXPECT_TRUE(rig.server.opened.empty());
    EXPECT_EQ(dialog.endCode, kEndUploadDone);

    FakeProgressDialog cancelled;
    cancelled.windowExists = true;
    cancelled.Job().FileList = dialog.Job().FileList;
    cancelled.Job().Cancelled = true;
    RunUploadJob(cancelled, rig.services);
    EXPECT_EQ(rig.dialogs.shown.size(), 1u) << "nothing more after a cancel";
    EXPECT_FALSE(cancelled.endCode.has_value());
}

TEST_F(UploadWorker, ForcedRetrySendsTheSameRequestAgainWithoutCountingTwice) {
    rig.AddFile(L"C:\\a.bin", Bytes(8192));
    List({L"C:\\a.bin"});
    Keys({kKeyA});
    auto reply = rig.Reply(StoredReply("r1"));
    reply->endsBeforeSuccess = 2;
    Run();
    EXPECT_EQ(std::count(reply->calls.begin(), reply->calls.end(), "begin 8192"), 3);
    EXPECT_EQ(reply->body, Bytes(8192));
    EXPECT_EQ(dialog.steps, 2);
    EXPECT_TRUE(dialog.Job().Succeeded);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.posted.openCount, 3);
    // What the user reads counts the file once: never "16.00 KB" or "24.00 KB of 8.00 KB".
    dialog.Flush();
    bool whole = false;
    for (const auto& w : dialog.writes) {
        EXPECT_EQ(w.text.find(L"16.00 KB"), std::wstring::npos) << w.text;
        EXPECT_EQ(w.text.find(L"24.00 KB"), std::wstring::npos) << w.text;
        whole = whole || w.text.find(L"8.00 KB of 8.00 KB") != std::wstring::npos;
    }
    EXPECT_TRUE(whole) << "the texts show the whole file sent once";
}

TEST_F(UploadWorker, OtherHttpErrorsArePlainMessagesAndTheNextFileGoesOn) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    rig.AddFile(L"C:\\b.txt", Bytes(10));
    List({L"C:\\a.txt", L"C:\\b.txt"});
    Keys({kKeyA, kKeyB});
    auto refused = rig.Reply(StoredReply("r1"));
    refused->endsBeforeSuccess = 1;
    refused->endErrorCode = 12030;
    rig.Reply(StoredReply("r2"));
    Run();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Plain);
    EXPECT_EQ(rig.server.opened.size(), 2u);
    EXPECT_TRUE(dialog.Job().Succeeded);
}

TEST_F(UploadWorker, NoConnectionIsAnErrorWithoutOwnerAndNothingIsSent) {
    rig.server.connectError = 12029;
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    List({L"C:\\a.txt"});
    Run();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(rig.dialogs.shown[0].owner, 0u);
    EXPECT_TRUE(dialog.scriptRequests.empty());
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
}

TEST_F(UploadWorker, APageWithoutKeyIsAskedAgainWithPausesUntilCancel) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    List({L"C:\\a.txt"});
    dialog.Job().BeforeUploadScript.clear();  // no function: no key ever comes
    int asked = 0;
    dialog.onRequest = [&](FakeProgressDialog& d) {
        HandleScriptRequest(d.Job(), rig.page, rig.fs);
        if (++asked == 5) d.Cancel();
    };
    Run();
    EXPECT_EQ(asked, 5);
    EXPECT_GE(rig.pauses, 4 * 5);  // each repeat waited a quarter second in slices
    EXPECT_TRUE(rig.server.opened.empty());
    EXPECT_FALSE(dialog.endCode.has_value());
}

// A page that has no key yet is asked again a quarter second later, not sooner and not later.
TEST_F(UploadWorker, ThePageIsAskedForAKeyAgainAfterAQuarterSecond) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    List({L"C:\\a.txt"});
    dialog.Job().BeforeUploadScript.clear();
    std::vector<unsigned> askedAt;
    dialog.onRequest = [&](FakeProgressDialog& d) {
        askedAt.push_back(rig.pausedMs);
        HandleScriptRequest(d.Job(), rig.page, rig.fs);
        if (askedAt.size() == 3) d.Cancel();
    };
    Run();
    EXPECT_EQ(askedAt, (std::vector<unsigned>{0, 250, 500}));
}

TEST_F(UploadWorker, AKeyFromThePreviousFileIsNeverReused) {
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    rig.AddFile(L"C:\\b.txt", Bytes(10));
    List({L"C:\\a.txt", L"C:\\b.txt"});
    int asked = 0;
    // The first request is answered; the later ones are lost (as when the window is gone) until Cancel.
    dialog.onRequest = [&](FakeProgressDialog& d) {
        if (++asked == 1) d.Job().CurrentPrimKey = kKeyA;
        if (asked == 4) d.Cancel();
    };
    rig.Reply(StoredReply("r1"));
    rig.Reply(StoredReply("r2"));
    Run();
    EXPECT_EQ(rig.server.opened.size(), 1u);
}

TEST_F(UploadWorker, ANameTheHeaderCannotCarryIsToldAndTheNextFileIsSent) {
    dialog.Job().ViewName = L"Docs\r\nX-Injected: 1";
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    List({L"C:\\a.txt"});
    Keys({kKeyA});
    rig.Reply(StoredReply("r1"));
    Run();
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find(L"a.txt"), std::wstring::npos);
    ASSERT_FALSE(rig.server.opened.empty());
    EXPECT_TRUE(rig.server.opened.at(0)->calls.empty());  // opened, never sent
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
}

TEST_F(UploadWorker, TheJobWaitsForTheWindowAtMostASecond) {
    dialog.windowExists = false;
    rig.AddFile(L"C:\\a.txt", Bytes(10));
    List({L"C:\\a.txt"});
    Keys({kKeyA});
    rig.Reply(StoredReply("r1"));
    Run();
    EXPECT_EQ(rig.pauses, 100);  // 100 slices of 10 ms, then it goes on
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
}

class ReUploadWorker : public ::testing::Test {
protected:
    ReUploadWorker() {
        rig.AddFile(kPath, Bytes(9000));
        TransferJob& job = dialog.Job();
        job.Mode = TransferMode::ReUpload;
        job.ServerName = L"store.example";
        DescribeFile(rig.fs, kPath, job.Descriptor);
        job.Descriptor.PrimKey = kKeyA;
        job.Descriptor.ViewName = L"Documents";
        job.Descriptor.UploadViewName = L"DocUploads";
        job.Descriptor.IsUpdate = 1;
        job.TotalBytes = 9000;
        job.ProgressRange = 3;
        dialog.windowExists = true;
    }
    static constexpr const wchar_t* kPath = L"C:\\Temp\\k\\Plan.doc";
    UploadRig rig;
    FakeProgressDialog dialog;
};

TEST_F(ReUploadWorker, SuccessStoresTheReferenceWithoutScriptRequests) {
    auto reply = rig.Reply(StoredReply("new-ref"));
    RunUploadJob(dialog, rig.services);
    EXPECT_TRUE(dialog.Job().Succeeded);
    EXPECT_EQ(dialog.Job().Descriptor.FileRef, L"new-ref");
    EXPECT_EQ(Header(*reply, L"vm_ViewName :"), L"DocUploads");
    EXPECT_EQ(reply->body, Bytes(9000));
    EXPECT_TRUE(dialog.scriptRequests.empty());
    EXPECT_EQ(dialog.steps, 3);
    EXPECT_EQ(dialog.endCode, kEndUploadDone);
    // The status line is given before each read, and shows the destination.
    ASSERT_FALSE(dialog.statuses.empty());
    EXPECT_EQ(dialog.statuses.back(), L"Plan.doc to store.example");
}

TEST_F(ReUploadWorker, ErrorsAreShownWithoutOwner) {
    rig.Reply("<Response><Error Message=\"Locked by Ann\"/></Response>");
    RunUploadJob(dialog, rig.services);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].owner, 0u);
    EXPECT_EQ(rig.dialogs.shown[0].text, ErrorBoxText(L"Locked by Ann"));
    EXPECT_FALSE(dialog.Job().Succeeded);
}

TEST_F(ReUploadWorker, HttpErrorIsAnErrorBoxAndAnOpenFailureStops) {
    auto refused = rig.Reply(StoredReply("x"));
    refused->endsBeforeSuccess = 1;
    refused->endErrorCode = 12030;
    RunUploadJob(dialog, rig.services);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(rig.dialogs.shown[0].owner, 0u);
    EXPECT_FALSE(dialog.Job().Succeeded);

    UploadRig r;
    FakeProgressDialog d;
    d.windowExists = true;
    d.Job().Mode = TransferMode::ReUpload;
    d.Job().Descriptor = dialog.Job().Descriptor;
    r.Reply(StoredReply("x"));
    RunUploadJob(d, r.services);  // the file is not among r's posted files
    ASSERT_EQ(r.dialogs.shown.size(), 1u);
    EXPECT_EQ(r.dialogs.shown[0].owner, 0u);
    EXPECT_FALSE(d.Job().Succeeded);
    EXPECT_EQ(d.endCode, kEndUploadDone);
}

}  // namespace
}  // namespace qm
