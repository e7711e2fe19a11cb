#include "ui/file_chooser.h"

#include <gtest/gtest.h>

#include "support/fake_user_dialogs.h"

namespace qm {
namespace {

using testing::FakeUserDialogs;

std::wstring Multi(std::initializer_list<std::wstring> parts) {
    std::wstring out;
    for (const auto& part : parts) out += part + L'\0';
    return out + L'\0';
}

class FileChooserTest : public ::testing::Test {
protected:
    FakeUserDialogs dialogs;
    FileChooser chooser{dialogs};

    void TearDown() override { EXPECT_TRUE(dialogs.shown.empty()) << "no message expected"; }

    bool ShowOpen(bool multiSelect) {
        return chooser.Show(true, multiSelect, 0, L"", L"", L"C:\\Start", UploadFilter(), L"");
    }
};

TEST_F(FileChooserTest, SingleSelectionGivesTheOnePathThenNothing) {
    // The dialog leaves one terminator after a single path; the chooser adds the second.
    dialogs.result = std::wstring(L"C:\\Docs\\report.doc") + L'\0';
    ASSERT_TRUE(ShowOpen(false));
    FileChooser::Cursor cursor = chooser.FirstSelection();
    ASSERT_TRUE(cursor);
    EXPECT_EQ(chooser.NextPath(cursor), L"C:\\Docs\\report.doc");
    EXPECT_FALSE(cursor);
    EXPECT_EQ(chooser.NextPath(cursor), L"");
    EXPECT_FALSE(chooser.FirstSelection()) << "buffer released after the last path";
}

TEST_F(FileChooserTest, SinglePathOverAnEarlierLongerResultStillEndsAfterOnePath) {
    // Leftovers behind the path's terminator must not read as file names.
    dialogs.result = Multi({L"C:\\Long\\folder", L"a.txt", L"b.txt"});
    ASSERT_TRUE(ShowOpen(true));
    dialogs.result = std::wstring(L"C:\\x") + L'\0' + L"stale" + L'\0';
    ASSERT_TRUE(ShowOpen(false));
    EXPECT_EQ(chooser.TakeAllPaths(), std::vector<std::wstring>{L"C:\\x"});
}

TEST_F(FileChooserTest, OneFileChosenInMultiSelectYieldsExactlyOnePath) {
    dialogs.result = Multi({L"C:\\Docs\\only.txt"});
    ASSERT_TRUE(ShowOpen(true));
    EXPECT_EQ(chooser.TakeAllPaths(), std::vector<std::wstring>{L"C:\\Docs\\only.txt"});
}

TEST_F(FileChooserTest, SeveralFilesComeBackAsFullPathsInTheDialogsOrder) {
    dialogs.result = Multi({L"C:\\Docs", L"a.txt", L"b.txt", L"c.txt"});
    ASSERT_TRUE(ShowOpen(true));
    FileChooser::Cursor cursor = chooser.FirstSelection();
    ASSERT_TRUE(cursor);
    EXPECT_EQ(chooser.NextPath(cursor), L"C:\\Docs\\a.txt");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(chooser.NextPath(cursor), L"C:\\Docs\\b.txt");
    ASSERT_TRUE(cursor);
    EXPECT_EQ(chooser.NextPath(cursor), L"C:\\Docs\\c.txt");
    EXPECT_FALSE(cursor);
    EXPECT_EQ(chooser.NextPath(cursor), L"");
    EXPECT_FALSE(chooser.FirstSelection());

    dialogs.result = Multi({L"C:\\Docs", L"z.txt", L"a.txt"});
    ASSERT_TRUE(ShowOpen(true));
    EXPECT_EQ(chooser.TakeAllPaths(), (std::vector<std::wstring>{L"C:\\Docs\\z.txt", L"C:\\Docs\\a.txt"}));
}

TEST_F(FileChooserTest, RootFolderSelectionDoublesTheSeparator) {
    dialogs.result = Multi({L"C:\\", L"a.txt", L"b.txt"});
    ASSERT_TRUE(ShowOpen(true));
    EXPECT_EQ(chooser.TakeAllPaths(), (std::vector<std::wstring>{L"C:\\\\a.txt", L"C:\\\\b.txt"}));
}

TEST_F(FileChooserTest, CancelReleasesTheResultOfAnEarlierUse) {
    dialogs.result = Multi({L"C:\\Docs", L"a.txt", L"b.txt"});
    ASSERT_TRUE(ShowOpen(true));
    dialogs.confirm = false;
    EXPECT_FALSE(ShowOpen(true));
    EXPECT_FALSE(chooser.FirstSelection());
    FileChooser::Cursor none;
    EXPECT_EQ(chooser.NextPath(none), L"");
    EXPECT_TRUE(chooser.TakeAllPaths().empty());
}

TEST_F(FileChooserTest, ResultWithoutFinalTerminatorCountsAsFailure) {
    dialogs.fillToTheEnd = true;
    EXPECT_FALSE(ShowOpen(true));
    EXPECT_FALSE(chooser.FirstSelection());
}

TEST_F(FileChooserTest, PassesFlagsBufferAndArgumentsToTheDialog) {
    dialogs.result = Multi({L"C:\\a"});
    ASSERT_TRUE(chooser.Show(true, false, 0x1234, L"txt", L"", L"C:\\Open", UploadFilter(), L"Pick"));
    ASSERT_TRUE(chooser.Show(true, true, 0, L"", L"", L"C:\\Open", UploadFilter(), L""));
    ASSERT_TRUE(chooser.Show(false, false, 0, L"", L"report.doc", L"C:\\Save", AllFilesFilter(), L""));
    ASSERT_TRUE(chooser.Show(false, true, 0, L"", L"", L"", AllFilesFilter(), L""));
    ASSERT_EQ(dialogs.requests.size(), 4u);
    EXPECT_TRUE(dialogs.requests[0].open);
    EXPECT_EQ(dialogs.requests[0].flags, 0x181806u);
    EXPECT_EQ(dialogs.requests[0].owner, WindowRef{0x1234});
    EXPECT_EQ(dialogs.requests[0].defaultExtension, L"txt");
    EXPECT_EQ(dialogs.requests[0].initialFolder, L"C:\\Open");
    EXPECT_EQ(dialogs.requests[0].title, L"Pick");
    EXPECT_EQ(dialogs.requests[0].filter, std::wstring(L"All Files\0*.*\0\0", 16));
    EXPECT_EQ(dialogs.requests[1].flags, 0x181806u | 0x200u);
    EXPECT_FALSE(dialogs.requests[2].open);
    EXPECT_EQ(dialogs.requests[2].flags, 0x80802u);
    EXPECT_EQ(dialogs.requests[2].filter, std::wstring(L"All Files (*.*)\0*.*\0\0", 22));
    EXPECT_EQ(dialogs.requests[3].flags, 0x80802u) << "multi-select has no meaning for save";
    ASSERT_EQ(dialogs.initialNames.size(), 4u);
    EXPECT_EQ(dialogs.initialNames[0], L"");
    EXPECT_EQ(dialogs.initialNames[2], L"report.doc");
    EXPECT_EQ(dialogs.bufferSize, 532480u);
}

}  // namespace
}  // namespace qm
