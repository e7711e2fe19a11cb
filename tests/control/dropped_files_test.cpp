#include "control/dropped_files.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qm {
namespace {

using Files = std::vector<std::wstring>;

TEST(DroppedFilesTest, FoldersAndEmptyPathsAreLeftOutAndTheOrderKept) {
    EXPECT_EQ(FilesOfDrop({{L"C:\\b.txt", false}, {L"C:\\dir", true}, {L"", false}, {L"C:\\a.txt", false}}),
              (Files{L"C:\\b.txt", L"C:\\a.txt"}));
    EXPECT_TRUE(FilesOfDrop({{L"C:\\dir", true}, {L"D:\\other", true}}).empty());
}

TEST(DroppedFilesTest, ListTextsJoinBySemicolonAndSplittingKeepsEmptyPieces) {
    EXPECT_EQ(JoinDroppedPaths({L"C:\\a", L"C:\\b", L"C:\\c"}), L"C:\\a;C:\\b;C:\\c");
    EXPECT_EQ(JoinDroppedPaths({}), L"");
    EXPECT_EQ(SplitListText(L"a;;b;", L';'), (Files{L"a", L"", L"b", L""}));
    EXPECT_EQ(SplitListText(L"", L';'), (Files{L""}));
    EXPECT_EQ(SplitListText(L"x?y|z", L'|'), (Files{L"x?y", L"z"}));
}

class UploadDroppedFilesTest : public ::testing::Test {
protected:
    int Upload(WindowKey window) {
        return UploadDroppedFilesFrom(
            table_, window,
            [this](unsigned ms) {
                waits_.push_back(ms);
                if (dropWhileWaiting_) table_.Replace(window_, *dropWhileWaiting_);
            },
            [this](const Files& files) {
                // The entry must already be empty when the upload runs.
                entryDuringHandOver_ = table_.Find(window_);
                removedDuringHandOver_ = removed_.size();
                handedOver_.push_back(files);
                if (failHandOver_) throw std::runtime_error("upload failed");
            },
            [this](const std::wstring& folder) { removed_.push_back(folder); });
    }

    DroppedFileTable table_;
    const WindowKey window_ = 0x1234;
    std::vector<unsigned> waits_;
    std::vector<Files> handedOver_;
    std::optional<Files> entryDuringHandOver_;
    std::optional<Files> dropWhileWaiting_;
    std::vector<std::wstring> removed_;
    std::size_t removedDuringHandOver_ = 0;
    bool failHandOver_ = false;
};

TEST_F(UploadDroppedFilesTest, NoEntryGivesZeroAndCreatesAnEmptyEntrySoTheNextCallGivesOne) {
    EXPECT_EQ(Upload(window_), 0);
    ASSERT_TRUE(table_.Find(window_).has_value());
    EXPECT_TRUE(table_.Find(window_)->empty());
    EXPECT_EQ(Upload(window_), 1);
    EXPECT_TRUE(handedOver_.empty());
    EXPECT_EQ(waits_, (std::vector<unsigned>{3000, 3000}));
}

TEST_F(UploadDroppedFilesTest, AnEmptyEntryFromADropOfOnlyFoldersGivesOne) {
    table_.Replace(window_, FilesOfDrop({{L"C:\\dir", true}}));
    EXPECT_EQ(Upload(window_), 1);
    EXPECT_TRUE(handedOver_.empty());
}

TEST_F(UploadDroppedFilesTest, AListIsHandedOverOnceWithTheEntryAlreadyEmpty) {
    table_.Replace(window_, {L"C:\\a.txt", L"C:\\semi;colon.txt"});
    EXPECT_EQ(Upload(window_), 0);
    ASSERT_EQ(handedOver_.size(), 1u);
    EXPECT_EQ(handedOver_[0], (Files{L"C:\\a.txt", L"C:\\semi;colon.txt"})) << "a ';' in a name must not split it";
    ASSERT_TRUE(entryDuringHandOver_.has_value());
    EXPECT_TRUE(entryDuringHandOver_->empty());
    EXPECT_EQ(Upload(window_), 1) << "a repeated call must not upload the same files again";
    EXPECT_EQ(handedOver_.size(), 1u);
}

TEST_F(UploadDroppedFilesTest, TwoDropsBeforeOneCallHandOverOnlyTheSecond) {
    table_.Replace(window_, {L"C:\\first.txt"});
    table_.Replace(window_, {L"C:\\second.txt", L"C:\\third.txt"});
    EXPECT_EQ(Upload(window_), 0);
    ASSERT_EQ(handedOver_.size(), 1u);
    EXPECT_EQ(handedOver_[0], (Files{L"C:\\second.txt", L"C:\\third.txt"}));
}

TEST_F(UploadDroppedFilesTest, ADropThatLandsDuringTheWaitIsTakenAndOtherWindowsAreUntouched) {
    table_.Replace(0x9999, {L"C:\\elsewhere.txt"});
    dropWhileWaiting_ = Files{L"C:\\late.txt"};
    EXPECT_EQ(Upload(window_), 0);
    ASSERT_EQ(handedOver_.size(), 1u);
    EXPECT_EQ(handedOver_[0], (Files{L"C:\\late.txt"}));
    EXPECT_EQ(table_.Find(0x9999), (std::optional<Files>(Files{L"C:\\elsewhere.txt"})));
}

TEST_F(UploadDroppedFilesTest, AForgottenWindowAnswersAsOneThatNeverHadADrop) {
    table_.Replace(window_, {L"C:\\old-page.txt"});
    table_.Forget(window_);
    EXPECT_FALSE(table_.Find(window_).has_value());
    EXPECT_EQ(Upload(window_), 0);
    EXPECT_TRUE(handedOver_.empty());
}

TEST_F(UploadDroppedFilesTest, SavedMessagesGoOnlyOnceTheirUploadHasEndedAlsoWhenItFails) {
    EXPECT_EQ(table_.Replace(window_, {L"T:\\mail\\1\\a.msg"}, L"T:\\mail\\1\\"), L"");
    EXPECT_EQ(Upload(window_), 0);
    EXPECT_EQ(removedDuringHandOver_, 0u) << "the upload still reads them";
    EXPECT_EQ(removed_, (std::vector<std::wstring>{L"T:\\mail\\1\\"}));
    table_.Replace(window_, {L"T:\\mail\\2\\b.msg"}, L"T:\\mail\\2\\");
    failHandOver_ = true;
    EXPECT_THROW(Upload(window_), std::runtime_error);
    EXPECT_EQ(removed_, (std::vector<std::wstring>{L"T:\\mail\\1\\", L"T:\\mail\\2\\"}));
    EXPECT_EQ(Upload(window_), 1);
    EXPECT_EQ(removed_.size(), 2u) << "an emptied entry has no folder left to remove";
}

TEST_F(UploadDroppedFilesTest, AReplacedOrForgottenEntryGivesUpItsFolderAndADropDuringTheUploadKeepsItsOwn) {
    table_.Replace(window_, {L"T:\\mail\\1\\a.msg"}, L"T:\\mail\\1\\");
    EXPECT_EQ(table_.Replace(window_, {L"C:\\file.txt"}), L"T:\\mail\\1\\");
    table_.Replace(window_, {L"T:\\mail\\2\\b.msg"}, L"T:\\mail\\2\\");
    EXPECT_EQ(table_.Replace(window_, {L"T:\\mail\\2\\b.msg"}, L"T:\\mail\\2\\"), L"")
        << "the same folder kept is not given up";
    EXPECT_EQ(table_.Forget(window_), L"T:\\mail\\2\\");
    EXPECT_EQ(table_.Forget(window_), L"");

    table_.Replace(window_, {L"T:\\mail\\3\\c.msg"}, L"T:\\mail\\3\\");
    DroppedFileTable& table = table_;
    const WindowKey window = window_;
    UploadDroppedFilesFrom(
        table_, window_, {},
        [&](const Files&) { table.Replace(window, {L"T:\\mail\\4\\d.msg"}, L"T:\\mail\\4\\"); },
        [this](const std::wstring& folder) { removed_.push_back(folder); });
    EXPECT_EQ(removed_, (std::vector<std::wstring>{L"T:\\mail\\3\\"}));
    EXPECT_EQ(table_.Find(window_), (std::optional<Files>(Files{L"T:\\mail\\4\\d.msg"})));
    EXPECT_EQ(table_.Forget(window_), L"T:\\mail\\4\\");
}

}  // namespace
}  // namespace qm
