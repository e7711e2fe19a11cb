#include "upload/win32/save_to_server_dialog.h"

#include <gtest/gtest.h>

#include <functional>

#include "ui/win32/capture.h"
#include "ui/win32/keyboard_check.h"
#include "ui/win32/layout_check.h"
#include "upload/save_to_server_resource.h"

namespace qm {
namespace {

struct Seen {
    std::wstring caption, fileName, question;
    bool saveOwnerDrawn = false, cancelOwnerDrawn = false, editVisible = true, hasSystemMenu = true;
    bool saveDrawn = false, foreground = false;
    int width = 0, height = 0, expectedWidth = 0, expectedHeight = 0;
    std::vector<std::string> problems;
};

struct Script {
    std::function<void(HWND)> act;
    Seen seen;
    std::wstring shot;
    SaveToServerDialog* dialog = nullptr;
};
Script* current = nullptr;

std::wstring Text(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

bool OwnerDrawn(HWND button) { return (GetWindowLongW(button, GWL_STYLE) & 0xF) == BS_OWNERDRAW; }

void CALLBACK OnTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    Seen& s = current->seen;
    s.caption = Text(window);
    s.fileName = Text(GetDlgItem(window, IDC_STS_FILE_NAME));
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring t = Text(child);
        if (t.rfind(L"...", 0) == 0) s.question = t;
    }
    s.saveOwnerDrawn = OwnerDrawn(GetDlgItem(window, IDC_STS_SAVE));
    s.cancelOwnerDrawn = OwnerDrawn(GetDlgItem(window, IDC_STS_CANCEL));
    s.editVisible = IsWindowVisible(GetDlgItem(window, IDC_STS_UNUSED_EDIT)) != FALSE;
    s.hasSystemMenu = (GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU) != 0;
    s.saveDrawn = current->dialog->SaveButton().DrawCount() > 0;
    s.foreground = GetForegroundWindow() == window;
    RECT r{};
    GetWindowRect(window, &r);
    s.width = r.right - r.left;
    s.height = r.bottom - r.top;
    RECT units{0, 0, 224, 75};
    MapDialogRect(window, &units);
    AdjustWindowRectEx(&units, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    s.expectedWidth = units.right - units.left;
    s.expectedHeight = units.bottom - units.top;
    s.problems = testing::LayoutProblems(window);
    if (!current->shot.empty()) testing::SaveArtifact(testing::CaptureWindow(window), current->shot);
    current->act(window);
}

int RunDialog(const std::wstring& name, Script& script) {
    current = &script;
    SaveToServerDialog dialog;
    script.dialog = &dialog;
    dialog.onShown = [](SaveToServerDialog& d, void*) { SetTimer(d.Window(), 78, 300, &OnTimer); };
    const int code = dialog.Run(0, name);
    current = nullptr;
    return code;
}

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

TEST(SaveToServerDialogTest, ShowsTheFileWithHoverButtonsAtTheTemplatesSize) {
    Script s;
    s.shot = L"save-to-server";
    s.act = [](HWND d) { Click(d, IDC_STS_SAVE); };
    EXPECT_EQ(RunDialog(L"Quarterly Plan.doc", s), 1102);
    EXPECT_EQ(s.seen.caption, L"Save to Server");
    EXPECT_EQ(s.seen.fileName, L"Quarterly Plan.doc");
    EXPECT_EQ(s.seen.question,
              L"... has been updated on your local system. Do you want to save this file back to the server?");
    EXPECT_TRUE(s.seen.saveOwnerDrawn);
    EXPECT_TRUE(s.seen.cancelOwnerDrawn);
    EXPECT_TRUE(s.seen.saveDrawn);
    EXPECT_FALSE(s.seen.editVisible);
    EXPECT_FALSE(s.seen.hasSystemMenu);
    EXPECT_TRUE(s.seen.foreground);
    EXPECT_TRUE(s.seen.problems.empty()) << ::testing::PrintToString(s.seen.problems);
    EXPECT_EQ(s.seen.width, s.seen.expectedWidth) << "depends on the fonts of fonts-wine";
    EXPECT_EQ(s.seen.height, s.seen.expectedHeight) << "depends on the fonts of fonts-wine";
}

TEST(SaveToServerDialogTest, CancelAndEscapeGiveTwo) {
    Script s;
    s.act = [](HWND d) { Click(d, IDC_STS_CANCEL); };
    EXPECT_EQ(RunDialog(L"a.txt", s), 2);
    Script e;
    e.act = [](HWND d) {
        HWND focus = GetFocus();
        PostMessageW(focus ? focus : d, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(RunDialog(L"a.txt", e), 2);
}

TEST(SaveToServerDialogTest, EnterTakesTheDefaultSave) {
    Script s;
    s.act = [](HWND d) {
        HWND focus = GetFocus();
        PostMessageW(focus ? focus : d, WM_KEYDOWN, VK_RETURN, 0);
    };
    EXPECT_EQ(RunDialog(L"a.txt", s), 1102);
}

TEST(SaveToServerDialogTest, EnterOnCancelCancelsAndMnemonicsPressTheirButtons) {
    Script s;
    std::vector<std::string> order, names;
    s.act = [&](HWND d) {
        order = testing::TabOrderProblems(d);
        names = testing::ButtonNameProblems(d);
        SendMessageW(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_STS_CANCEL)), TRUE);
        testing::PostKey(d, VK_RETURN);
    };
    EXPECT_EQ(RunDialog(L"a.txt", s), 2) << "Enter on the focused Cancel does not save";
    EXPECT_TRUE(order.empty()) << ::testing::PrintToString(order);
    EXPECT_TRUE(names.empty()) << ::testing::PrintToString(names);

    Script alt;
    alt.act = [](HWND d) { testing::PostAltKey(d, L'c'); };
    EXPECT_EQ(RunDialog(L"a.txt", alt), 2) << "Alt+C";
    Script save;
    save.act = [](HWND d) {
        SendMessageW(d, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_STS_CANCEL)), TRUE);
        testing::PostAltKey(d, L's');
    };
    EXPECT_EQ(RunDialog(L"a.txt", save), 1102) << "Alt+S from Cancel";
}

}  // namespace
}  // namespace qm
