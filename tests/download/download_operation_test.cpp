#include "download/download_operation.h"

#include <gtest/gtest.h>

#include "localfiles/safe_names.h"
#include "localfiles/file_helpers.h"
#include "support/fake_download_shell.h"
#include "support/fake_file_download_prompt.h"
#include "support/fake_file_system.h"
#include "support/fake_page_elements.h"
#include "support/fake_page_scripts.h"
#include "support/fake_questions.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_text.h"
#include "support/fake_transfer_runner.h"
#include "support/fake_user_dialogs.h"

namespace qm {
namespace {

using namespace qm::testing;

constexpr FileTime kUpdated = 132'500'000'000'000'000;  // whole second
constexpr FileTime kCreated = 132'400'000'000'000'000;
constexpr FileTime kSecond = 10'000'000;

class DownloadFileTest : public ::testing::Test {
protected:
    DownloadFileTest() {
        fs.tempPath = L"C:\\Temp\\";
        fs.AddFolder(L"C:");
        fs.AddFolder(L"C:\\Temp");
        fs.AddFolder(L"C:\\Users\\me\\Documents");
        system.dates[L"2020-01-01 10:00:00"] = FileTimeToCalendar(kCreated);
        system.dates[L"2020-02-02 12:00:00"] = FileTimeToCalendar(kUpdated);
        runner.fs = &fs;
        // A page function the page lacks fails; a question nobody answered is No; the file dialog is cancelled.
        scripts.unanswered = std::nullopt;
        dialogs.unanswered = Answer::No;
        dialogs.confirm = false;
        page.elements[L"f1"] = {
            {L"PrimKey", L"4711"},
            {L"ViewName", L"Documents"},
            {L"FileName", L"Plan.doc"},
            {L"FileSize", L"10000"},
            {L"FileCreated", L"2020-01-01 10:00:00"},
            {L"FileUpdated", L"2020-02-02 12:00:00"},
            {L"IsLocked", L"false"},
            {L"AllowEdit", L"true"},
            {L"ExecuteScriptBeforeDownload", L"before"},
            {L"ExecuteScriptAfterDownload", L"after"},
            {L"ExecuteScriptBeforeUpload", L"beforeUp"},
            {L"ExecuteScriptAfterUpload", L"afterUp"},
            {L"FileUploadViewName", L"DocsUp"},
        };
        scripts.answersByName[L"before"] = ScriptValue::Text(L"R-9");
        scripts.answersByName[L"after"] = ScriptValue::Boolean(true);
    }
    std::map<std::wstring, std::wstring>& El() { return page.elements[L"f1"]; }
    int Download(const std::wstring& id = L"f1") { return DownloadFile(context, id); }
    std::vector<std::wstring> CalledNames() const {
        std::vector<std::wstring> n;
        for (const auto& c : scripts.calls) n.push_back(c.name);
        return n;
    }

    FakePageElements page;
    FakePageScripts scripts;
    FakeUserDialogs dialogs;
    ScriptedQuestions questions;
    FakeSettingsStore settings;
    FakeFileSystem fs;
    FakeSystemText system;
    FakeDownloadShell shell;
    FakeFileDownloadPrompt prompt;
    FakeTransferRunner runner;
    TrackedFileList tracked;
    DownloadContext context{page,   scripts, dialogs, questions, settings, fs, system, shell,
                            prompt, runner,  tracked, {},        0x77,     L"store.example", 8080, 0xA4400000u};
    const std::wstring temp = L"C:\\Temp\\4711\\Plan.doc";
};

TEST_F(DownloadFileTest, EditOpenFromTheDialogDownloadsStampsOpensAndRegisters) {
    prompt.answer = kActionOpenForEdit;
    EXPECT_EQ(Download(), 0);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].fileName, L"Plan.doc");
    EXPECT_EQ(prompt.shown[0].sizeText, L"9.77 KB");
    EXPECT_EQ(prompt.shown[0].source, L"store.example");
    EXPECT_TRUE(prompt.shown[0].editEnabled);

    const TransferJob& job = runner.dialog.Job();
    EXPECT_EQ(job.Mode, TransferMode::Download);
    EXPECT_EQ(job.Descriptor.LocalPath, temp);
    EXPECT_EQ(job.Descriptor.RecordKey, L"R-9");
    EXPECT_EQ(job.Descriptor.FileSize, 10000u);
    EXPECT_EQ(job.Descriptor.BlockCount, 3u);
    EXPECT_EQ(job.ProgressRange, 3u);
    EXPECT_EQ(job.Descriptor.CreatedTime, kCreated);
    EXPECT_EQ(job.Descriptor.UpdatedTime, kUpdated);
    EXPECT_EQ(job.Descriptor.UploadViewName, L"DocsUp");
    EXPECT_EQ(job.ServerName, L"store.example");
    EXPECT_EQ(job.ServerPort, 8080);
    EXPECT_TRUE(fs.HasFolder(L"C:\\Temp\\4711"));

    EXPECT_EQ(fs.File(temp)->times.created, kCreated);
    EXPECT_EQ(fs.File(temp)->times.lastWritten, kUpdated);
    EXPECT_EQ(shell.opened, std::vector<std::wstring>{temp});
    ASSERT_EQ(scripts.calls.size(), 2u);
    EXPECT_EQ(scripts.calls[0].arguments, std::vector<std::wstring>{L"f1"});
    EXPECT_EQ(scripts.calls[1].arguments, (std::vector<std::wstring>{L"f1", L"true", L"Lock", temp}));
    ASSERT_EQ(tracked.Size(), 1u);
    const TrackedFile& t = *tracked.Items().front();
    EXPECT_EQ(t.LocalPath, temp);
    EXPECT_EQ(t.PrimKey, L"4711");
    EXPECT_EQ(t.UploadViewName, L"DocsUp");
    EXPECT_EQ(t.BeforeUploadScript, L"beforeUp");
    EXPECT_EQ(t.LastWriteTime, kUpdated) << "the server's time, just given to the copy";
}

TEST_F(DownloadFileTest, MissingElementOrKeysGiveStatusOneAndDoNothing) {
    EXPECT_EQ(Download(L"nope"), 1);
    El().erase(L"ViewName");
    EXPECT_EQ(Download(), 1);
    El()[L"ViewName"] = L"V";
    El().erase(L"PrimKey");
    EXPECT_EQ(Download(), 1);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_TRUE(scripts.calls.empty());
    EXPECT_EQ(runner.runs, 0);
}

TEST_F(DownloadFileTest, BarInTheIdGoesToTheListEvenWhenSuchAnElementExists) {
    page.elements[L"a|b"] = El();
    dialogs.folder = std::nullopt;
    EXPECT_EQ(Download(L"a|b"), 1) << "no folder chosen";
    EXPECT_EQ(dialogs.FolderTitles(), std::vector<std::wstring>{kChooseDownloadFolderTitle});
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(DownloadFileTest, UnknownClickActionOrCancelledDialogCallsNoScript) {
    El()[L"OnClickAction"] = L"edit";
    EXPECT_EQ(Download(), 0);
    El().erase(L"OnClickAction");
    prompt.answer = kActionDialogCancelled;
    EXPECT_EQ(Download(), 0);
    prompt.answer = -1;
    EXPECT_EQ(Download(), 0);
    EXPECT_TRUE(scripts.calls.empty());
    EXPECT_EQ(runner.runs, 0);
    EXPECT_EQ(prompt.shown.size(), 2u);
}

TEST_F(DownloadFileTest, ClickActionSaveInCapitalsSkipsTheDialogAndAsksForAPlace) {
    El()[L"OnClickAction"] = L"SAVE";
    dialogs.Choose(L"D:\\Keep\\Plan copy.doc");
    fs.AddFolder(L"D:");
    fs.AddFolder(L"D:\\Keep");
    EXPECT_EQ(Download(), 0);
    EXPECT_TRUE(prompt.shown.empty());
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_FALSE(dialogs.requests[0].open);
    EXPECT_EQ(dialogs.requests[0].initialFolder, L"C:\\Users\\me\\Documents");
    ASSERT_EQ(dialogs.initialNames.size(), 1u);
    EXPECT_EQ(dialogs.initialNames[0], L"Plan.doc");
    EXPECT_EQ(runner.dialog.Job().Descriptor.LocalPath, L"D:\\Keep\\Plan copy.doc");
    EXPECT_EQ(settings.values[kSaveFileLocation], L"D:\\Keep");
    EXPECT_TRUE(shell.opened.empty());
    ASSERT_FALSE(scripts.calls.empty());
    EXPECT_EQ(scripts.calls.back().arguments,
              (std::vector<std::wstring>{L"f1", L"false", L"Save", L"D:\\Keep\\Plan copy.doc"}));
}

TEST_F(DownloadFileTest, CancelledSaveChooserEndsAfterTheBeforeScript) {
    El()[L"OnClickAction"] = L"save";
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(CalledNames(), std::vector<std::wstring>{L"before"});
    EXPECT_EQ(runner.runs, 0);
}

TEST_F(DownloadFileTest, AbsentIsLockedWarnsWithAnotherUserAndNoEndsTheCall) {
    El().erase(L"IsLocked");
    El()[L"OnClickAction"] = L"open";
    EXPECT_EQ(Download(), 0);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_NE(dialogs.asked[0].find(L"checked out by another user."), std::wstring::npos);
    EXPECT_EQ(runner.runs, 0);
    EXPECT_TRUE(scripts.calls.empty());

    dialogs.answers = {Answer::Yes};
    El()[L"OnClickEditMode"] = L"true";
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(runner.runs, 1);
    ASSERT_FALSE(scripts.calls.empty());
    ASSERT_GE(scripts.calls.back().arguments.size(), 3u);
    EXPECT_EQ(scripts.calls.back().arguments[2], L"Lock") << "an edit open stays 1005";
}

TEST_F(DownloadFileTest, LockedByTheCurrentUserGivesNoWarning) {
    El()[L"IsLocked"] = L"true";
    El()[L"IsLockedByCurrentUser"] = L"true";
    prompt.answer = kActionOpenForEdit;
    Download();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_TRUE(prompt.shown[0].editChecked);
    EXPECT_FALSE(prompt.shown[0].editEnabled);
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(runner.runs, 1);
}

TEST_F(DownloadFileTest, NoTemporaryFolderShowsThePermissionMessage) {
    fs.failCreate.insert(L"c:\\temp\\4711");
    El()[L"OnClickAction"] = L"open";
    El()[L"IsLocked"] = L"false";
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::wstring>{kNoWritePermissionText});
    EXPECT_EQ(runner.runs, 0);
}

class LocalCopyTest : public DownloadFileTest {
protected:
    LocalCopyTest() {
        El()[L"OnClickAction"] = L"open";
        fs.AddFolder(L"C:\\Temp\\4711");
    }
    FakeFile& Local(FileTime written) {
        FakeFile& f = fs.AddFile(temp, 10000);
        f.times = {kCreated, written};
        return f;
    }
};

TEST_F(LocalCopyTest, SameSecondOpensTheLocalCopyWithoutDownload) {
    Local(kUpdated + kSecond / 2);
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(runner.runs, 0);
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(shell.opened, std::vector<std::wstring>{temp});
    ASSERT_FALSE(scripts.calls.empty());
    EXPECT_EQ(scripts.calls.back().arguments, (std::vector<std::wstring>{L"f1", L"true", L"Open", temp}));
    EXPECT_EQ(tracked.Size(), 1u);
}

TEST_F(LocalCopyTest, OneSecondNewerAsksAndNoDownloadsAgain) {
    Local(kUpdated + kSecond);
    Download();
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(questions.asked[0].first, L"Use local version?");
    EXPECT_EQ(questions.asked[0].second, kUseLocalText);
    EXPECT_EQ(runner.runs, 1);
}

TEST_F(LocalCopyTest, OneSecondNewerAndYesKeepsIt) {
    Local(kUpdated + kSecond);
    questions.answers = {true};
    Download();
    EXPECT_EQ(runner.runs, 0);
    EXPECT_EQ(shell.opened.size(), 1u);
}

TEST_F(LocalCopyTest, OneSecondOlderDownloadsWithoutAsking) {
    Local(kUpdated - kSecond);
    Download();
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(runner.runs, 1);
}

TEST_F(LocalCopyTest, CopyInUseStopsWithTheMessage) {
    Local(kUpdated).open = ExclusiveOpenResult::SharingViolation;
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::wstring>{kOpenedByAnotherProcessText});
    EXPECT_EQ(runner.runs, 0);
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(LocalCopyTest, SaveForEditKeepingTheCopyDoesNothingMore) {
    El()[L"OnClickAction"] = L"save";
    El()[L"OnClickEditMode"] = L"true";
    fs.AddFolder(L"C:\\Users\\me\\Documents");
    FakeFile& f = fs.AddFile(L"C:\\Users\\me\\Documents\\Plan.doc", 1);
    f.times = {1, kUpdated};
    Download();
    EXPECT_EQ(runner.runs, 0);
    EXPECT_EQ(CalledNames(), std::vector<std::wstring>{L"before"});
    EXPECT_TRUE(tracked.Size() == 0);
}

TEST_F(DownloadFileTest, FailedOrCancelledDownloadStillCallsTheAfterScriptButOpensNothing) {
    El()[L"OnClickAction"] = L"open";
    for (TransferOutcome o : {TransferOutcome{-1, false, false}, TransferOutcome{2, true, false}}) {
        runner.outcome = o;
        scripts.calls.clear();
        EXPECT_EQ(Download(), 0);
        EXPECT_TRUE(shell.opened.empty());
        EXPECT_EQ(CalledNames(), (std::vector<std::wstring>{L"before", L"after"}));
    }
}

// A download that failed wrote nothing: whatever lies at the path is the user's, and must not become a copy the
// page can have sent back without a question.
TEST_F(DownloadFileTest, FailedOrCancelledDownloadRegistersNothingForSendingBack) {
    El()[L"OnClickAction"] = L"open";
    El()[L"LocalPath"] = L"C:\\Users\\me\\Documents";
    El()[L"FileName"] = L"secret.txt";
    El()[L"EnableAutoSaveToServer"] = L"true";
    for (TransferOutcome o : {TransferOutcome{-1, false, false}, TransferOutcome{2, true, false}}) {
        runner.outcome = o;
        Download();
        EXPECT_EQ(tracked.Size(), 0u);
        EXPECT_FALSE(tracked.IsOwnCopy(L"C:\\Users\\me\\Documents\\secret.txt", fs));
    }
    runner.outcome = TransferOutcome{1, false, true};
    Download();
    EXPECT_EQ(tracked.Size(), 1u);
    EXPECT_TRUE(tracked.IsOwnCopy(L"C:\\Users\\me\\Documents\\secret.txt", fs));
}

// Keeping a local copy registers it only when the control made it: a user's file in a page-named folder is not.
TEST_F(DownloadFileTest, KeepingAUsersFileInAPageNamedFolderRegistersNothing) {
    El()[L"OnClickAction"] = L"open";
    El()[L"LocalPath"] = L"C:\\Users\\me\\Documents";
    El()[L"FileName"] = L"secret.txt";
    El()[L"EnableAutoSaveToServer"] = L"true";
    fs.AddFile(L"C:\\Users\\me\\Documents\\secret.txt", 5).times = {kCreated, kUpdated};
    Download();
    EXPECT_EQ(runner.runs, 0);
    EXPECT_EQ(tracked.Size(), 0u);
    tracked.RememberOwnCopy(L"C:\\Users\\me\\Documents\\secret.txt", fs);
    Download();
    EXPECT_EQ(tracked.Size(), 1u);
}

TEST_F(DownloadFileTest, OpenFolderAnswerOpensTheFolder) {
    El()[L"OnClickAction"] = L"open";
    runner.outcome = {kEndOpenFolder, false, true};
    Download();
    EXPECT_EQ(shell.opened, std::vector<std::wstring>{L"C:\\Temp\\4711"});
}

TEST_F(DownloadFileTest, AfterScriptMustReturnTheBooleanTrueAndAutoSaveMustAllowIt) {
    El()[L"OnClickAction"] = L"open";
    scripts.answersByName[L"after"] = ScriptValue::Text(L"true");
    Download();
    EXPECT_EQ(tracked.Size(), 0u);
    scripts.answersByName[L"after"] = ScriptValue::Boolean(true);
    El()[L"EnableAutoSaveToServer"] = L"no";
    Download();
    EXPECT_EQ(tracked.Size(), 0u);
    El().erase(L"EnableAutoSaveToServer");
    Download();
    EXPECT_EQ(tracked.Size(), 1u);
}

// Save for editing goes to the remembered save folder without a chooser: a program must not land there unasked.
TEST_F(DownloadFileTest, SaveForEditOutsideTheWorkingFolderAsksBeforeAProgramLands) {
    El()[L"OnClickAction"] = L"save";
    El()[L"OnClickEditMode"] = L"true";
    settings.values[kSaveFileLocation] = L"C:\\Users\\me\\Documents";
    El()[L"FileName"] = L"setup.exe";
    Download();
    EXPECT_EQ(runner.runs, 0);
    ASSERT_EQ(shell.risks.size(), 1u);
    EXPECT_NE(shell.risks[0].find(L"C:\\Users\\me\\Documents"), std::wstring::npos) << shell.risks[0];
    shell.confirmations = {true};
    Download();
    EXPECT_EQ(runner.runs, 1);
    EXPECT_EQ(runner.dialog.Job().Descriptor.LocalPath, L"C:\\Users\\me\\Documents\\setup.exe");
}

TEST_F(DownloadFileTest, TheWorkingFolderTakesAnyTypeWithoutAQuestion) {
    El()[L"OnClickAction"] = L"save";
    El()[L"FileName"] = L"tool.exe";
    El()[L"OnClickAction"] = L"open";
    shell.confirmations = {true};  // only the opening asks
    Download();
    EXPECT_EQ(runner.runs, 1);
    ASSERT_EQ(shell.risks.size(), 1u);
    EXPECT_EQ(shell.risks[0], OpenRiskText(L"tool.exe"));
}

// The user's thesis in a folder the page named is replaced only after a Yes that names it.
TEST_F(DownloadFileTest, ReplacingAFileTheControlDidNotWriteAsksFirst) {
    El()[L"OnClickAction"] = L"save";
    El()[L"OnClickEditMode"] = L"true";
    El()[L"LocalPath"] = L"C:\\Users\\me\\Documents";
    El()[L"FileName"] = L"thesis.docx";
    const std::wstring thesis = L"C:\\Users\\me\\Documents\\thesis.docx";
    for (const wchar_t* updated : {L"", L"2020-02-02 12:00:00"}) {
        if (*updated) El()[L"FileUpdated"] = updated; else El().erase(L"FileUpdated");
        fs.AddFile(thesis, 5).times = {kCreated, kUpdated - kSecond};
        dialogs.asked.clear();
        Download();
        EXPECT_EQ(runner.runs, 0) << updated;
        ASSERT_EQ(dialogs.asked.size(), 1u) << updated;
        EXPECT_EQ(dialogs.asked[0], ReplaceFileText(thesis, L"store.example"));
    }
    dialogs.answers = {Answer::Yes};
    Download();
    EXPECT_EQ(runner.runs, 1);
    // Once the control wrote it, a newer stored copy replaces it without a question.
    dialogs.asked.clear();
    system.dates[L"2020-02-03 12:00:00"] = FileTimeToCalendar(kUpdated + 86400 * kSecond);
    El()[L"FileUpdated"] = L"2020-02-03 12:00:00";
    Download();
    EXPECT_EQ(runner.runs, 2);
    EXPECT_TRUE(dialogs.asked.empty());
}

// The control's copy is a file, not a name: once the user puts a file of their own in its place, that file is
// the user's again.
TEST_F(DownloadFileTest, AFileThatTookTheControlsCopysPlaceIsAskedAboutAndNotRegistered) {
    El()[L"OnClickAction"] = L"save";
    El()[L"OnClickEditMode"] = L"true";
    El()[L"LocalPath"] = L"C:\\Users\\me\\Documents";
    El()[L"FileName"] = L"thesis.docx";
    const std::wstring thesis = L"C:\\Users\\me\\Documents\\thesis.docx";
    Download();
    ASSERT_EQ(runner.runs, 1);
    EXPECT_TRUE(dialogs.asked.empty()) << "nothing was there to replace";
    EXPECT_TRUE(tracked.IsOwnCopy(thesis, fs));
    fs.RemoveFile(thesis);
    fs.AddFile(thesis, 5).times = {kCreated, kUpdated};
    EXPECT_FALSE(tracked.IsOwnCopy(L"c:/users/me/documents/./THESIS.docx", fs));
    system.dates[L"2020-02-03 12:00:00"] = FileTimeToCalendar(kUpdated + 86400 * kSecond);
    El()[L"FileUpdated"] = L"2020-02-03 12:00:00";
    Download();
    EXPECT_EQ(runner.runs, 1);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0], ReplaceFileText(thesis, L"store.example"));
    El()[L"FileUpdated"] = L"2020-02-02 12:00:00";

    // Kept as the local copy, the user's file is not registered for sending back.
    El()[L"OnClickAction"] = L"open";
    El()[L"EnableAutoSaveToServer"] = L"true";
    fs.AddFile(thesis, 5).times = {kCreated, kUpdated};
    Download();
    EXPECT_EQ(runner.runs, 1);
    EXPECT_FALSE(tracked.IsOwnCopy(thesis, fs)) << "registering it again would make it the control's";
}

// Edits the server has not had are never replaced without a question, and the user can keep both copies.
class EditedCopyTest : public DownloadFileTest {
protected:
    EditedCopyTest() {
        El()[L"OnClickAction"] = L"open";
        El()[L"OnClickEditMode"] = L"true";
        system.dates[L"2020-02-02 12:30:00"] = FileTimeToCalendar(kUpdated + 1800 * kSecond);
        system.dates[L"2020-02-03 12:00:00"] = FileTimeToCalendar(kUpdated + 86400 * kSecond);
        system.localOffset = 3600 * kSecond;
        Download();  // the control's copy, stamped with the server's time
        EXPECT_EQ(runner.runs, 1);
        shell.opened.clear();
    }
    // The user saves the document an hour after it was stored.
    void Edit() {
        FakeFile& f = fs.AddFile(temp, 12345);
        f.times.lastWritten = kUpdated + 3600 * kSecond;
        f.crc = 0xED17;
    }
    const std::wstring aside = L"C:\\Temp\\4711\\Plan (my edits 2020-11-16 13.33).doc";
};

TEST_F(EditedCopyTest, ANewerStoredCopyAsksAndCancelChangesNothing) {
    Edit();
    El()[L"FileUpdated"] = L"2020-02-03 12:00:00";
    dialogs.answers = {Answer::Cancel};
    Download();
    EXPECT_EQ(runner.runs, 1);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0], ConflictText(temp, L"store.example", L"Plan (my edits 2020-11-16 13.33).doc"));
    EXPECT_EQ(fs.File(temp)->crc, 0xED17u);
    EXPECT_EQ(fs.File(aside), nullptr);
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(EditedCopyTest, YesKeepsTheEditedCopyAndOpensIt) {
    Edit();
    El()[L"FileUpdated"] = L"2020-02-03 12:00:00";
    dialogs.answers = {Answer::Yes};
    Download();
    EXPECT_EQ(runner.runs, 1);
    EXPECT_EQ(fs.File(temp)->crc, 0xED17u);
    EXPECT_EQ(shell.opened, std::vector<std::wstring>{temp});
    EXPECT_TRUE(questions.asked.empty()) << "no second question about the local copy";
}

TEST_F(EditedCopyTest, NoKeepsTheEditsBesideAndFetchesTheStoredCopy) {
    Edit();
    El()[L"FileUpdated"] = L"2020-02-03 12:00:00";
    dialogs.answers = {Answer::No};
    Download();
    EXPECT_EQ(runner.runs, 2);
    ASSERT_NE(fs.File(aside), nullptr);
    EXPECT_EQ(fs.File(aside)->crc, 0xED17u);
    EXPECT_EQ(fs.File(aside)->size, 12345u);
    EXPECT_EQ(dialogs.asked.size(), 1u) << "no replace question after the edits were kept";

    // Again: the earlier kept copy's name is taken, the next one gets a number.
    Edit();
    El()[L"FileUpdated"] = L"2020-02-04 12:00:00";
    system.dates[L"2020-02-04 12:00:00"] = FileTimeToCalendar(kUpdated + 2 * 86400 * kSecond);
    dialogs.answers = {Answer::No};
    Download();
    EXPECT_EQ(runner.runs, 3);
    EXPECT_NE(fs.File(L"C:\\Temp\\4711\\Plan (my edits 2020-11-16 13.33 2).doc"), nullptr);
}

TEST_F(EditedCopyTest, WhenTheEditsCannotBeKeptBesideNothingIsFetched) {
    Edit();
    El()[L"FileUpdated"] = L"2020-02-03 12:00:00";
    fs.AddFile(aside, 1);
    for (int n = 2; n < 100; ++n)
        fs.AddFile(L"C:\\Temp\\4711\\Plan (my edits 2020-11-16 13.33 " + std::to_wstring(n) + L").doc", 1);
    dialogs.answers = {Answer::No};
    Download();
    EXPECT_EQ(runner.runs, 1);
    EXPECT_EQ(fs.File(temp)->crc, 0xED17u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, ConflictCopyFailedText(temp));
}

TEST_F(EditedCopyTest, AStoredCopyChangedBeforeTheEditIsAConflictTooNotALocalCopyQuestion) {
    Edit();
    El()[L"FileUpdated"] = L"2020-02-02 12:30:00";  // after the copy was made, before the user saved
    dialogs.answers = {Answer::Cancel};
    Download();
    EXPECT_EQ(dialogs.asked.size(), 1u);
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(runner.runs, 1);
}

TEST_F(EditedCopyTest, EditsOnAnUnchangedStoredCopyAskOnlyWhetherToUseThem) {
    Edit();
    Download();
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(questions.asked.size(), 1u) << "the local-copy question, as before";
}

TEST_F(EditedCopyTest, AnUntouchedCopyIsReplacedByANewerStoredOneWithoutAQuestion) {
    El()[L"FileUpdated"] = L"2020-02-03 12:00:00";
    Download();
    EXPECT_EQ(runner.runs, 2);
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST(ConflictCopyName, TheTimeGoesBeforeTheTypeAndANumberFollowsFromTheSecond) {
    const CalendarTime when{2026, 12, 9, 14, 5, 59, 0};
    EXPECT_EQ(ConflictCopyName(L"Report.docx", when, 1), L"Report (my edits 2026-12-09 14.05).docx");
    EXPECT_EQ(ConflictCopyName(L"Report.docx", when, 3), L"Report (my edits 2026-12-09 14.05 3).docx");
    EXPECT_EQ(ConflictCopyName(L"archive.tar.gz", when, 1), L"archive.tar (my edits 2026-12-09 14.05).gz");
    EXPECT_EQ(ConflictCopyName(L"README", when, 1), L"README (my edits 2026-12-09 14.05)");
    EXPECT_EQ(ConflictCopyName(L".profile", when, 1), L".profile (my edits 2026-12-09 14.05)");
}

TEST(CodeRunningTypes, EveryListedTypeIsFoundInAnyCaseAndWithTrailingDots) {
    for (const std::wstring& type : CodeRunningTypes()) {
        EXPECT_TRUE(IsCodeRunningType(L"name" + type)) << type;
        std::wstring upper = type;
        for (auto& c : upper)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        EXPECT_TRUE(IsCodeRunningType(L"C:\\x\\Name" + upper + L". .")) << upper;
    }
    for (const wchar_t* type : {L".library-ms", L".searchConnector-ms", L".settingcontent-ms", L".appinstaller",
                                L".xll", L".iqy", L".theme", L".chm", L".hlp", L".sct", L".wsc", L".ws", L".vb",
                                L".psm1", L".dotm", L".xlam", L".docm", L".dll"})
        EXPECT_TRUE(IsCodeRunningType(std::wstring(L"autoexec") + type)) << type;
    for (const wchar_t* name : {L"thesis.docx", L"plan.pdf", L"notes.txt", L"setup.exe.txt", L"exe", L".\\dll",
                                L"archive.dotx", L"book.xlsx"})
        EXPECT_FALSE(IsCodeRunningType(name)) << name;
    EXPECT_TRUE(IsCodeRunningType(L"report.txt.exe"));
}

TEST_F(DownloadFileTest, FailedBeforeScriptGivesRecordKeyZero) {
    El()[L"OnClickAction"] = L"open";
    scripts.answersByName.erase(L"before");
    Download();
    EXPECT_EQ(runner.dialog.Job().Descriptor.RecordKey, L"0");
}

TEST_F(DownloadFileTest, NamesFromThePageStayInTheirFolder) {
    El()[L"OnClickAction"] = L"open";
    El()[L"FileName"] = L"..\\..\\Windows\\win.ini";
    El()[L"PrimKey"] = L"..\\..\\Users";
    Download();
    EXPECT_EQ(runner.dialog.Job().Descriptor.LocalPath, L"C:\\Temp\\.._.._Users\\.._.._Windows_win.ini");
    EXPECT_EQ(runner.dialog.Job().Descriptor.PrimKey, L"..\\..\\Users") << "the request keeps the real key";
}

TEST_F(DownloadFileTest, DangerousFileOpensOnlyAfterYes) {
    El()[L"OnClickAction"] = L"open";
    El()[L"FileName"] = L"setup.exe";
    Download();
    EXPECT_EQ(shell.risks.size(), 1u);
    EXPECT_TRUE(shell.opened.empty());
    shell.confirmations = {true};
    Download();
    EXPECT_EQ(shell.opened, std::vector<std::wstring>{L"C:\\Temp\\4711\\setup.exe"});
}

TEST_F(DownloadFileTest, DangerousFileGoesIntoAPageNamedFolderOnlyAfterYes) {
    El()[L"OnClickAction"] = L"save";
    El()[L"OnClickEditMode"] = L"true";
    El()[L"LocalPath"] = L"C:\\Users\\me\\Startup";
    El()[L"PromptToCreateLocalPath"] = L"false";
    El()[L"FileName"] = L"run.js";
    EXPECT_EQ(Download(), 0);
    EXPECT_EQ(runner.runs, 0);
    ASSERT_EQ(shell.risks.size(), 1u);
    EXPECT_NE(shell.risks[0].find(L"C:\\Users\\me\\Startup"), std::wstring::npos);
    El()[L"FileName"] = L"notes.txt";
    Download();
    EXPECT_EQ(runner.runs, 1) << "documents go in as asked";
    EXPECT_EQ(runner.dialog.Job().Descriptor.LocalPath, L"C:\\Users\\me\\Startup\\notes.txt");
    EXPECT_EQ(shell.risks.size(), 1u);
}

TEST_F(DownloadFileTest, SizesBeyondThirtyTwoBitsTravelInFull) {
    El()[L"OnClickAction"] = L"open";
    El()[L"FileSize"] = L"6442450944";  // 6 GiB
    Download();
    EXPECT_EQ(runner.expected, 6442450944u);
    EXPECT_EQ(runner.dialog.Job().Descriptor.FileSize, 2147483648u) << "the slot keeps the low 32 bits";
    EXPECT_EQ(runner.dialog.Job().ProgressRange, 100u);
}

TEST_F(DownloadFileTest, MissingServerTimesLeaveTheArrivalTime) {
    El()[L"OnClickAction"] = L"open";
    El().erase(L"FileUpdated");
    Download();
    EXPECT_EQ(fs.File(temp)->times.lastWritten, 1u);
}

TEST_F(DownloadFileTest, ListSetUpSkipsMissingIdsAndSumsSizes) {
    page.elements[L"a"] = {{L"PrimKey", L"1"}, {L"ViewName", L"V"}, {L"FileName", L"a.doc"}, {L"FileSize", L"10"}};
    page.elements[L"c"] = {{L"PrimKey", L"3"}, {L"FileName", L"c.doc"}, {L"FileSize", L"3000000000"}};
    dialogs.folder = L"D:\\In";
    runner.outcome = {kEndOpenFolder, false, true};
    EXPECT_EQ(Download(L"a|missing||c"), 0);
    const TransferJob& job = runner.dialog.Job();
    EXPECT_EQ(job.Mode, TransferMode::MultiDownload);
    ASSERT_TRUE(job.FileList);
    EXPECT_EQ(*job.FileList, (std::vector<std::wstring>{L"D:\\In", L"1|a.doc|V|10", L"3|c.doc||3000000000"}));
    EXPECT_EQ(job.TotalBytes, 3000000010u);
    EXPECT_EQ(job.ProgressRange, 100u);
    ASSERT_EQ(runner.listed.size(), 2u);
    EXPECT_EQ(runner.listed[1].size, 3000000000u);
    EXPECT_EQ(shell.opened, std::vector<std::wstring>{L"D:\\In"});
    EXPECT_TRUE(scripts.calls.empty());
}

TEST_F(DownloadFileTest, AListedProgramIsSavedOnlyWhenTheUserAgrees) {
    page.elements[L"a"] = {{L"PrimKey", L"1"}, {L"FileName", L"a.doc"}, {L"FileSize", L"10"}};
    page.elements[L"b"] = {{L"PrimKey", L"2"}, {L"FileName", L"sub/setup.exe"}, {L"FileSize", L"20"}};
    page.elements[L"c"] = {{L"PrimKey", L"3"}, {L"FileName", L"tool.bat"}, {L"FileSize", L"30"}};
    dialogs.folder = L"D:\\In";
    shell.confirmations = {false, true};
    EXPECT_EQ(Download(L"a|b|c"), 0);
    ASSERT_EQ(shell.risks.size(), 2u);
    EXPECT_EQ(shell.risks[0], FolderRiskText(SafeComponent(L"sub/setup.exe"), L"D:\\In"));
    EXPECT_EQ(shell.risks[1], FolderRiskText(L"tool.bat", L"D:\\In"));
    const TransferJob& job = runner.dialog.Job();
    ASSERT_TRUE(job.FileList);
    EXPECT_EQ(*job.FileList, (std::vector<std::wstring>{L"D:\\In", L"1|a.doc||10", L"3|tool.bat||30"}));
    EXPECT_EQ(job.TotalBytes, 40u);
    ASSERT_EQ(runner.listed.size(), 2u);

    // Declining every file starts no download at all.
    shell.risks.clear();
    runner.runs = 0;
    EXPECT_EQ(Download(L"b|c"), 0);
    EXPECT_EQ(shell.risks.size(), 2u);
    EXPECT_EQ(runner.runs, 0);
}

}  // namespace
}  // namespace qm
