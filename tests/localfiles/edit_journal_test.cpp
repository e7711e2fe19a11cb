#include "localfiles/edit_journal.h"

#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "support/fake_journal_file.h"
#include "support/fake_system_text.h"

namespace qm {
namespace {

using testing::FakeFileSystem;
using testing::FakeJournalFile;

const std::wstring kServer = L"https://files.example.com:443";
const std::wstring kOther = L"http://other.example.com:80";
const FileTime kNow = 134'000'000'000'000'000;
const FileTime kDay = 24ull * 3600 * 10'000'000;

JournalEntry Entry(const std::wstring& server, const std::wstring& key, const std::wstring& path) {
    JournalEntry e;
    e.Server = server;
    e.ViewName = L"Documents";
    e.PrimKey = key;
    e.UploadViewName = L"DocsUp";
    e.FileName = path.substr(path.rfind(L'\\') + 1);
    e.LocalPath = path;
    e.ElementId = L"el-" + key;
    e.BeforeUploadScript = L"before";
    e.AfterUploadScript = L"after";
    e.LastWriteTime = 70;
    e.WrittenTime = 50;
    e.ServerUpdated = 40;
    e.Identity = FileIdentity{0x1234, 7};
    e.Made = kNow - kDay;
    return e;
}

TEST(EditJournal, EveryFieldComesBackAlsoWithTabsLineEndsAndBackslashesInTexts) {
    JournalEntry odd = Entry(kServer, L"K\t1\n2\r3\\4", L"C:\\Temp\\K\\Plan\\t.doc");
    odd.Identity.reset();
    odd.FileName = L"\\";
    odd.AfterUploadScript = L"";
    const std::vector<JournalEntry> entries = {Entry(kServer, L"K1", L"C:\\A\\a.doc"), odd};
    const std::wstring text = WriteJournal(entries);
    EXPECT_EQ(ReadJournal(text), entries);
    EXPECT_EQ(ReadJournal(WriteJournal({})), std::vector<JournalEntry>{});
}

TEST(EditJournal, AFileCutShortChangedOrOfAnotherVersionReadsAsNone) {
    const std::wstring text = WriteJournal({Entry(kServer, L"K1", L"C:\\A\\a.doc"), Entry(kOther, L"K2", L"C:\\B\\b.doc")});
    // Cut anywhere, as a crash in the middle of writing would leave it.
    for (std::size_t cut = 0; cut < text.size(); cut += 7) EXPECT_FALSE(ReadJournal(text.substr(0, cut))) << cut;
    std::wstring changed = text;
    changed[changed.find(L"K1")] = L'X';
    EXPECT_FALSE(ReadJournal(changed));
    std::wstring version = text;
    version.replace(version.find(L" 1\n"), 3, L" 2\n");
    EXPECT_FALSE(ReadJournal(version));
    EXPECT_FALSE(ReadJournal(L"Quillmark edited copies 1\nend 0 00000000\n"));
    EXPECT_FALSE(ReadJournal(L"garbage"));
}

class EditJournalLists : public ::testing::Test {
protected:
    EditJournalLists() {
        fs.AddFolder(L"C:");
        fs.AddFolder(L"C:\\Temp");
        fs.AddFile(L"C:\\Temp\\K1\\Report.docx", 10).times = {1, 50};
        fs.AddFile(L"C:\\Temp\\K2\\Report.docx", 10).times = {1, 50};
    }
    TrackedFile& Track(TrackedFileList& list, const std::wstring& key) {
        const std::wstring path = L"C:\\Temp\\" + key + L"\\Report.docx";
        list.RememberOwnCopy(path, fs, {L"Documents", key, 40});
        return TrackEditedFile(list, fs, path, L"Report.docx", key, L"el-" + key, L"Documents", L"DocsUp", L"b", L"a");
    }
    FakeFileSystem fs;
    FakeJournalFile journal;
};

TEST_F(EditJournalLists, ANewControlOfTheSameServerKnowsTheEditedCopiesAndTheirEdits) {
    {
        TrackedFileList first;
        Track(first, L"K1");
        Track(first, L"K2");
        ASSERT_TRUE(SaveEditedCopies(first, journal, fs, kServer, kNow));
    }
    fs.AddFile(L"C:\\Temp\\K1\\Report.docx", 12).times = {1, 90};  // edited after the page went away
    TrackedFileList second;
    LoadEditedCopies(second, journal, fs, kServer, kNow);
    ASSERT_EQ(second.Size(), 2u) << "two records with one file name keep an entry each";
    EXPECT_EQ(second.Items().back()->PrimKey, L"K1");
    EXPECT_EQ(second.Items().back()->LastWriteTime, 50u);
    EXPECT_EQ(second.Items().back()->ElementId, L"el-K1");
    EXPECT_TRUE(second.IsOwnCopy(L"C:\\Temp\\K1\\Report.docx", fs));
    const auto edits = second.UnsentEdits(L"C:\\Temp\\K1\\Report.docx", fs);
    ASSERT_TRUE(edits);
    EXPECT_EQ(edits->ServerUpdated, 40u);
    EXPECT_FALSE(second.UnsentEdits(L"C:\\Temp\\K2\\Report.docx", fs));
}

TEST_F(EditJournalLists, AnotherServersPageLearnsNothingAndKeepsTheFirstServersEntries) {
    TrackedFileList first;
    Track(first, L"K1");
    SaveEditedCopies(first, journal, fs, kServer, kNow);
    TrackedFileList other;
    LoadEditedCopies(other, journal, fs, kOther, kNow);
    EXPECT_EQ(other.Size(), 0u);
    EXPECT_FALSE(other.IsOwnCopy(L"C:\\Temp\\K1\\Report.docx", fs));
    SaveEditedCopies(other, journal, fs, kOther, kNow);
    TrackedFileList again;
    LoadEditedCopies(again, journal, fs, kServer, kNow);
    EXPECT_EQ(again.Size(), 1u);
    // The same server named with another letter case or scheme is another server, or the same.
    EXPECT_EQ(ServerKey(true, L"Files.Example.COM", 443), kServer);
    EXPECT_NE(ServerKey(false, L"files.example.com", 443), kServer);
}

TEST_F(EditJournalLists, TwoControlsOfOneServerKeepEachOthersEntriesAndASentOrDeletedCopyGoes) {
    TrackedFileList a, b;
    Track(a, L"K1");
    SaveEditedCopies(a, journal, fs, kServer, kNow);
    Track(b, L"K2");
    SaveEditedCopies(b, journal, fs, kServer, kNow);
    TrackedFileList seen;
    LoadEditedCopies(seen, journal, fs, kServer, kNow);
    EXPECT_EQ(seen.Size(), 2u) << "the second control must not drop the first one's entry";

    a.MarkSent(L"C:\\Temp\\K1\\Report.docx", fs);
    a.Items().clear();  // the walk lets a sent entry go
    SaveEditedCopies(a, journal, fs, kServer, kNow);
    TrackedFileList afterSend;
    LoadEditedCopies(afterSend, journal, fs, kServer, kNow);
    ASSERT_EQ(afterSend.Size(), 1u);
    EXPECT_EQ(afterSend.Items().front()->PrimKey, L"K2");

    fs.RemoveFile(L"C:\\Temp\\K2\\Report.docx");
    SaveEditedCopies(a, journal, fs, kServer, kNow);
    TrackedFileList afterDelete;
    LoadEditedCopies(afterDelete, journal, fs, kServer, kNow);
    EXPECT_EQ(afterDelete.Size(), 0u);
    ASSERT_TRUE(journal.text);
    EXPECT_EQ(ReadJournal(*journal.text)->size(), 0u) << "a deleted copy's entry is not kept";
}

TEST_F(EditJournalLists, NothingIsWrittenWhenNothingIsKeptOrNothingChanged) {
    TrackedFileList list;
    EXPECT_TRUE(SaveEditedCopies(list, journal, fs, kServer, kNow));
    EXPECT_EQ(journal.writes, 0) << "no journal is made for nothing";
    Track(list, L"K1");
    SaveEditedCopies(list, journal, fs, kServer, kNow);
    SaveEditedCopies(list, journal, fs, kServer, kNow + kDay);
    EXPECT_EQ(journal.writes, 1);
    ASSERT_EQ(list.Size(), 1u);
    list.Items().front()->LastWriteTime = 99;
    SaveEditedCopies(list, journal, fs, kServer, kNow + kDay);
    EXPECT_EQ(journal.writes, 2);
}

TEST_F(EditJournalLists, AnUnreadableJournalLoadsNothingAndIsReplacedWhole) {
    journal.text = L"Quillmark edited copies 1\nhalf a line";
    TrackedFileList list;
    LoadEditedCopies(list, journal, fs, kServer, kNow);
    EXPECT_EQ(list.Size(), 0u);
    Track(list, L"K1");
    EXPECT_TRUE(SaveEditedCopies(list, journal, fs, kServer, kNow));
    ASSERT_TRUE(ReadJournal(*journal.text));
    EXPECT_EQ(ReadJournal(*journal.text)->size(), 1u);
    journal.failWrite = true;
    ASSERT_EQ(list.Size(), 1u);
    list.Items().front()->LastWriteTime = 99;
    EXPECT_FALSE(SaveEditedCopies(list, journal, fs, kServer, kNow));
}

TEST_F(EditJournalLists, TheJournalHoldsAtMostItsLimitKeepingThisServersNewest) {
    std::vector<JournalEntry> many;
    for (std::size_t n = 0; n < kMostJournalEntries; ++n) {
        const std::wstring path = L"C:\\Temp\\O" + std::to_wstring(n) + L"\\x.doc";
        fs.AddFile(path, 1);
        many.push_back(Entry(kOther, L"O" + std::to_wstring(n), path));
    }
    journal.text = WriteJournal(many);
    TrackedFileList list;
    Track(list, L"K1");
    SaveEditedCopies(list, journal, fs, kServer, kNow);
    const auto saved = ReadJournal(*journal.text);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->size(), kMostJournalEntries);
    EXPECT_EQ(saved->front().PrimKey, L"K1");
}

TEST_F(EditJournalLists, ThePageHearsOfCopiesWithUnsentEditsOnly) {
    TrackedFileList list;
    Track(list, L"K1");
    Track(list, L"K2");
    testing::FakeSystemText system;
    system.localOffset = 3600ull * 10'000'000;
    EXPECT_EQ(EditedCopiesText(list, fs, system), L"");
    fs.AddFile(L"C:\\Temp\\K1\\Report.docx", 12).times = {1, 132'500'000'000'000'000};
    fs.AddFile(L"C:\\Temp\\K2\\Report.docx", 12).times = {1, 132'500'000'000'000'000 + 10'000'000};
    EXPECT_EQ(EditedCopiesText(list, fs, system),
              L"el-K2?Documents?K2?Report.docx?2020-11-16 12:33:21|el-K1?Documents?K1?Report.docx?2020-11-16 12:33:20");
    list.MarkSent(L"C:\\Temp\\K2\\Report.docx", fs);
    EXPECT_EQ(EditedCopiesText(list, fs, system), L"el-K1?Documents?K1?Report.docx?2020-11-16 12:33:20");
}

TEST_F(EditJournalLists, AnEntryKeepsTheTimeItWasFirstKeptAndComesInStaleAfterThirtyDays) {
    TrackedFileList first;
    Track(first, L"K1");
    SaveEditedCopies(first, journal, fs, kServer, kNow - 31 * kDay);
    Track(first, L"K2");
    SaveEditedCopies(first, journal, fs, kServer, kNow - 29 * kDay);
    TrackedFileList later;
    LoadEditedCopies(later, journal, fs, kServer, kNow);
    ASSERT_EQ(later.Size(), 2u);
    for (const auto& entry : later.Items()) {
        EXPECT_EQ(entry->Stale, entry->PrimKey == L"K1") << entry->PrimKey;
        EXPECT_EQ(entry->Made, entry->PrimKey == L"K1" ? kNow - 31 * kDay : kNow - 29 * kDay);
    }
    // Saved again, the time it was first kept stays.
    SaveEditedCopies(later, journal, fs, kServer, kNow);
    TrackedFileList again;
    LoadEditedCopies(again, journal, fs, kServer, kNow);
    ASSERT_EQ(again.Size(), 2u);
    EXPECT_EQ(again.Items().back()->Made, kNow - 31 * kDay);
    // A let-go copy's entry goes from the journal.
    again.LetGo(L"C:\\Temp\\K1\\Report.docx");
    again.Items().remove_if([](const auto& e) { return e->PrimKey == L"K1"; });
    SaveEditedCopies(again, journal, fs, kServer, kNow);
    TrackedFileList last;
    LoadEditedCopies(last, journal, fs, kServer, kNow);
    ASSERT_EQ(last.Size(), 1u);
    EXPECT_EQ(last.Items().front()->PrimKey, L"K2");
}

}  // namespace
}  // namespace qm
