#include "localfiles/settings.h"

#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "support/fake_questions.h"
#include "support/fake_settings_store.h"

namespace qm {
namespace {

using testing::FakeFileSystem;
using testing::FakeSettingsStore;
using testing::ScriptedQuestions;

constexpr int kSave = 1001, kOpen = 1002, kSaveForEdit = 1003, kOpenFolder = 1004, kOpenForEdit = 1005;

TEST(FolderOfPath, CutsAtTheLastBackslash) {
    EXPECT_EQ(FolderOfPath(L"C:\\docs\\a\\file.txt"), L"C:\\docs\\a");
    EXPECT_EQ(FolderOfPath(L"C:\\file.txt"), L"C:");
    EXPECT_EQ(FolderOfPath(L"file.txt"), L"");
}

TEST(IsOpenAction, OpenCodesOpenEverythingElseSaves) {
    EXPECT_TRUE(IsOpenAction(kOpen));
    EXPECT_TRUE(IsOpenAction(kOpenFolder));
    EXPECT_TRUE(IsOpenAction(kOpenForEdit));
    EXPECT_FALSE(IsOpenAction(kSave));
    EXPECT_FALSE(IsOpenAction(kSaveForEdit));
}

class FolderTest : public ::testing::Test {
protected:
    FolderTest() {
        fs.AddFolder(L"C:\\");
        fs.AddFolder(L"C:\\Temp");
        fs.AddFolder(L"D:\\");
        fs.AddFolder(L"D:\\Projects");
    }
    std::wstring Resolve(int action, const std::wstring& requested, bool prompt) {
        return ResolveDownloadFolder(fs, settings, questions, action, requested, L"K", prompt);
    }

    FakeFileSystem fs;
    FakeSettingsStore settings;
    ScriptedQuestions questions;
};

TEST_F(FolderTest, EnsureFolderChainCreatesEachMissingLevelInOrder) {
    EXPECT_TRUE(EnsureFolderChain(fs, L"D:\\Projects\\New\\Deep\\"));
    EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"D:\\Projects\\New\\", L"D:\\Projects\\New\\Deep\\"}));
    EXPECT_TRUE(EnsureFolderChain(fs, L"D:\\Projects\\New\\Deep"));
    EXPECT_EQ(fs.created.size(), 2u);  // nothing left to create
}

TEST_F(FolderTest, EnsureFolderChainStopsAtTheFirstFailure) {
    fs.failCreate.insert(FakeFileSystem::Key(L"D:\\Projects\\Locked"));
    EXPECT_FALSE(EnsureFolderChain(fs, L"D:\\Projects\\Locked\\Sub"));
    EXPECT_TRUE(fs.created.empty());
    // A drive that does not exist is never created, and the chain fails instead of claiming success.
    EXPECT_FALSE(EnsureFolderChain(fs, L"Q:\\a"));
    EXPECT_FALSE(EnsureFolderChain(fs, L"Q:\\"));
    EXPECT_FALSE(EnsureFolderChain(fs, L""));
}

// Two downloads into one new folder at once: whoever creates a level second still has the folder it wanted.
TEST_F(FolderTest, EnsureFolderChainAcceptsALevelThatAnotherProcessMadeMeanwhile) {
    fs.madeByOthers.insert(FakeFileSystem::Key(L"D:\\Projects\\Shared"));
    EXPECT_TRUE(EnsureFolderChain(fs, L"D:\\Projects\\Shared\\Mine"));
    EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"D:\\Projects\\Shared\\Mine\\"}));
    EXPECT_TRUE(fs.HasFolder(L"D:\\Projects\\Shared\\Mine"));
    // The download lands in the folder the page asked for, not in a fallback.
    fs.madeByOthers.insert(FakeFileSystem::Key(L"D:\\Projects\\Other"));
    EXPECT_EQ(Resolve(kSave, L"D:\\Projects\\Other", false), L"D:\\Projects\\Other");
}

// "\Data\New" is on the current drive's root, whatever the current folder is.
TEST_F(FolderTest, EnsureFolderChainStartsARootRelativePathAtTheRoot) {
    fs.AddFolder(L"\\");
    EXPECT_TRUE(EnsureFolderChain(fs, L"\\Data\\New"));
    EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"\\Data\\", L"\\Data\\New\\"}));
    EXPECT_FALSE(EnsureFolderChain(fs, L"\\"));  // the root itself is never created
    EXPECT_FALSE(EnsureFolderChain(fs, L"\\\\"));  // the start of a network path is no folder at all
    // A relative path starts where it is: its first folder is created too.
    fs.AddFolder(L"Here");
    EXPECT_TRUE(EnsureFolderChain(fs, L"Here\\Sub"));
    ASSERT_FALSE(fs.created.empty());
    EXPECT_EQ(fs.created.back(), L"Here\\Sub\\");
}

TEST_F(FolderTest, EnsureFolderChainTreatsTheShareOfANetworkPathAsItsRoot) {
    fs.AddFolder(L"\\\\server\\share");
    EXPECT_TRUE(EnsureFolderChain(fs, L"\\\\server\\share\\team\\docs"));
    EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"\\\\server\\share\\team\\", L"\\\\server\\share\\team\\docs\\"}));
    EXPECT_FALSE(EnsureFolderChain(fs, L"\\\\other\\share\\team"));
    EXPECT_FALSE(EnsureFolderChain(fs, L"\\\\server"));
    EXPECT_EQ(fs.created.size(), 2u);
}

TEST_F(FolderTest, EnsureFolderChainAcceptsSlashesAndDoubledSeparators) {
    EXPECT_TRUE(EnsureFolderChain(fs, L"D:/Projects//Mixed/Sub"));
    EXPECT_TRUE(fs.HasFolder(L"D:\\Projects\\Mixed\\Sub"));
    EXPECT_EQ(fs.created.size(), 2u);
}

TEST_F(FolderTest, RecordTempFolderIsTheTempPathAndTheKey) {
    EXPECT_EQ(RecordTempFolder(fs, L"K"), L"C:\\Temp\\K");
    EXPECT_EQ(fs.created, (std::vector<std::wstring>{L"C:\\Temp\\K"}));
    EXPECT_EQ(RecordTempFolder(fs, L"K"), L"C:\\Temp\\K");  // exists now: not created again
    EXPECT_EQ(fs.created.size(), 1u);

    fs.failCreate.insert(FakeFileSystem::Key(L"C:\\Temp\\L"));
    EXPECT_EQ(RecordTempFolder(fs, L"L"), L"");
    // Any other failure of the attribute query still gives the path.
    EXPECT_EQ(RecordTempFolder(fs, L"x\\y"), L"C:\\Temp\\x\\y");
}

TEST_F(FolderTest, AnExistingRequestedFolderIsUsedWithoutAQuestion) {
    EXPECT_EQ(Resolve(kOpen, L"D:\\Projects", true), L"D:\\Projects");
    EXPECT_EQ(Resolve(kSave, L"D:\\Projects", true), L"D:\\Projects");
    EXPECT_TRUE(questions.asked.empty());
}

TEST_F(FolderTest, AMissingFolderIsCreatedWithoutAQuestionWhenThePromptIsOff) {
    EXPECT_EQ(Resolve(kSave, L"D:\\Projects\\New", false), L"D:\\Projects\\New");
    EXPECT_TRUE(fs.HasFolder(L"D:\\Projects\\New"));
    EXPECT_TRUE(questions.asked.empty());
}

TEST_F(FolderTest, YesCreatesTheRequestedFolder) {
    questions.answers = {true};
    EXPECT_EQ(Resolve(kOpenForEdit, L"D:\\Projects\\New", true), L"D:\\Projects\\New");
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(questions.asked[0].first, L"Create folder?");
    EXPECT_EQ(questions.asked[0].second,
              L"\"D:\\Projects\\New\" does not exist in local system.\r\nDo you want to create?");
    EXPECT_TRUE(fs.HasFolder(L"D:\\Projects\\New"));
}

TEST_F(FolderTest, NoFallsBackByActionAndCreatesNothing) {
    settings.values[kSaveFileLocation] = L"E:\\Saved";
    questions.answers = {false, false, false};
    EXPECT_EQ(Resolve(kSave, L"D:\\Projects\\New", true), L"E:\\Saved");
    EXPECT_EQ(Resolve(kSaveForEdit, L"D:\\Projects\\New", true), L"E:\\Saved");
    EXPECT_EQ(Resolve(kOpen, L"D:\\Projects\\New", true), L"C:\\Temp\\K");
    EXPECT_EQ(questions.asked.size(), 3u);
    EXPECT_FALSE(fs.HasFolder(L"D:\\Projects\\New"));
}

TEST_F(FolderTest, ASaveWithoutSettingFallsBackToTheDocumentsFolder) {
    questions.answers = {false};
    EXPECT_EQ(Resolve(kSave, L"D:\\Projects\\New", true), L"C:\\Users\\me\\Documents");
    EXPECT_EQ(Resolve(kSave, L"", true), L"C:\\Users\\me\\Documents");
    settings.values[kSaveFileLocation] = L"E:\\Saved";
    EXPECT_EQ(Resolve(kSaveForEdit, L"", true), L"E:\\Saved");
}

TEST_F(FolderTest, AnOpenWithoutRequestedPathUsesTheRecordTempFolder) {
    EXPECT_EQ(Resolve(kOpen, L"", true), L"C:\\Temp\\K");
    EXPECT_TRUE(fs.HasFolder(L"C:\\Temp\\K"));
    EXPECT_EQ(Resolve(kOpenFolder, L"", false), L"C:\\Temp\\K");
    fs.failCreate.insert(FakeFileSystem::Key(L"C:\\Temp\\M"));
    EXPECT_EQ(ResolveDownloadFolder(fs, settings, questions, kOpenForEdit, L"", L"M", true), L"");
    EXPECT_TRUE(questions.asked.empty());
}

TEST_F(FolderTest, AFolderThatCannotBeCreatedFallsBackSilently) {
    fs.failCreate.insert(FakeFileSystem::Key(L"D:\\Projects\\New"));
    EXPECT_EQ(Resolve(kOpen, L"D:\\Projects\\New\\Sub", false), L"C:\\Temp\\K");
    EXPECT_EQ(Resolve(kSave, L"D:\\Projects\\New\\Sub", false), L"C:\\Users\\me\\Documents");
    EXPECT_TRUE(questions.asked.empty());
}

}  // namespace
}  // namespace qm
