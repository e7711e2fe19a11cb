#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include "support/fake_user_dialogs.h"

namespace qm {
namespace {

using testing::FakeUserDialogs;

TEST(MessageBoxTest, ErrorPutsThePrefixAndTwoLineBreaksBeforeTheText) {
    FakeUserDialogs dialogs;
    ShowError(dialogs, 0x42, L"The file is in use.");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(dialogs.shown[0].owner, WindowRef{0x42});
    EXPECT_EQ(dialogs.shown[0].text, L"Error : \r\n\r\nThe file is in use.");
    EXPECT_EQ(ErrorBoxText(L""), L"Error : \r\n\r\n");
    EXPECT_EQ(std::wstring(kCaption), L"Torvane - Quillmark");
}

TEST(MessageBoxTest, PlainMessageHasNoOwnerAndTheTextUnchanged) {
    FakeUserDialogs dialogs;
    ShowMessage(dialogs, L"Bad port in the page address.");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Plain);
    EXPECT_EQ(dialogs.shown[0].owner, WindowRef{0});
    EXPECT_EQ(dialogs.shown[0].text, L"Bad port in the page address.");
}

TEST(BrowseForFolderTest, CancelEmptiesTheOutput) {
    FakeUserDialogs dialogs;
    std::wstring output = L"C:\\Before";
    EXPECT_FALSE(BrowseForFolder(dialogs, output, L"Select a folder to download file(s)", 7));
    EXPECT_EQ(output, L"");
    ASSERT_EQ(dialogs.folderRequests.size(), 1u);
    EXPECT_EQ(dialogs.folderRequests[0].first, WindowRef{7});
    EXPECT_EQ(dialogs.folderRequests[0].second, L"Select a folder to download file(s)");
}

TEST(BrowseForFolderTest, ChosenFolderReplacesTheOutput) {
    FakeUserDialogs dialogs;
    dialogs.folder = L"D:\\Downloads";
    std::wstring output = L"C:\\Before";
    EXPECT_TRUE(BrowseForFolder(dialogs, output, L"t", 0));
    EXPECT_EQ(output, L"D:\\Downloads");
}

TEST(BrowseForFolderTest, ItemWithoutPathFailsAndKeepsTheOutput) {
    FakeUserDialogs dialogs;
    dialogs.folder = L"";
    std::wstring output = L"C:\\Before";
    EXPECT_FALSE(BrowseForFolder(dialogs, output, L"t", 0));
    EXPECT_EQ(output, L"C:\\Before");
}

TEST(BrowseForFolderTest, PlatformFailureCountsAsCancel) {
    FakeUserDialogs dialogs;
    dialogs.throwOnFolder = true;
    std::wstring output = L"C:\\Before";
    EXPECT_FALSE(BrowseForFolder(dialogs, output, L"t", 0));
    EXPECT_EQ(output, L"");
}

}  // namespace
}  // namespace qm
