#include "control/dropped_files.h"

#include <gtest/gtest.h>

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
                handedOver_.push_back(files);
            });
    }

    DroppedFileTable table_;
    const WindowKey window_ = 0x1234;
    std::vector<unsigned> waits_;
    std::vector<Files> handedOver_;
    std::optional<Files> entryDuringHandOver_;
    std::optional<Files> dropWhileWaiting_;
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

}  // namespace
}  // namespace qm
