#include "localfiles/tracked_files.h"

#include <gtest/gtest.h>

#include "support/fake_file_system.h"

namespace qm {
namespace {

using testing::FakeFile;
using testing::FakeFileSystem;

TrackedFile& Track(TrackedFileList& list, FakeFileSystem& fs, const std::wstring& path, const std::wstring& name,
                   const std::wstring& key = L"K1") {
    return TrackEditedFile(list, fs, path, name, key, L"el1", L"Docs", L"DocsUp", L"before", L"after");
}

TEST(TrackEditedFile, RecordsTheEightTextsAndTheCopysTimeInWaitingState) {
    FakeFileSystem fs;
    fs.AddFile(L"C:\\Temp\\K1\\Plan.doc", 10).times = {111, 222};
    TrackedFileList list;
    TrackEditedFile(list, fs, L"C:\\Temp\\K1\\Plan.doc", L"Plan.doc", L"K1", L"el1", L"Docs", L"DocsUp", L"before",
                    L"after");
    ASSERT_EQ(list.Size(), 1u);
    const TrackedFile& e = *list.Items().front();
    EXPECT_EQ(e.LocalPath, L"C:\\Temp\\K1\\Plan.doc");
    EXPECT_EQ(e.FileName, L"Plan.doc");
    EXPECT_EQ(e.PrimKey, L"K1");
    EXPECT_EQ(e.ElementId, L"el1");
    EXPECT_EQ(e.ViewName, L"Docs");
    EXPECT_EQ(e.UploadViewName, L"DocsUp");
    EXPECT_EQ(e.BeforeUploadScript, L"before");
    EXPECT_EQ(e.AfterUploadScript, L"after");
    EXPECT_EQ(e.LastWriteTime, 222u);
    EXPECT_EQ(e.State, TrackedState::Waiting);
    EXPECT_EQ(static_cast<int>(TrackedState::Waiting), 201);
    EXPECT_EQ(static_cast<int>(TrackedState::Sent), 202);
    EXPECT_EQ(static_cast<int>(TrackedState::Checking), 203);
}

TEST(TrackEditedFile, TwoRecordsWithFilesOfOneNameKeepAnEntryEach) {
    FakeFileSystem fs;
    fs.AddFile(L"C:\\A\\Report.doc", 1).times = {1, 5};
    fs.AddFile(L"C:\\B\\report.DOC", 1).times = {1, 9};
    TrackedFileList list;
    Track(list, fs, L"C:\\A\\Report.doc", L"Report.doc", L"K1");
    Track(list, fs, L"C:\\B\\report.DOC", L"report.DOC", L"K2");
    ASSERT_EQ(list.Size(), 2u) << "the first record's edits must still be offered";
    EXPECT_EQ(list.Items().front()->PrimKey, L"K2");
    EXPECT_EQ(list.Items().back()->PrimKey, L"K1");
}

TEST(TrackEditedFile, ANewCopyOfOneRecordOrOfOneFileReplacesItsEntry) {
    FakeFileSystem fs;
    fs.AddFile(L"C:\\A\\Report.doc", 1).times = {1, 5};
    fs.AddFile(L"C:\\B\\Renamed.doc", 1).times = {1, 9};
    TrackedFileList list;
    Track(list, fs, L"C:\\A\\Report.doc", L"Report.doc", L"K1");
    Track(list, fs, L"C:\\B\\Renamed.doc", L"Renamed.doc", L"k1");
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.Items().front()->LocalPath, L"C:\\B\\Renamed.doc");
    Track(list, fs, L"c:/b/./renamed.doc", L"Renamed.doc", L"K3");
    ASSERT_EQ(list.Size(), 1u) << "one file has one entry";
    EXPECT_EQ(list.Items().front()->PrimKey, L"K3");
}

TEST(TrackedFileList, EditsAreTheControlsCopyChangedSinceItWasWrittenOrSent) {
    FakeFileSystem fs;
    fs.AddFile(L"C:\\A\\Plan.doc", 1).times = {1, 50};
    TrackedFileList list;
    EXPECT_FALSE(list.UnsentEdits(L"C:\\A\\Plan.doc", fs)) << "not the control's";
    list.RememberOwnCopy(L"C:\\A\\Plan.doc", fs, {L"Docs", L"K1", 40});
    EXPECT_FALSE(list.UnsentEdits(L"C:\\A\\Plan.doc", fs));
    fs.AddFile(L"C:\\A\\Plan.doc", 2).times = {1, 60};
    const auto edits = list.UnsentEdits(L"c:\\a\\PLAN.doc", fs);
    ASSERT_TRUE(edits);
    EXPECT_EQ(edits->PrimKey, L"K1");
    EXPECT_EQ(edits->ServerUpdated, 40u);
    // Saved the way editors save, as a new file: still the user's edits.
    fs.RemoveFile(L"C:\\A\\Plan.doc");
    fs.AddFile(L"C:\\A\\Plan.doc", 2).times = {1, 70};
    EXPECT_TRUE(list.UnsentEdits(L"C:\\A\\Plan.doc", fs));
    list.MarkSent(L"C:\\A\\Plan.doc", fs);
    EXPECT_FALSE(list.UnsentEdits(L"C:\\A\\Plan.doc", fs));
    fs.AddFile(L"C:\\A\\Plan.doc", 2).times = {1, 80};
    ASSERT_TRUE(list.UnsentEdits(L"C:\\A\\Plan.doc", fs));
    EXPECT_EQ(list.UnsentEdits(L"C:\\A\\Plan.doc", fs)->ServerUpdated, 0u) << "the server's time is not known";
    fs.RemoveFile(L"C:\\A\\Plan.doc");
    EXPECT_FALSE(list.UnsentEdits(L"C:\\A\\Plan.doc", fs)) << "a deleted copy has nothing to lose";
}

TEST(TrackEditedFile, NewestEntryComesFirstAndOthersStay) {
    FakeFileSystem fs;
    fs.AddFile(L"C:\\A\\a.doc", 1);
    fs.AddFile(L"C:\\A\\b.doc", 1);
    TrackedFileList list;
    Track(list, fs, L"C:\\A\\a.doc", L"a.doc", L"K1");
    Track(list, fs, L"C:\\A\\b.doc", L"b.doc", L"K2");
    ASSERT_EQ(list.Size(), 2u);
    EXPECT_EQ(list.Items().front()->FileName, L"b.doc");
    EXPECT_EQ(list.Items().back()->FileName, L"a.doc");
    EXPECT_EQ(list.Find(L"B.DOC"), list.Items().front().get());
    EXPECT_EQ(list.Find(L"c.doc"), nullptr);
}

TEST(TrackEditedFile, UnreadableTimeIsRecordedAsZero) {
    FakeFileSystem fs;
    FakeFile& f = fs.AddFile(L"C:\\A\\held.doc", 1);
    f.times = {3, 4};
    f.timesReadable = false;
    TrackedFileList list;
    EXPECT_EQ(Track(list, fs, L"C:\\A\\held.doc", L"held.doc", L"K1").LastWriteTime, 0u);
    EXPECT_EQ(Track(list, fs, L"C:\\A\\gone.doc", L"gone.doc", L"K2").LastWriteTime, 0u);
}

TEST(TrackedFileList, RemoveNamedTakesEveryMatchAndCountsThem) {
    FakeFileSystem fs;
    TrackedFileList list;
    Track(list, fs, L"C:\\A\\x.doc", L"x.doc", L"K1");
    Track(list, fs, L"C:\\A\\y.doc", L"y.doc", L"K2");
    // A walk may hand in entries made elsewhere; both X entries go.
    auto extra = std::make_unique<TrackedFile>();
    extra->FileName = L"X.DOC";
    list.PushFront(std::move(extra));
    EXPECT_EQ(list.RemoveNamed(L"x.Doc"), 2u);
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.Items().front()->FileName, L"y.doc");
}

}  // namespace
}  // namespace qm
