#include "ui/dialogs.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

struct Shown {
    WindowRef owner;
    MessageKind kind;
    std::wstring text;
};

class RecordingDialogs : public UserDialogs {
public:
    std::vector<Shown> shown;
    std::vector<std::pair<WindowRef, std::wstring>> folderRequests;
    std::optional<std::wstring> folder;
    bool throwOnFolder = false;

    void Message(WindowRef owner, MessageKind kind, const std::wstring& text) override {
        shown.push_back({owner, kind, text});
    }
    Answer Ask(WindowRef, const std::wstring&, bool) override { return Answer::No; }
    std::optional<std::wstring> ChooseFolder(WindowRef owner, const std::wstring& title) override {
        folderRequests.emplace_back(owner, title);
        if (throwOnFolder) throw std::runtime_error("shell failure");
        return folder;
    }
    bool RunFileDialog(const FileDialogRequest&, std::vector<wchar_t>&) override { return false; }
};

TEST(MessageBoxTest, ErrorPutsThePrefixAndTwoLineBreaksBeforeTheText) {
    RecordingDialogs dialogs;
    ShowError(dialogs, 0x42, L"The file is in use.");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Error);
    EXPECT_EQ(dialogs.shown[0].owner, WindowRef{0x42});
    EXPECT_EQ(dialogs.shown[0].text, L"Error : \r\n\r\nThe file is in use.");
    EXPECT_EQ(ErrorBoxText(L""), L"Error : \r\n\r\n");
    EXPECT_EQ(std::wstring(kCaption), L"Torvane - Quillmark");
}

TEST(MessageBoxTest, PlainMessageHasNoOwnerAndTheTextUnchanged) {
    RecordingDialogs dialogs;
    ShowMessage(dialogs, L"Bad port in the page address.");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, MessageKind::Plain);
    EXPECT_EQ(dialogs.shown[0].owner, WindowRef{0});
    EXPECT_EQ(dialogs.shown[0].text, L"Bad port in the page address.");
}

TEST(BrowseForFolderTest, CancelEmptiesTheOutput) {
    RecordingDialogs dialogs;
    std::wstring output = L"C:\\Before";
    EXPECT_FALSE(BrowseForFolder(dialogs, output, L"Select a folder to download file(s)", 7));
    EXPECT_EQ(output, L"");
    ASSERT_EQ(dialogs.folderRequests.size(), 1u);
    EXPECT_EQ(dialogs.folderRequests[0].first, WindowRef{7});
    EXPECT_EQ(dialogs.folderRequests[0].second, L"Select a folder to download file(s)");
}

TEST(BrowseForFolderTest, ChosenFolderReplacesTheOutput) {
    RecordingDialogs dialogs;
    dialogs.folder = L"D:\\Downloads";
    std::wstring output = L"C:\\Before";
    EXPECT_TRUE(BrowseForFolder(dialogs, output, L"t", 0));
    EXPECT_EQ(output, L"D:\\Downloads");
}

TEST(BrowseForFolderTest, ItemWithoutPathFailsAndKeepsTheOutput) {
    RecordingDialogs dialogs;
    dialogs.folder = L"";
    std::wstring output = L"C:\\Before";
    EXPECT_FALSE(BrowseForFolder(dialogs, output, L"t", 0));
    EXPECT_EQ(output, L"C:\\Before");
}

TEST(BrowseForFolderTest, PlatformFailureCountsAsCancel) {
    RecordingDialogs dialogs;
    dialogs.throwOnFolder = true;
    std::wstring output = L"C:\\Before";
    EXPECT_FALSE(BrowseForFolder(dialogs, output, L"t", 0));
    EXPECT_EQ(output, L"");
}

}  // namespace
}  // namespace qm
