#include "download/win32/file_download_dialog.h"

#include <gtest/gtest.h>

#include <functional>

#include "download/file_download_resource.h"
#include "ui/win32/capture.h"
#include "ui/win32/keyboard_check.h"
#include "ui/win32/layout_check.h"

namespace qm {
namespace {

// What the dialog showed, read on its own thread once it had been on screen a while; then `act` ends it.
struct Seen {
    std::wstring name, type, source, header, footer, caption;
    bool saveEnabled = false, editEnabled = false, editChecked = false, openOwnerDrawn = false;
    int height = 0, expectedTemplateHeight = 0, headerWeight = 0, width = 0, expectedWidth = 0;
    int belowFooter = 0, margin = 0;
    std::vector<std::string> problems;
};

struct Script {
    std::function<void(HWND)> act;
    Seen seen;
    std::wstring shot;
};
Script* current = nullptr;

std::wstring Text(HWND dialog, int id) {
    wchar_t buffer[512] = {};
    GetDlgItemTextW(dialog, id, buffer, 512);
    return buffer;
}

void CALLBACK OnTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    Seen& s = current->seen;
    s.name = Text(window, IDC_FD_FILE_NAME);
    s.type = Text(window, IDC_FD_TYPE);
    s.source = Text(window, IDC_FD_SOURCE);
    s.header = Text(window, IDC_FD_HEADER);
    s.footer = Text(window, IDC_FD_FOOTER);
    wchar_t caption[100] = {};
    GetWindowTextW(window, caption, 100);
    s.caption = caption;
    s.saveEnabled = IsWindowEnabled(GetDlgItem(window, IDC_FD_SAVE));
    s.editEnabled = IsWindowEnabled(GetDlgItem(window, IDC_FD_EDIT_MODE));
    s.editChecked = IsDlgButtonChecked(window, IDC_FD_EDIT_MODE) == BST_CHECKED;
    s.openOwnerDrawn = (GetWindowLongW(GetDlgItem(window, IDC_FD_OPEN), GWL_STYLE) & 0xF) == BS_OWNERDRAW;
    RECT r{};
    GetWindowRect(window, &r);
    s.height = r.bottom - r.top;
    s.width = r.right - r.left;
    RECT units{0, 0, 242, 139};
    MapDialogRect(window, &units);
    AdjustWindowRectEx(&units, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    s.expectedTemplateHeight = units.bottom - units.top;
    s.expectedWidth = units.right - units.left;
    LOGFONTW font{};
    HFONT headerFont = reinterpret_cast<HFONT>(SendDlgItemMessageW(window, IDC_FD_HEADER, WM_GETFONT, 0, 0));
    if (headerFont && GetObjectW(headerFont, sizeof font, &font)) s.headerWeight = font.lfWeight;
    s.problems = testing::LayoutProblems(window);
    RECT client{}, footer{};
    GetClientRect(window, &client);
    GetWindowRect(GetDlgItem(window, IDC_FD_FOOTER), &footer);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&footer), 2);
    s.belowFooter = client.bottom - footer.bottom;
    RECT margin{0, 0, 0, 5};
    MapDialogRect(window, &margin);
    s.margin = margin.bottom;
    if (!current->shot.empty()) testing::SaveArtifact(testing::CaptureWindow(window), current->shot);
    current->act(window);
}

int RunDialog(const FileDownloadValues& values, Script& script) {
    current = &script;
    FileDownloadDialog dialog;
    dialog.onShown = [](FileDownloadDialog& d, void*) { SetTimer(d.Window(), 77, 300, &OnTimer); };
    const int code = dialog.Run(0, values);
    current = nullptr;
    return code;
}

FileDownloadValues Values() {
    FileDownloadValues v;
    v.fileName = L"Plan.doc";
    v.source = L"store.example";
    v.sizeText = L"9.77 KB";
    v.header = L"Do you want to open or save this file?";
    v.footer = L"Enable upload of saved file. (Click 'Yes' when prompted for upload)";
    v.editEnabled = true;
    return v;
}

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

TEST(FileDownloadDialogTest, ShowsTheValuesBoldHeaderAndTheWholeFooter) {
    Script s;
    s.shot = L"file-download-default";
    s.act = [](HWND d) { Click(d, IDC_FD_OPEN); };
    EXPECT_EQ(RunDialog(Values(), s), 1002);
    EXPECT_EQ(s.seen.caption, L"File Download");
    EXPECT_EQ(s.seen.name, L"Plan.doc");
    EXPECT_EQ(s.seen.source, L"store.example");
    EXPECT_EQ(s.seen.header, L"Do you want to open or save this file?");
    EXPECT_EQ(s.seen.footer, L"Enable upload of saved file. (Click 'Yes' when prompted for upload)");
    EXPECT_EQ(s.seen.type.substr(s.seen.type.size() - 9), L", 9.77 KB") << std::string(s.seen.type.begin(), s.seen.type.end());
    EXPECT_EQ(s.seen.headerWeight, 700);
    EXPECT_TRUE(s.seen.openOwnerDrawn);
    EXPECT_TRUE(s.seen.saveEnabled);
    EXPECT_TRUE(s.seen.editEnabled);
    EXPECT_FALSE(s.seen.editChecked);
    EXPECT_TRUE(s.seen.problems.empty()) << ::testing::PrintToString(s.seen.problems);
    EXPECT_EQ(s.seen.belowFooter, s.seen.margin) << "the window ends a margin below the whole footer";
    EXPECT_LT(s.seen.height, s.seen.expectedTemplateHeight);
    EXPECT_EQ(s.seen.width, s.seen.expectedWidth);
}

TEST(FileDownloadDialogTest, ALongerFooterWrapsAndTheWindowGrowsToShowItWhole) {
    int heights[3] = {};
    const wchar_t* footers[] = {L"one\ntwo\nthree",
                                L"one\ntwo\nthree\nfour\nfive\nsix",
                                L"A footer from the page that goes on for much longer than one line of the dialog can "
                                L"hold, so that it has to wrap over several lines to be read in full by the user."};
    for (int i = 0; i < 3; ++i) {
        FileDownloadValues v = Values();
        v.footer = footers[i];
        Script s;
        s.shot = i == 2 ? L"file-download-long-footer" : L"";
        s.act = [](HWND d) { Click(d, IDC_FD_SAVE); };
        EXPECT_EQ(RunDialog(v, s), 1001);
        EXPECT_TRUE(s.seen.problems.empty()) << i << ": " << ::testing::PrintToString(s.seen.problems);
        EXPECT_EQ(s.seen.belowFooter, s.seen.margin) << i;
        heights[i] = s.seen.height;
    }
    EXPECT_GT(heights[1], heights[0]) << "three more lines, a taller window";
}

TEST(FileDownloadDialogTest, EditModeCheckedDisablesSaveAndOpenGivesEditOpen) {
    FileDownloadValues v = Values();
    v.editChecked = true;
    v.editEnabled = false;
    Script s;
    s.shot = L"file-download-edit-mode";
    s.act = [](HWND d) { Click(d, IDC_FD_SAVE); Click(d, IDC_FD_OPEN); };
    EXPECT_EQ(RunDialog(v, s), 1005) << "the disabled Save ends nothing";
    EXPECT_FALSE(s.seen.saveEnabled);
    EXPECT_FALSE(s.seen.editEnabled);
    EXPECT_TRUE(s.seen.editChecked);
}

TEST(FileDownloadDialogTest, ClickingEditModeSwitchesSave) {
    Script s;
    s.act = [](HWND d) {
        SendMessageW(GetDlgItem(d, IDC_FD_EDIT_MODE), BM_CLICK, 0, 0);
        const bool saveAfterCheck = IsWindowEnabled(GetDlgItem(d, IDC_FD_SAVE));
        SendMessageW(GetDlgItem(d, IDC_FD_EDIT_MODE), BM_CLICK, 0, 0);
        const bool saveAfterUncheck = IsWindowEnabled(GetDlgItem(d, IDC_FD_SAVE));
        SendMessageW(GetDlgItem(d, IDC_FD_EDIT_MODE), BM_CLICK, 0, 0);
        current->seen.saveEnabled = !saveAfterCheck && saveAfterUncheck;
        Click(d, IDC_FD_SAVE);  // disabled again: nothing
        Click(d, IDC_FD_OPEN);
    };
    EXPECT_EQ(RunDialog(Values(), s), 1005);
    EXPECT_TRUE(s.seen.saveEnabled);
}

TEST(FileDownloadDialogTest, EscapeCountsAsCancel) {
    Script s;
    s.act = [](HWND d) {
        HWND focus = GetFocus();
        PostMessageW(focus ? focus : d, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(RunDialog(Values(), s), 2);
}

TEST(FileDownloadDialogTest, ALongHeaderWrapsAndPushesTheRestDown) {
    FileDownloadValues v = Values();
    v.header = L"The page asks a much longer question here than the dialog was drawn for: do you want to open "
               L"this file now, or save it to your computer first and open it later from there?";
    Script s;
    s.shot = L"file-download-long-header";
    RECT header{}, name{};
    s.act = [&](HWND d) {
        GetWindowRect(GetDlgItem(d, IDC_FD_HEADER), &header);
        GetWindowRect(GetDlgItem(d, IDC_FD_FILE_NAME), &name);
        Click(d, IDC_FD_SAVE);
    };
    Script plain;
    plain.act = [](HWND d) { Click(d, IDC_FD_SAVE); };
    EXPECT_EQ(RunDialog(Values(), plain), 1001);
    EXPECT_EQ(RunDialog(v, s), 1001);
    EXPECT_EQ(s.seen.header, v.header);
    EXPECT_TRUE(s.seen.problems.empty()) << ::testing::PrintToString(s.seen.problems);
    EXPECT_GE(name.top, header.bottom) << "the name row moved below the longer header";
    EXPECT_GT(s.seen.height, plain.seen.height) << "the window grew by what the header needs";
    EXPECT_EQ(s.seen.belowFooter, s.seen.margin);
}

TEST(FileDownloadDialogTest, CentredOverItsOwner) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 300, 200, 700, 500, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(owner);
    current = nullptr;
    Script s;
    RECT placed{};
    s.act = [&](HWND d) {
        GetWindowRect(d, &placed);
        Click(d, IDC_FD_OPEN);
    };
    current = &s;
    FileDownloadDialog dialog;
    dialog.onShown = [](FileDownloadDialog& d, void*) { SetTimer(d.Window(), 77, 300, &OnTimer); };
    EXPECT_EQ(dialog.Run(reinterpret_cast<WindowRef>(owner), Values()), 1002);
    current = nullptr;
    DestroyWindow(owner);
    EXPECT_NEAR((placed.left + placed.right) / 2, 300 + 350, 1);
    EXPECT_NEAR((placed.top + placed.bottom) / 2, 200 + 250, 1);
}

TEST(FileDownloadDialogTest, KeyboardFollowsTheReadingOrderAndEnterPressesTheFocusedButton) {
    Script s;
    std::vector<std::string> order, names;
    std::vector<HWND> walk;
    s.act = [&](HWND d) {
        walk = testing::TabWalk(d);
        order = testing::TabOrderProblems(d);
        names = testing::ButtonNameProblems(d);
        testing::PostKey(d, VK_TAB);
        testing::PostKey(d, VK_TAB);
        testing::PostKey(d, VK_RETURN);
    };
    EXPECT_EQ(RunDialog(Values(), s), 2) << "Tab, Tab from Open is Cancel, and Enter presses it";
    EXPECT_EQ(walk.size(), 4u) << "Open, Save, Cancel, Edit Mode";
    EXPECT_TRUE(order.empty()) << ::testing::PrintToString(order);
    EXPECT_TRUE(names.empty()) << ::testing::PrintToString(names);

    Script enter;
    enter.act = [](HWND d) { testing::PostKey(d, VK_RETURN); };
    EXPECT_EQ(RunDialog(Values(), enter), 1002) << "the focus starts on Open";
}

TEST(FileTypeLookup, NameWithoutRegisteredTypeStillGivesALine) {
    const FileTypeInfo info = LookUpFileType(L"*.txt");
    EXPECT_FALSE(info.typeName.empty());
    if (info.icon) DestroyIcon(info.icon);
}

}  // namespace
}  // namespace qm
