#include "upload/upload_operation.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/fake_code_page.h"
#include "support/fake_page_elements.h"
#include "support/fake_save_to_server_prompt.h"
#include "support/fake_send_confirmation.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_text.h"
#include "upload_rig.h"

namespace qm {
namespace {

using namespace qm::testing;

class UploadOperation : public ::testing::Test {
protected:
    UploadOperation() {
        page.elements[L"drop1"] = {{L"ViewName", L"Documents"},
                                   {L"AllowDrop", L"true"},
                                   {L"ExecuteScriptBeforeUpload", L"keys"},
                                   {L"ExecuteScriptAfterUpload", L"done"}};
        rig.AddFile(L"C:\\Data\\a.txt", Bytes(5000));
        rig.AddFile(L"C:\\Data\\b.txt", Bytes(3000));
        context.busy = &busy;
        context.codePage = &codePage;
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> n;
        for (const auto& c : rig.page.calls) n.push_back(c.name);
        return n;
    }

    UploadRig rig;
    FakePageElements page;
    FakeSettingsStore settings;
    FakeUploadRunner runner;
    FakeSaveToServerPrompt prompt;
    FakeSendConfirmation confirm;
    TrackedFileList tracked;
    bool busy = false;
    FakeSystemText system;
    Latin1CodePage codePage;
    UploadContext context{page,    rig.page, rig.dialogs, settings, rig.fs, runner, prompt, confirm, tracked,
                          [](const std::wstring& t) {
                              std::wstring s = t;
                              const auto at = s.find(L"%DOCS%");
                              if (at != std::wstring::npos) s.replace(at, 6, L"C:\\Users\\ann\\Docs");
                              return s;
                          },
                          0,       L"store.example", 8080, 0xA4400000u, &busy, &system};
};

TEST_F(UploadOperation, ChooserCancelIsStatusOneAndMultiSelectOnlyAllowsSeveral) {
    EXPECT_EQ(UploadFile(context, L"drop1", 0), 1);
    EXPECT_EQ(UploadFile(context, L"drop1", 7), 1);
    ASSERT_EQ(rig.dialogs.requests.size(), 2u);
    EXPECT_EQ(rig.dialogs.requests[0].flags & kChooserMultiSelect, 0u);
    EXPECT_NE(rig.dialogs.requests[1].flags & kChooserMultiSelect, 0u);
    EXPECT_TRUE(runner.runs.empty());
}

TEST_F(UploadOperation, ThreeChosenFilesStartOneJobAndRememberTheFirstFolder) {
    settings.values[kOpenFileLocation] = L"C:\\Start";
    rig.dialogs.confirm = true;
    rig.dialogs.result = std::wstring(L"C:\\Data\0a.txt\0b.txt\0c.txt\0\0", 28);
    EXPECT_EQ(UploadFile(context, L"drop1", 1), 0);
    ASSERT_FALSE(rig.dialogs.requests.empty());
    EXPECT_EQ(rig.dialogs.requests.at(0).initialFolder, L"C:\\Start");
    EXPECT_EQ(settings.values[kOpenFileLocation], L"C:\\Data");
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].fileList,
              (std::vector<std::wstring>{L"C:\\Data\\a.txt", L"C:\\Data\\b.txt", L"C:\\Data\\c.txt"}));
    EXPECT_EQ(runner.runs[0].totalBytes, 8000u);  // c.txt is not there and counts 0
    EXPECT_EQ(runner.runs[0].progressRange, 2u);
    EXPECT_EQ(runner.runs[0].mode, TransferMode::Upload);
    EXPECT_EQ(runner.runs[0].viewName, L"Documents");
}

TEST_F(UploadOperation, SetUpTableOfAttributes) {
    const std::vector<std::wstring> files{L"C:\\Data\\a.txt"};
    EXPECT_EQ(UploadSetup(context, L"nowhere", files), 0);
    page.elements[L"noView"] = {{L"AllowDrop", L"true"}, {L"ExecuteScriptBeforeUpload", L"k"}};
    EXPECT_EQ(UploadSetup(context, L"noView", files), 1);
    page.elements[L"noBefore"] = {{L"AllowDrop", L"true"}, {L"ViewName", L"V"}};
    EXPECT_EQ(UploadSetup(context, L"noBefore", files), 1);
    page.elements[L"noDrop"] = {{L"ViewName", L"V"}, {L"ExecuteScriptBeforeUpload", L"k"}};
    EXPECT_EQ(UploadSetup(context, L"noDrop", files), 0);
    page.elements[L"no"] = {{L"ViewName", L"V"}, {L"ExecuteScriptBeforeUpload", L"k"}, {L"AllowDrop", L"no"}};
    EXPECT_EQ(UploadSetup(context, L"no", files), 0);
    EXPECT_TRUE(runner.runs.empty());
    page.elements[L"upper"] = {{L"ViewName", L"V"}, {L"ExecuteScriptBeforeUpload", L"k"}, {L"AllowDrop", L"TRUE"}};
    EXPECT_EQ(UploadSetup(context, L"upper", files), 0);
    EXPECT_EQ(runner.runs.size(), 1u);
    EXPECT_TRUE(rig.dialogs.shown.empty());
    runner.throwOnRun = true;
    EXPECT_EQ(UploadSetup(context, L"upper", files), 0);
}

TEST_F(UploadOperation, OnceModeTableOfEarlyEnds) {
    page.elements[L"drop1"][L"ExecuteScriptOnce"] = L"True";
    EXPECT_EQ(UploadSetup(context, L"drop1", {L"C:\\Data\\none.txt"}), 0);  // no readable file
    EXPECT_TRUE(rig.page.calls.empty());

    page.elements[L"empty"] = {{L"ViewName", L"V"}, {L"ExecuteScriptBeforeUpload", L""}, {L"AllowDrop", L"true"},
                               {L"ExecuteScriptOnce", L"true"}};
    EXPECT_EQ(UploadSetup(context, L"empty", {L"C:\\Data\\a.txt"}), 0);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, L"ExecuteScriptBeforeUpload is empty.");

    rig.page.answers.push_back(std::nullopt);                   // raises
    rig.page.answers.push_back(ScriptValue::Boolean(true));     // not text
    rig.page.answers.push_back(ScriptValue::Text(L""));         // empty
    rig.page.answers.push_back(ScriptValue::Text(L"C:\\Data\\a.txt?-1"));  // nothing left to send
    for (int i = 0; i < 4; ++i) EXPECT_EQ(UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt"}), 0);
    ASSERT_EQ(rig.page.calls.size(), 4u);
    ASSERT_GE(rig.page.calls[0].arguments.size(), 2u);
    EXPECT_EQ(rig.page.calls[0].arguments.at(0), L"drop1");
    EXPECT_NE(rig.page.calls[0].arguments.at(1).find(L"a.txt?C:\\Data\\a.txt?5000?"), std::wstring::npos);
    EXPECT_TRUE(runner.runs.empty());
}

TEST_F(UploadOperation, OnceModeCountsOnlyKeyedFilesAndReportsTheResultList) {
    page.elements[L"drop1"][L"ExecuteScriptOnce"] = L"true";
    rig.page.answers.push_back(
        ScriptValue::Text(std::wstring(L"c:\\data\\A.TXT?-1|C:\\Data\\b.txt?") + kKeyB));
    runner.outcome.resultList = L"rec1";
    EXPECT_EQ(UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt", L"C:\\Data\\b.txt"}), 0);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].totalBytes, 3000u);
    EXPECT_EQ(runner.runs[0].executeScriptOnce, 1);
    EXPECT_EQ(runner.runs[0].fileList.size(), 2u);
    ASSERT_EQ(Names(), (std::vector<std::wstring>{L"keys", L"done"}));
    EXPECT_EQ(rig.page.calls[1].arguments, (std::vector<std::wstring>{L"drop1", L"rec1"}));
}

TEST_F(UploadOperation, OnceModeNeverTouchesAFileNobodyPicked) {
    page.elements[L"drop1"][L"ExecuteScriptOnce"] = L"true";
    rig.AddFile(L"C:\\Secret\\keys.txt", Bytes(100));
    rig.page.answers.push_back(ScriptValue::Text(std::wstring(L"C:\\Secret\\keys.txt?") + kKeyA + L"|C:\\Secret\\*?" +
                                                 kKeyA + L"|\\\\evil\\share\\x?" + kKeyA + L"|C:\\Data\\a.txt?" + kKeyB));
    EXPECT_EQ(UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt"}), 0);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].fileList, (std::vector<std::wstring>{std::wstring(L"C:\\Data\\a.txt?") + kKeyB}));
    EXPECT_EQ(runner.runs[0].totalBytes, 5000u);
    for (const auto& read : rig.fs.crcReads) EXPECT_EQ(read.find(L"Secret"), std::wstring::npos) << read;

    // Only nobody's files: nothing starts.
    rig.page.answers.push_back(ScriptValue::Text(std::wstring(L"C:\\Secret\\keys.txt?") + kKeyA));
    EXPECT_EQ(UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt"}), 0);
    EXPECT_EQ(runner.runs.size(), 1u);
}

TEST_F(UploadOperation, NoAfterUploadCallAfterACancel) {
    page.elements[L"drop1"][L"ExecuteScriptOnce"] = L"true";
    rig.page.answers.push_back(ScriptValue::Text(std::wstring(L"C:\\Data\\a.txt?") + kKeyA));
    runner.outcome.resultList = L"rec";
    runner.outcome.cancelled = true;
    UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt"});
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"keys"}));
}

TEST_F(UploadOperation, OnceModeEndToEndSendsOnlyTheKeyedFileAndTellsThePage) {
    page.elements[L"drop1"][L"ExecuteScriptOnce"] = L"true";
    rig.page.answers.push_back(ScriptValue::Text(std::wstring(L"C:\\Data\\a.txt?-1|C:\\Data\\b.txt?") + kKeyB));
    runner.worker = [this](FakeProgressDialog& d) { RunUploadJob(d, rig.services); };
    rig.Reply(StoredReply("ref-b"));
    EXPECT_EQ(UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt", L"C:\\Data\\b.txt"}), 0);
    ASSERT_EQ(rig.server.opened.size(), 1u);
    EXPECT_EQ(rig.server.opened[0]->body, Bytes(3000));
    ASSERT_EQ(Names(), (std::vector<std::wstring>{L"keys", L"done"}));
    ASSERT_GE(rig.page.calls[1].arguments.size(), 2u);
    ASSERT_GE(SplitText(rig.page.calls[1].arguments[1], L'?').size(), 2u);
    EXPECT_EQ(SplitText(rig.page.calls[1].arguments[1], L'?').at(1), L"ref-b");
}

// The header's size field has 32 bits: a longer file is refused, named, before anything is read or sent.
TEST_F(UploadOperation, AFileOfFourGigabytesOrMoreIsRefusedBeforeAnythingIsRead) {
    for (std::uint64_t size : {0x1'0000'0000ull, 0x1'0000'0005ull}) {
        rig.fs.AddFile(L"C:\\Data\\huge.iso", size);
        rig.dialogs.shown.clear();
        UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt", L"C:\\Data\\huge.iso"});
        EXPECT_TRUE(runner.runs.empty()) << size;
        EXPECT_TRUE(rig.page.calls.empty()) << size;
        EXPECT_TRUE(rig.fs.crcReads.empty()) << size;
        ASSERT_EQ(rig.dialogs.shown.size(), 1u) << size;
        EXPECT_EQ(rig.dialogs.shown[0].text, TooLargeText(L"C:\\Data\\huge.iso"));
    }
}

TEST_F(UploadOperation, OnceModeRefusesAKeyedFileOfFourGigabytesButNotASkippedOne) {
    page.elements[L"drop1"][L"ExecuteScriptOnce"] = L"true";
    rig.fs.AddFile(L"C:\\Data\\huge.iso", 0x1'0000'0000ull);
    rig.page.answers.push_back(ScriptValue::Text(L"C:\\Data\\a.txt?k1|C:\\Data\\huge.iso?k2"));
    UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt", L"C:\\Data\\huge.iso"});
    EXPECT_TRUE(runner.runs.empty());
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, TooLargeText(L"C:\\Data\\huge.iso"));
    rig.page.answers.push_back(ScriptValue::Text(L"C:\\Data\\a.txt?k1|C:\\Data\\huge.iso?-1"));
    UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt", L"C:\\Data\\huge.iso"});
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].totalBytes, 5000u);
}

// The header's name field holds 192 bytes: a longer name is refused, named, before the page is asked or anything
// is read; the bytes are counted in the encoding the element asks for.
TEST_F(UploadOperation, ANameTheHeaderCannotHoldIsRefusedBeforeThePageIsAsked) {
    const std::wstring longName(193, L'n');
    rig.AddFile(L"C:\\Data\\" + longName, Bytes(10));
    for (const wchar_t* once : {L"false", L"true"}) {
        page.elements[L"drop1"][L"ExecuteScriptOnce"] = once;
        rig.dialogs.shown.clear();
        EXPECT_EQ(UploadSetup(context, L"drop1", {L"C:\\Data\\a.txt", L"C:\\Data\\" + longName}), 0);
        EXPECT_TRUE(runner.runs.empty()) << once;
        EXPECT_TRUE(rig.page.calls.empty()) << once;
        EXPECT_TRUE(rig.fs.crcReads.empty()) << once;
        ASSERT_EQ(rig.dialogs.shown.size(), 1u) << once;
        EXPECT_NE(rig.dialogs.shown[0].text.find(L"\"" + longName + L"\""), std::wstring::npos);
        EXPECT_NE(rig.dialogs.shown[0].text.find(L"Nothing was sent."), std::wstring::npos);
    }
}

TEST_F(UploadOperation, TheUtf8OptInReachesTheJobAndCountsTheNameInUtf8) {
    const std::wstring cyrillic(100, L'\u0436');  // 100 bytes as "?", 200 in UTF-8
    rig.AddFile(L"C:\\Data\\" + cyrillic, Bytes(10));
    const std::wstring shortName = L"\u041e\u0442\u0447\u0451\u0442 \u6771\u4eac.txt";
    rig.AddFile(L"C:\\Data\\" + shortName, Bytes(20));

    UploadSetup(context, L"drop1", {L"C:\\Data\\" + cyrillic});
    ASSERT_EQ(runner.runs.size(), 1u) << "without the attribute the code-page form fits";
    EXPECT_EQ(runner.runs[0].fileNameUtf8, 0);

    page.elements[L"drop1"][L"FileNameEncoding"] = L"UTF-8";
    UploadSetup(context, L"drop1", {L"C:\\Data\\" + cyrillic});
    EXPECT_EQ(runner.runs.size(), 1u) << "in UTF-8 the same name is too long";
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_NE(rig.dialogs.shown[0].text.find(L"200 bytes in UTF-8"), std::wstring::npos);

    UploadSetup(context, L"drop1", {L"C:\\Data\\" + shortName});
    ASSERT_EQ(runner.runs.size(), 2u);
    EXPECT_EQ(runner.runs[1].fileNameUtf8, 1);

    page.elements[L"drop1"][L"FileNameEncoding"] = L"latin-1";
    UploadSetup(context, L"drop1", {L"C:\\Data\\" + shortName});
    ASSERT_EQ(runner.runs.size(), 3u);
    EXPECT_EQ(runner.runs[2].fileNameUtf8, 0) << "only UTF-8 changes the wire";
}

// Two files of 3 GiB each are 6 GiB in all, not 2.
TEST_F(UploadOperation, SizesOfSeveralFilesAddUpBeyondFourGigabytes) {
    rig.fs.AddFile(L"C:\\Data\\x.iso", 3ull << 30);
    rig.fs.AddFile(L"C:\\Data\\y.iso", 3ull << 30);
    UploadSetup(context, L"drop1", {L"C:\\Data\\x.iso", L"C:\\Data\\y.iso"});
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].totalBytes, 6ull << 30);
    EXPECT_EQ(runner.runs[0].progressRange, 100u);
}

class UpdateFileOperation : public UploadOperation {
protected:
    UpdateFileOperation() {
        page.elements[L"f1"] = {{L"ViewName", L"Documents"},     {L"FileUploadViewName", L"Uploads"},
                                {L"PrimKey", L"pk-1"},           {L"FileName", L"Plan.doc"},
                                {L"ExecuteScriptBeforeUpload", L"before"}, {L"ExecuteScriptAfterUpload", L"after"}};
        rig.fs.AddFolder(L"C:\\Temp\\pk-1");
        rig.AddFile(kCopy, Bytes(250 * 4096));
        TrackEditedFile(tracked, rig.fs, kCopy, L"Plan.doc", L"pk-1", L"f1", L"Documents", L"Uploads", L"before",
                        L"after");
        settings.values[kSaveFileLocation] = L"C:\\Saved";
    }
    static constexpr const wchar_t* kCopy = L"C:\\Temp\\pk-1\\Plan.doc";
};

TEST_F(UpdateFileOperation, MissingElementIsToldAndBusyIsClearedOnEveryEnd) {
    EXPECT_EQ(UpdateFile(context, L"nope", 10001), 1);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown.at(0).text, L"Control with id 'nope' does not exist in the document.");
    EXPECT_FALSE(busy);
    rig.fs = FakeFileSystem();  // the copy is gone
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);
    ASSERT_EQ(rig.dialogs.shown.size(), 2u);
    EXPECT_EQ(rig.dialogs.shown.at(1).text, kFileMissingText);
    EXPECT_FALSE(busy);
}

TEST_F(UpdateFileOperation, TheControlsOwnCopyIsSentWithoutQuestionsAndReported) {
    rig.page.answers.push_back(ScriptValue::Text(L""));  // before: empty keeps the element's key
    runner.worker = [this](FakeProgressDialog& d) {
        EXPECT_TRUE(busy);
        RunUploadJob(d, rig.services);
    };
    rig.Reply(StoredReply("ref-9"));
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    EXPECT_TRUE(confirm.asked.empty());
    EXPECT_TRUE(rig.dialogs.requests.empty());
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].mode, TransferMode::ReUpload);
    EXPECT_EQ(runner.runs[0].progressRange, 100u);
    EXPECT_EQ(runner.runs[0].descriptor.IsUpdate, 1);
    ASSERT_EQ(rig.server.opened.size(), 1u);
    EXPECT_EQ(Header(*rig.server.opened.at(0), L"vm_PrimKey :"), L"pk-1");
    EXPECT_EQ(Header(*rig.server.opened.at(0), L"vm_ViewName :"), L"Uploads");
    ASSERT_EQ(Names(), (std::vector<std::wstring>{L"before", L"after"}));
    const auto& before = rig.page.calls[0].arguments;
    ASSERT_GE(before.size(), 4u);
    EXPECT_EQ(before.at(0), L"f1");
    EXPECT_EQ(before.at(1), L"Plan.doc");
    EXPECT_EQ(before.at(3), std::to_wstring(250 * 4096));
    const auto& report = rig.page.calls[1].arguments;
    ASSERT_GE(report.size(), 5u);
    EXPECT_EQ(report.at(1), L"ref-9");
    EXPECT_EQ(report.at(4), L"false");
    EXPECT_FALSE(busy);
}

TEST_F(UpdateFileOperation, BeforeUploadKeyReplacesTheKeyButNoReportWithoutSuccess) {
    rig.page.answers.push_back(ScriptValue::Text(kKeyC));
    runner.outcome.succeeded = false;
    UpdateFile(context, L"f1", 10001);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs.at(0).descriptor.PrimKey, kKeyC);
    EXPECT_EQ(runner.runs.at(0).descriptor.RecordKey, L"pk-1");
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"before"}));
    runner.outcome.succeeded = true;
    runner.outcome.cancelled = true;
    UpdateFile(context, L"f1", 10001);
    EXPECT_EQ(Names().size(), 2u);  // another before call, still no report
}

TEST_F(UpdateFileOperation, ChooserCodes) {
    // 10003 always asks; cancelling it ends with status 1.
    EXPECT_EQ(UpdateFile(context, L"f1", 10003), 1);
    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(rig.dialogs.requests[0].initialFolder, L"C:\\Saved");
    EXPECT_EQ(rig.dialogs.requests[0].flags & kChooserMultiSelect, 0u);
    // 10002 with the copy present: no chooser.
    EXPECT_EQ(UpdateFile(context, L"f1", 10002), 0);
    EXPECT_EQ(rig.dialogs.requests.size(), 1u);
    // 10002 with the copy absent: the chooser, and the chosen file is sent without a question.
    rig.fs = FakeFileSystem();
    rig.AddFile(L"D:\\Mine\\Other.doc", Bytes(10));
    rig.dialogs.result = std::wstring(L"D:\\Mine\\Other.doc\0\0", 19);
    EXPECT_EQ(UpdateFile(context, L"f1", 10002), 0);
    EXPECT_EQ(rig.dialogs.requests.size(), 2u);
    ASSERT_FALSE(runner.runs.empty());
    EXPECT_EQ(runner.runs.back().descriptor.LocalPath, L"D:\\Mine\\Other.doc");
    EXPECT_TRUE(confirm.asked.empty());
    EXPECT_EQ(settings.values[kSaveFileLocation], L"C:\\Saved");
}

TEST_F(UpdateFileOperation, APageNamedFolderIsExpandedTrimmedAndConfirmed) {
    page.elements[L"f1"][L"LocalPath"] = L"%DOCS%\\Work ";
    rig.AddFile(L"C:\\Users\\ann\\Docs\\Work\\Plan.doc", Bytes(10));
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);  // the user says No
    ASSERT_EQ(confirm.asked.size(), 1u);
    EXPECT_NE(confirm.asked[0].find(L"C:\\Users\\ann\\Docs\\Work\\Plan.doc"), std::wstring::npos);
    EXPECT_NE(confirm.asked[0].find(L"store.example"), std::wstring::npos);
    EXPECT_TRUE(runner.runs.empty());
    EXPECT_TRUE(rig.fs.crcReads.empty());
    confirm.answers.push_back(true);
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs.at(0).descriptor.LocalPath, L"C:\\Users\\ann\\Docs\\Work\\Plan.doc");
}

// Attribute values pasted into a page often carry blanks and line ends around them.
TEST_F(UpdateFileOperation, BlanksAndLineEndsAroundAPageNamedFolderAreIgnored) {
    page.elements[L"f1"][L"LocalPath"] = L" \t%DOCS%\\Work \t\r\n";
    rig.AddFile(L"C:\\Users\\ann\\Docs\\Work\\Plan.doc", Bytes(10));
    confirm.answers.push_back(true);
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    ASSERT_EQ(confirm.asked.size(), 1u);
    EXPECT_NE(confirm.asked[0].find(L"\"C:\\Users\\ann\\Docs\\Work\\Plan.doc\""), std::wstring::npos) << confirm.asked[0];
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].descriptor.LocalPath, L"C:\\Users\\ann\\Docs\\Work\\Plan.doc");
}

TEST_F(UpdateFileOperation, ANameThatClimbsOutOfTheWorkingFolderNamesAFileInsideIt) {
    rig.AddFile(L"C:\\Windows\\win.ini", Bytes(10));
    page.elements[L"f1"][L"FileName"] = L"..\\..\\Windows\\win.ini";
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);
    EXPECT_TRUE(runner.runs.empty());
    ASSERT_FALSE(rig.dialogs.shown.empty());
    EXPECT_EQ(rig.dialogs.shown.back().text, kFileMissingText);
}

// Once a copy is tracked in the working folder, a name written with "/" must not reach a file of the user's.
TEST_F(UpdateFileOperation, ANameWithSlashesStaysInTheWorkingFolder) {
    rig.AddFile(L"C:\\Users\\ann\\Documents\\secret.txt", Bytes(77));
    for (const wchar_t* name : {L"../../Users/ann/Documents/secret.txt", L"..\\../Users/ann/Documents/secret.txt"}) {
        page.elements[L"f1"][L"FileName"] = name;
        UpdateFile(context, L"f1", 10001);
        for (const auto& run : runner.runs) EXPECT_EQ(run.descriptor.LocalPath.find(L"secret"), std::wstring::npos) << name;
        for (const auto& read : rig.fs.crcReads) EXPECT_EQ(read.find(L"secret"), std::wstring::npos) << name;
    }
}

// A wildcard would make the search tell the page a name and a size of a file it never had.
TEST_F(UpdateFileOperation, AWildcardNameListsNothing) {
    rig.AddFile(L"C:\\Temp\\pk-1\\Salary.xls", Bytes(123));
    for (const wchar_t* name : {L"S*", L"Sal?ry.xls", L"*"}) {
        page.elements[L"f1"][L"FileName"] = name;
        rig.page.calls.clear();
        UpdateFile(context, L"f1", 10001);
        for (const auto& call : rig.page.calls)
            for (const auto& argument : call.arguments) EXPECT_EQ(argument.find(L"Salary"), std::wstring::npos) << name;
        for (const auto& run : runner.runs) EXPECT_EQ(run.descriptor.LocalPath.find(L"Salary"), std::wstring::npos);
    }
}

// Another folder of the temporary folder is not this record's working folder, even with a tracked copy beside.
TEST_F(UpdateFileOperation, AFileElsewhereInTheTemporaryFolderIsAskedAbout) {
    rig.AddFile(L"C:\\Temp\\pk-2\\Other.doc", Bytes(10));
    TrackEditedFile(tracked, rig.fs, L"C:\\Temp\\pk-2\\Plan.doc", L"Plan2.doc", L"pk-2", L"f2", L"Documents",
                    L"Uploads", L"", L"");
    page.elements[L"f1"][L"LocalPath"] = L"C:\\Temp\\pk-2";
    page.elements[L"f1"][L"FileName"] = L"Other.doc";
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);
    EXPECT_EQ(confirm.asked.size(), 1u);
    EXPECT_TRUE(runner.runs.empty());
    EXPECT_TRUE(rig.fs.crcReads.empty());
}

// The download put the copy of key "dept/42" into the folder "dept_42": that is where it is looked for.
TEST_F(UpdateFileOperation, AKeyUnsafeInNamesFindsTheCopyWhereTheDownloadPutIt) {
    page.elements[L"f1"][L"PrimKey"] = L"dept/42";
    const std::wstring copy = L"C:\\Temp\\dept_42\\Plan.doc";
    rig.AddFile(copy, Bytes(10));
    TrackEditedFile(tracked, rig.fs, copy, L"Plan.doc", L"dept/42", L"f1", L"Documents", L"Uploads", L"", L"");
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    EXPECT_TRUE(confirm.asked.empty());
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].descriptor.LocalPath, copy);
}

// A copy this control wrote into a folder the page named is its own; the file beside it is not.
TEST_F(UpdateFileOperation, OnlyTheCopyTheControlWroteInAPageNamedFolderGoesWithoutAQuestion) {
    page.elements[L"f1"][L"LocalPath"] = L"C:\\Work";
    rig.AddFile(L"C:\\Work\\Plan.doc", Bytes(10));
    rig.AddFile(L"C:\\Work\\secret.txt", Bytes(10));
    tracked.RememberOwnCopy(L"C:/Work/./Plan.doc", rig.fs);
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    EXPECT_TRUE(confirm.asked.empty());
    page.elements[L"f1"][L"FileName"] = L"secret.txt";
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);
    EXPECT_EQ(confirm.asked.size(), 1u);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].descriptor.LocalPath, L"C:\\Work\\Plan.doc");

    // Another file put where the control's copy was is not the control's.
    page.elements[L"f1"][L"FileName"] = L"Plan.doc";
    rig.fs.RemoveFile(L"C:\\Work\\Plan.doc");
    rig.AddFile(L"C:\\Work\\Plan.doc", Bytes(10));
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);
    ASSERT_EQ(confirm.asked.size(), 2u);
    EXPECT_NE(confirm.asked[1].find(L"C:\\Work\\Plan.doc"), std::wstring::npos);
}

TEST_F(UpdateFileOperation, AnEditedCopyOfFourGigabytesIsRefusedBeforeItIsRead) {
    rig.fs.AddFile(kCopy, 0x1'0000'0000ull);
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);
    EXPECT_TRUE(runner.runs.empty());
    EXPECT_TRUE(rig.fs.crcReads.empty());
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].text, TooLargeText(kCopy));
}

// The copy was made from the stored copy of 2020-02-02; the page shows the stored copy changed since.
class NewerStoredCopy : public UpdateFileOperation {
protected:
    NewerStoredCopy() {
        system.dates[L"2020-02-02 12:00:00"] = FileTimeToCalendar(kBase);
        system.dates[L"2020-02-03 12:00:00"] = FileTimeToCalendar(kBase + 86400ull * 10'000'000);
        tracked.RememberOwnCopy(kCopy, rig.fs, {L"Documents", L"pk-1", kBase});
        page.elements[L"f1"][L"FileUpdated"] = L"2020-02-03 12:00:00";
    }
    static constexpr FileTime kBase = 132'500'000'000'000'000;
};

TEST_F(NewerStoredCopy, UpdateFileSaysSoAndNoSendsNothing) {
    rig.dialogs.answers = {Answer::No};
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    ASSERT_EQ(rig.dialogs.asked.size(), 1u);
    EXPECT_EQ(rig.dialogs.asked[0], ServerChangedText(kCopy, L"store.example"));
    EXPECT_TRUE(runner.runs.empty());
    rig.dialogs.answers = {Answer::Yes};
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    EXPECT_EQ(runner.runs.size(), 1u);
}

TEST_F(NewerStoredCopy, AStoredCopyNotNewerOrADateThatDoesNotParseSendsWithoutTheQuestion) {
    for (const wchar_t* shown : {L"2020-02-02 12:00:00", L"not a date", L""}) {
        page.elements[L"f1"][L"FileUpdated"] = shown;
        UpdateFile(context, L"f1", 10001);
    }
    EXPECT_TRUE(rig.dialogs.asked.empty());
    EXPECT_EQ(runner.runs.size(), 3u);
}

TEST_F(NewerStoredCopy, TheWalkSaysSoAfterSaveAndNoKeepsTheCopyWaiting) {
    rig.fs.AddFile(kCopy, 250 * 4096).times.lastWritten = 5;
    prompt.answers = {kSaveToServerSave};
    rig.dialogs.answers = {Answer::No};
    ProcessLockedFiles(context);
    EXPECT_EQ(rig.dialogs.asked.size(), 1u);
    EXPECT_TRUE(runner.runs.empty());
    ASSERT_EQ(tracked.Size(), 1u);
    EXPECT_EQ(tracked.Items().front()->State, TrackedState::Waiting);
    rig.fs.AddFile(kCopy, 250 * 4096).times.lastWritten = 6;
    prompt.answers = {kSaveToServerSave};
    rig.dialogs.answers = {Answer::Yes};
    rig.page.answers.push_back(ScriptValue::Text(kKeyB));
    ProcessLockedFiles(context);
    EXPECT_EQ(runner.runs.size(), 1u);
}

TEST_F(UpdateFileOperation, TheEditedCopyIsSentBackInTheNameEncodingTheElementAsksFor) {
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    page.elements[L"f1"][L"FileNameEncoding"] = L"utf-8";
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 0);
    ASSERT_EQ(runner.runs.size(), 2u);
    EXPECT_EQ(runner.runs[0].descriptor.FileNameUtf8, 0);
    EXPECT_EQ(runner.runs[1].descriptor.FileNameUtf8, 1);

    const std::wstring longName = std::wstring(190, L'p') + L".doc";
    page.elements[L"f1"][L"FileName"] = longName;
    rig.AddFile(L"C:\\Temp\\pk-1\\" + longName, Bytes(10));
    EXPECT_EQ(UpdateFile(context, L"f1", 10001), 1);
    EXPECT_EQ(runner.runs.size(), 2u);
    ASSERT_FALSE(rig.dialogs.shown.empty());
    EXPECT_NE(rig.dialogs.shown.back().text.find(longName), std::wstring::npos);
}

class TrackedWalk : public UpdateFileOperation {
protected:
    TrackedFile& Entry() {
        if (tracked.Items().empty()) throw std::logic_error("no tracked entry");  // a failure, not a crash
        return *tracked.Items().front();
    }
    void Change(FileTime t) { rig.fs.AddFile(kCopy, 250 * 4096).times.lastWritten = t; }
};

// An entry kept past the journal's time is offered one last time; it goes whatever the answer.
TEST_F(TrackedWalk, AStaleCopyIsOfferedOnceOrLetGoWhenUnchanged) {
    Entry().Stale = true;
    ProcessLockedFiles(context);
    EXPECT_TRUE(prompt.shown.empty()) << "nothing new in it: nobody is asked";
    EXPECT_EQ(Entry().State, TrackedState::Sent);
    EXPECT_TRUE(tracked.WasSent(kCopy));

    tracked.Items().clear();
    TrackEditedFile(tracked, rig.fs, kCopy, L"Plan.doc", L"pk-1", L"f1", L"Documents", L"Uploads", L"before", L"after");
    Entry().Stale = true;
    Change(5);
    prompt.answers = {2};
    ProcessLockedFiles(context);
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(Entry().State, TrackedState::Sent) << "asked once, then let go";
    EXPECT_TRUE(runner.runs.empty());
    ProcessLockedFiles(context);
    EXPECT_EQ(tracked.Size(), 0u);
    EXPECT_EQ(prompt.shown.size(), 1u);
}

TEST_F(TrackedWalk, NothingWhileUpdateFileRuns) {
    Change(5);
    busy = true;
    ProcessLockedFiles(context);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(Entry().State, TrackedState::Waiting);
}

TEST_F(TrackedWalk, InUseOrUnchangedCopiesAreNotOffered) {
    ProcessLockedFiles(context);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(Entry().State, TrackedState::Waiting);
    Change(5);
    rig.fs.AddFile(kCopy, 10).open = ExclusiveOpenResult::SharingViolation;
    ProcessLockedFiles(context);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(Entry().State, TrackedState::Waiting);
}

TEST_F(TrackedWalk, CancelAsksAgainOnlyAfterTheNextChange) {
    Change(5);
    ProcessLockedFiles(context);
    EXPECT_EQ(prompt.shown, (std::vector<std::wstring>{L"Plan.doc"}));
    EXPECT_EQ(Entry().State, TrackedState::Waiting);
    EXPECT_EQ(Entry().LastWriteTime, 5u);
    ProcessLockedFiles(context);
    EXPECT_EQ(prompt.shown.size(), 1u);
    Change(6);
    ProcessLockedFiles(context);
    EXPECT_EQ(prompt.shown.size(), 2u);
    EXPECT_TRUE(runner.runs.empty());
}

TEST_F(TrackedWalk, SaveSendsTheCopyAndTheNextWalkDropsTheEntry) {
    Change(5);
    prompt.answers.push_back(kSaveToServerSave);
    rig.page.answers.push_back(ScriptValue::Text(kKeyB));  // before: a well-formed key
    runner.outcome.succeeded = true;
    runner.outcome.descriptor.FileRef = L"ref-5";
    runner.outcome.descriptor.AfterUploadScript = L"after";
    runner.outcome.descriptor.LocalPath = kCopy;
    ProcessLockedFiles(context);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].mode, TransferMode::ReUpload);
    EXPECT_EQ(runner.runs[0].progressRange, 100u);  // 250 blocks
    EXPECT_EQ(runner.runs[0].descriptor.PrimKey, kKeyB);
    EXPECT_EQ(runner.runs[0].descriptor.RecordKey, kKeyB);
    EXPECT_EQ(runner.runs[0].descriptor.UploadViewName, L"Uploads");
    EXPECT_EQ(runner.runs[0].descriptor.IsUpdate, 0);
    ASSERT_EQ(Names(), (std::vector<std::wstring>{L"before", L"after"}));
    ASSERT_GE(rig.page.calls[1].arguments.size(), 5u);
    EXPECT_EQ(rig.page.calls[1].arguments.at(1), L"ref-5");
    EXPECT_EQ(rig.page.calls[1].arguments.at(4), L"false") << "the page hears of a new upload, not an update";
    EXPECT_EQ(tracked.Size(), 1u);
    EXPECT_EQ(Entry().State, TrackedState::Sent);
    ProcessLockedFiles(context);
    EXPECT_EQ(tracked.Size(), 0u);
}

TEST_F(TrackedWalk, ARefusedKeyLeavesTheEntryCheckingAndSilent) {
    Change(5);
    prompt.answers.push_back(kSaveToServerSave);
    rig.page.answers.push_back(ScriptValue::Text(L"not a key"));
    ProcessLockedFiles(context);
    EXPECT_TRUE(runner.runs.empty());
    EXPECT_EQ(Entry().State, TrackedState::Checking);
    Change(6);
    ProcessLockedFiles(context);
    EXPECT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(tracked.Size(), 1u);
    EXPECT_TRUE(rig.dialogs.shown.empty());
}

TEST_F(TrackedWalk, AFailingBeforeCallKeepsTheEntrysKeyAndFortyBlocksGiveFortySteps) {
    rig.fs.AddFile(kCopy, 40 * 4096).times.lastWritten = 9;
    prompt.answers.push_back(kSaveToServerSave);
    rig.page.answers.push_back(std::nullopt);
    ProcessLockedFiles(context);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].descriptor.PrimKey, L"pk-1");
    EXPECT_EQ(runner.runs[0].progressRange, 40u);
}

TEST_F(TrackedWalk, AnErrorPutsTheEntryBackAndIsShown) {
    Change(5);
    prompt.answers.push_back(kSaveToServerSave);
    rig.page.answers.push_back(ScriptValue::Text(kKeyB));
    runner.throwOnRun = true;
    ProcessLockedFiles(context);
    EXPECT_EQ(Entry().State, TrackedState::Waiting);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
}

// Not only the control's own errors: anything that stops the send is shown, in a box of its own (there is no
// window of the control to own it), and the copy is offered again after its next change.
TEST_F(TrackedWalk, AnUnexpectedFailureIsShownWithoutOwnerAndPutsTheEntryBack) {
    Change(5);
    prompt.answers.push_back(kSaveToServerSave);
    rig.page.answers.push_back(ScriptValue::Text(kKeyB));
    runner.worker = [](FakeProgressDialog&) { throw std::runtime_error("resource exhausted"); };
    ProcessLockedFiles(context);
    EXPECT_EQ(Entry().State, TrackedState::Waiting);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u);
    EXPECT_EQ(rig.dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(rig.dialogs.shown[0].owner, 0u);
    EXPECT_NE(rig.dialogs.shown[0].text.find(L"resource exhausted"), std::wstring::npos);
}

TEST_F(TrackedWalk, ADeletedCopyIsNotOffered) {
    rig.fs = FakeFileSystem();
    ProcessLockedFiles(context);
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(Entry().State, TrackedState::Waiting);
}

}  // namespace
}  // namespace qm
