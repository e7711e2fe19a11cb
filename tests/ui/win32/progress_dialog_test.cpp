#include "ui/win32/progress_dialog.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <map>
#include <random>

#include "ui/progress_resource.h"
#include "ui/win32/capture.h"
#include "ui/win32/keyboard_check.h"
#include "ui/win32/layout_check.h"

namespace qm {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

// Waits on the worker side until the dialog window exists and is shown (the status and path texts of the job
// are applied then), and a while longer for it to paint.
HWND AwaitWindow(ProgressDialog& dialog, DWORD settleMs = 150) {
    for (int i = 0; i < 400 && !dialog.WindowExists(); ++i) Sleep(5);
    for (int i = 0; i < 400 && dialog.WindowExists() && !IsWindowVisible(static_cast<HWND>(dialog.OwnerWindow())); ++i)
        Sleep(5);
    Sleep(settleMs);
    return static_cast<HWND>(dialog.OwnerWindow());
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[300] = {};
    GetWindowTextW(window, buffer, 300);  // cross-thread: sends WM_GETTEXT
    return buffer;
}

std::wstring ControlText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

RECT ClientRectOf(HWND dialog, int id) {
    RECT r{};
    HWND control = GetDlgItem(dialog, id);
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The dialog manager converts position and size each on its own, so they round separately.
RECT DialogUnits(HWND dialog, int x, int y, int w, int h) {
    RECT r{x, y, w, h};
    MapDialogRect(dialog, &r);
    return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::shared_ptr<Win32ProgressDialog> NewDialog(TransferMode mode, std::uint32_t range = 100) {
    auto dialog = Win32ProgressDialog::Create();
    dialog->Job().Mode = mode;
    dialog->Job().ProgressRange = range;
    return dialog;
}

struct ModeFacts {
    bool checkVisible = false;
    bool checkChecked = false;
    bool openVisible = false;
    bool editVisible = true;
    SIZE window{};
    bool rateLabelOk = false, rateFieldOk = false, cancelOk = false, barOk = false;
    bool cancelAtBottom = false;
    bool openFolderVisible = false;
    SIZE client{}, compactClient{};
    std::vector<std::string> problems;
    HWND focus = nullptr, cancel = nullptr;
    std::wstring caption, status, path;
    COLORREF cancelLeftBorder = 0;
};

class ProgressDialogModes : public ::testing::TestWithParam<TransferMode> {};

TEST_P(ProgressDialogModes, LayoutControlsAndSizes) {
    const TransferMode mode = GetParam();
    auto dialog = NewDialog(mode);
    dialog->Job().StatusText = L"report.doc from files.example";
    dialog->Job().PathText = L"C:\\A\\..\\..\\E\\report.doc";
    ModeFacts facts;
    const DWORD uiThread = GetCurrentThreadId();
    dialog->StartWorker([&facts, mode, uiThread](ProgressDialog& d) {
        HWND w = AwaitWindow(d, 300);
        if (!w) return;
        facts.checkVisible = IsWindowVisible(GetDlgItem(w, IDC_PROGRESS_CLOSE_WHEN_DONE));
        facts.checkChecked = d.CloseWhenDoneChecked();
        facts.openVisible = IsWindowVisible(GetDlgItem(w, IDC_PROGRESS_OPEN));
        facts.editVisible = IsWindowVisible(GetDlgItem(w, IDC_PROGRESS_SCRIPT_REQUEST));
        RECT r;
        GetWindowRect(w, &r);
        facts.window = SIZE{r.right - r.left, r.bottom - r.top};
        const bool compact = mode == TransferMode::Upload || mode == TransferMode::ReUpload;
        facts.openFolderVisible = IsWindowVisible(GetDlgItem(w, IDC_PROGRESS_OPEN_FOLDER));
        GetClientRect(w, &r);
        facts.client = SIZE{r.right, r.bottom};
        const RECT compactClient = DialogUnits(w, 0, 0, 262, 99);
        facts.compactClient = SIZE{compactClient.right, compactClient.bottom};
        facts.problems = testing::LayoutProblems(w);
        facts.rateLabelOk = Same(ClientRectOf(w, IDC_PROGRESS_RATE_LABEL), DialogUnits(w, 9, 65, 51, 8));
        facts.rateFieldOk = Same(ClientRectOf(w, IDC_PROGRESS_RATE), DialogUnits(w, 71, 65, 181, 9));
        facts.cancelOk = Same(ClientRectOf(w, IDCANCEL),
                              compact ? DialogUnits(w, 208, 78, 50, 14) : DialogUnits(w, 208, 99, 50, 14));
        facts.barOk = Same(ClientRectOf(w, IDC_PROGRESS_BAR), DialogUnits(w, 9, 25, 246, 12));
        facts.cancelAtBottom = GetWindow(GetWindow(w, GW_CHILD), GW_HWNDLAST) == GetDlgItem(w, IDCANCEL);
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(uiThread, &info);
        facts.focus = info.hwndFocus;
        facts.cancel = GetDlgItem(w, IDCANCEL);
        facts.caption = TextOf(w);
        facts.status = ControlText(w, IDC_PROGRESS_STATUS);
        facts.path = ControlText(w, IDC_PROGRESS_PATH);
        const wchar_t* names[] = {L"reupload", L"upload", L"download", L"multidownload"};
        const testing::Image shot = testing::CaptureWindow(w);
        testing::SaveArtifact(shot, std::wstring(L"progress-") + names[static_cast<int>(mode)]);
        // The focused Cancel button shows the blue border on its left inner column.
        RECT c = ClientRectOf(w, IDCANCEL);
        POINT at{c.left + GetSystemMetrics(SM_CXEDGE), (c.top + c.bottom) / 2};
        ClientToScreen(w, &at);
        RECT wr;
        GetWindowRect(w, &wr);
        facts.cancelLeftBorder = shot.At(at.x - wr.left, at.y - wr.top);
        d.End(kEndDownloadFailed);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadFailed);
    ASSERT_TRUE(dialog->WaitForWorker(5000));

    const bool download = mode == TransferMode::Download || mode == TransferMode::MultiDownload;
    EXPECT_EQ(facts.checkVisible, download);
    EXPECT_EQ(facts.checkChecked, download);
    EXPECT_EQ(facts.openVisible, mode == TransferMode::Download);
    EXPECT_EQ(facts.openFolderVisible, download) << "hidden in uploads, not left to stick out below";
    EXPECT_FALSE(facts.editVisible);
    EXPECT_TRUE(facts.problems.empty()) << ::testing::PrintToString(facts.problems);
    if (!download) {
        EXPECT_EQ(facts.client.cy, facts.compactClient.cy) << "cut below Cancel";
        EXPECT_EQ(facts.client.cx, facts.compactClient.cx);
        EXPECT_TRUE(facts.cancelAtBottom) << "moved controls go to the bottom of the z-order";
    } else {
        EXPECT_GT(facts.client.cy, facts.compactClient.cy) << testing::FontNote();
    }
    EXPECT_TRUE(facts.rateLabelOk) << testing::FontNote();
    EXPECT_TRUE(facts.rateFieldOk) << testing::FontNote();
    EXPECT_TRUE(facts.cancelOk) << testing::FontNote();
    EXPECT_TRUE(facts.barOk) << testing::FontNote();
    EXPECT_EQ(facts.focus, facts.cancel) << "initial focus on Cancel";
    EXPECT_EQ(facts.cancelLeftBorder, RGB(153, 198, 252)) << "focus border of Cancel";
    EXPECT_EQ(facts.caption, L"Torvane - Quillmark");
    EXPECT_EQ(facts.status, L"report.doc from files.example");
    EXPECT_EQ(facts.path, L"C:\\A\\..\\..\\E\\report.doc");
}

INSTANTIATE_TEST_SUITE_P(EachMode, ProgressDialogModes,
                         ::testing::Values(TransferMode::ReUpload, TransferMode::Upload, TransferMode::Download,
                                           TransferMode::MultiDownload));

TEST(ProgressDialogWindow, FullLayoutWindowIsTheTemplateSize) {
    auto dialog = NewDialog(TransferMode::Download);
    SIZE client{}, expected{};
    LONG style = 0;
    dialog->StartWorker([&](ProgressDialog& d) {
        HWND w = AwaitWindow(d, 0);
        RECT r;
        GetClientRect(w, &r);
        client = SIZE{r.right, r.bottom};
        RECT units = DialogUnits(w, 0, 0, 262, 118);
        expected = SIZE{units.right, units.bottom};
        style = GetWindowLongW(w, GWL_STYLE);
        d.End(kEndDownloadClosed);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadClosed);
    dialog->WaitForWorker(5000);
    EXPECT_EQ(client.cx, expected.cx) << testing::FontNote();
    EXPECT_EQ(client.cy, expected.cy) << testing::FontNote();
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & WS_SYSMENU);
}

TEST(ProgressDialogMessages, SentFromTheWorkerThread) {
    auto dialog = NewDialog(TransferMode::Download, 100);
    std::map<std::string, std::wstring> texts;
    std::map<std::string, LRESULT> results;
    LRESULT rangeHigh = 0, position = 0;
    dialog->StartWorker([&](ProgressDialog& d) {
        HWND w = AwaitWindow(d, 0);
        auto send = [&](const char* name, UINT message, const wchar_t* text) {
            results[name] = SendMessageW(w, message, reinterpret_cast<WPARAM>(text), 0);
        };
        send("status", PDM_SETSTATUS, L"Opening connection");
        send("caption", PDM_SETCAPTION, L"Save to Server");
        send("timeleft", PDM_SETTIMELEFT, L"3 sec");
        send("rate", PDM_SETRATE, L"5.0 KB/sec");
        send("path", PDM_SETPATH, L"C:\\t\\a.doc");
        results["range"] = SendMessageW(w, PDM_SETRANGE, 70000, 0);
        for (int i = 0; i < 3; ++i) results["step"] = SendMessageW(w, PDM_STEPIT, 0, 0);
        rangeHigh = SendDlgItemMessageW(w, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE, 0);
        position = SendDlgItemMessageW(w, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
        texts["status"] = ControlText(w, IDC_PROGRESS_STATUS);
        texts["caption"] = TextOf(w);
        texts["timeleft"] = ControlText(w, IDC_PROGRESS_TIMELEFT);
        texts["rate"] = ControlText(w, IDC_PROGRESS_RATE);
        texts["path"] = ControlText(w, IDC_PROGRESS_PATH);
        // The same through the dialog's operations.
        d.SetStatus(L"Verifying downloaded file...!");
        d.SetCaption(L"Download");
        texts["status2"] = ControlText(w, IDC_PROGRESS_STATUS);
        texts["caption2"] = TextOf(w);
        d.End(kEndDownloadFailed);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadFailed);
    dialog->WaitForWorker(5000);
    for (const auto& [name, result] : results) EXPECT_EQ(result, 0) << name;
    EXPECT_EQ(texts["status"], L"Opening connection");
    EXPECT_EQ(texts["caption"], L"Save to Server");
    EXPECT_EQ(texts["timeleft"], L"3 sec");
    EXPECT_EQ(texts["rate"], L"5.0 KB/sec");
    EXPECT_EQ(texts["path"], L"C:\\t\\a.doc");
    EXPECT_EQ(rangeHigh, 4464);
    EXPECT_EQ(position, 3);
    EXPECT_EQ(texts["status2"], L"Verifying downloaded file...!");
    EXPECT_EQ(texts["caption2"], L"Download");
}

// Counts the texts the UI thread's windows receive.
std::map<HWND, int> g_setTextCount;
LRESULT CALLBACK CountSetText(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message->message == WM_SETTEXT) ++g_setTextCount[message->hwnd];
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(ProgressDialogTexts, ThrottledToTheDisplayAndEndingInTheLastState) {
    auto dialog = NewDialog(TransferMode::Download);
    g_setTextCount.clear();
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountSetText, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    HWND window = nullptr;
    DWORD elapsedMs = 0;
    std::wstring caption, rate, timeLeft;
    constexpr int kReads = 200000;
    dialog->StartWorker([&](ProgressDialog& d) {
        window = AwaitWindow(d, 50);
        const DWORD start = GetTickCount();
        for (int i = 1; i <= kReads; ++i)
            d.UpdateProgressText(L"big.bin", i, i * 4095.0, kReads * 4095.0, kReads, 4 * kSecond);
        elapsedMs = GetTickCount() - start;
        Sleep(200);  // no further report: the last one must still reach the windows
        caption = TextOf(window);
        rate = ControlText(window, IDC_PROGRESS_RATE);
        timeLeft = ControlText(window, IDC_PROGRESS_TIMELEFT);
        d.End(kEndDownloadClosed);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadClosed);
    dialog->WaitForWorker(5000);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(caption, L"100% of big.bin completed");
    EXPECT_EQ(rate, L"195.3 MB/sec");
    EXPECT_EQ(timeLeft, L"1 sec (781.06 MB of 781.06 MB)");
    // At most one text per refresh period (plus the template's own and the final refresh).
    const int allowed = static_cast<int>((elapsedMs + 200) / 30) + 3;
    EXPECT_LE(g_setTextCount[window], allowed) << "caption texts for " << kReads << " reads in " << elapsedMs << " ms";
    EXPECT_GE(g_setTextCount[window], 1);
}

// Counts the step messages the dialog window and its bar receive on the UI thread.
std::atomic<int> g_dialogSteps{0}, g_barSteps{0};
LRESULT CALLBACK CountSteps(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message->message == PDM_STEPIT) ++g_dialogSteps;
        if (message->message == PBM_STEPIT) ++g_barSteps;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(ProgressDialogSteps, FastStepsReachTheBarWithoutARoundTripEach) {
    auto dialog = NewDialog(TransferMode::Download, 100);
    g_dialogSteps = 0;
    g_barSteps = 0;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountSteps, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    int messagesForBurst = 0, barStepsAfterIdle = 0, messagesForSlowSteps = 0;
    LRESULT positionAfterBurst = 0;
    DWORD burstMs = 0;
    dialog->StartWorker([&](ProgressDialog& d) {
        HWND w = AwaitWindow(d, 100);
        const DWORD start = GetTickCount();
        for (int i = 0; i < 60; ++i) d.StepIt();
        burstMs = GetTickCount() - start;
        messagesForBurst = g_dialogSteps.load();
        // Nobody asks the bar: the refresh alone brings it up to date.
        Sleep(200);
        barStepsAfterIdle = g_barSteps.load();
        positionAfterBurst = SendDlgItemMessageW(w, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
        // Steps at display pace or slower each travel as a message.
        const int before = g_dialogSteps.load();
        for (int i = 0; i < 3; ++i) {
            Sleep(60);
            d.StepIt();
        }
        messagesForSlowSteps = g_dialogSteps.load() - before;
        for (int i = 0; i < 10; ++i) d.StepIt();
        d.End(kEndDownloadClosed);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadClosed);
    dialog->WaitForWorker(5000);
    UnhookWindowsHookEx(hook);
    EXPECT_GE(messagesForBurst, 1);
    EXPECT_LE(messagesForBurst, static_cast<int>(burstMs / kProgressRefreshMs) + 2) << burstMs << " ms";
    EXPECT_EQ(barStepsAfterIdle, 60);
    EXPECT_EQ(positionAfterBurst, 60);
    EXPECT_EQ(messagesForSlowSteps, 3);
    // The steps just before the end are not lost: the end brings the bar up to date first.
    EXPECT_EQ(g_barSteps.load(), 73);
}

// A plain bar stepped directly on this thread: what the dialog's bar must show for the same sequence.
LRESULT ReferencePosition(std::uint32_t range, int stepsBefore, std::uint32_t newRange, int stepsAfter) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(ProgressBarUpper(range)));
    SendMessageW(bar, PBM_SETSTEP, 1, 0);
    for (int i = 0; i < stepsBefore; ++i) SendMessageW(bar, PBM_STEPIT, 0, 0);
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(ProgressBarUpper(newRange)));
    for (int i = 0; i < stepsAfter; ++i) SendMessageW(bar, PBM_STEPIT, 0, 0);
    const LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
    DestroyWindow(bar);
    return position;
}

TEST(ProgressDialogSteps, StepsBeforeARangeChangeCountUnderTheOldRange) {
    // Three steps in a range of two go past its top; the same steps after the change would not.
    const LRESULT inOrder = ReferencePosition(2, 3, 100, 1);
    const LRESULT reordered = ReferencePosition(2, 0, 100, 4);
    ASSERT_NE(inOrder, reordered) << "the sequence must tell the two orders apart";
    auto dialog = NewDialog(TransferMode::Download, 2);
    LRESULT position = -1;
    dialog->StartWorker([&](ProgressDialog& d) {
        HWND w = AwaitWindow(d, 0);
        for (int i = 0; i < 3; ++i) d.StepIt();
        d.SetRange(100);
        d.StepIt();
        position = SendDlgItemMessageW(w, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
        d.End(kEndDownloadFailed);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadFailed);
    dialog->WaitForWorker(5000);
    EXPECT_EQ(position, inOrder);
}

TEST(ProgressDialogTexts, CancelStopsEveryText) {
    auto dialog = NewDialog(TransferMode::Upload);
    std::wstring captionAfter;
    std::atomic<bool> cancelled{false};
    dialog->StartWorker([&](ProgressDialog& d) {
        HWND w = AwaitWindow(d, 0);
        d.UpdateProgressText(L"a.doc", 10, 1024, 10240, 100, 1 * kSecond);
        Sleep(100);
        SendMessageW(GetDlgItem(w, IDCANCEL), BM_CLICK, 0, 0);
        cancelled = d.Job().Cancelled.load();
        d.UpdateProgressText(L"a.doc", 90, 9216, 10240, 100, 2 * kSecond);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndCancelled);
    EXPECT_TRUE(dialog->WaitForWorker(5000));
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(dialog->Job().Cancelled);
}

TEST(ProgressDialogEnd, EscapeCancelsAndCloseRequestsAreSwallowed) {
    auto dialog = NewDialog(TransferMode::Upload);
    bool aliveAfterClose = false, cancelEnabledAfter = true;
    dialog->StartWorker([&](ProgressDialog& d) {
        HWND w = AwaitWindow(d, 100);
        SendMessageW(w, WM_CLOSE, 0, 0);
        SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(100);
        aliveAfterClose = IsWindow(w) && d.WindowExists() && !d.Job().Cancelled;
        HWND cancel = GetDlgItem(w, IDCANCEL);
        PostMessageW(cancel, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(cancel, WM_KEYUP, VK_ESCAPE, 0);
        for (int i = 0; i < 200 && !d.Job().Cancelled; ++i) Sleep(5);
        cancelEnabledAfter = IsWindow(cancel) && IsWindowEnabled(cancel);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndCancelled);
    dialog->WaitForWorker(5000);
    EXPECT_TRUE(aliveAfterClose);
    EXPECT_TRUE(dialog->Job().Cancelled);
    EXPECT_FALSE(cancelEnabledAfter) << "Cancel is disabled when pressed";
}

TEST(ProgressDialogEnd, OpenButtonsEnabledByTheWorkerEndWithTheirCodes) {
    for (int id : {IDC_PROGRESS_OPEN, IDC_PROGRESS_OPEN_FOLDER}) {
        auto dialog = NewDialog(TransferMode::Download);
        bool disabledBefore = false, enabledAfter = false, unchecked = true;
        dialog->StartWorker([&, id](ProgressDialog& d) {
            HWND w = AwaitWindow(d, 0);
            disabledBefore = !IsWindowEnabled(GetDlgItem(w, IDC_PROGRESS_OPEN)) &&
                             !IsWindowEnabled(GetDlgItem(w, IDC_PROGRESS_OPEN_FOLDER));
            SendDlgItemMessageW(w, IDC_PROGRESS_CLOSE_WHEN_DONE, BM_CLICK, 0, 0);  // the user clears the box
            unchecked = !d.CloseWhenDoneChecked();
            d.EnableOpenButtons();
            enabledAfter = IsWindowEnabled(GetDlgItem(w, IDC_PROGRESS_OPEN)) &&
                           IsWindowEnabled(GetDlgItem(w, IDC_PROGRESS_OPEN_FOLDER));
            SendDlgItemMessageW(w, id, BM_CLICK, 0, 0);
        });
        EXPECT_EQ(dialog->Run(nullptr), id == IDC_PROGRESS_OPEN ? kEndOpen : kEndOpenFolder);
        dialog->WaitForWorker(5000);
        EXPECT_TRUE(disabledBefore);
        EXPECT_TRUE(unchecked);
        EXPECT_TRUE(enabledAfter);
        EXPECT_FALSE(dialog->Job().Cancelled);
    }
}

// What the keyboard test does on the dialog's own thread, where a screen reader's calls arrive too.
struct KeyboardVisit {
    std::atomic<HWND> window{nullptr};  // set by the worker once the bar and the buttons are ready
    WPARAM focusOn = 0;                 // a button id, 0 to leave the focus where it starts
    bool enter = false;
    wchar_t letter = 0;
    std::size_t stops = 0;
    std::vector<std::string> order, names;
    std::wstring value;
};
KeyboardVisit* keyboardVisit = nullptr;

void CALLBACK VisitWithTheKeyboard(HWND, UINT, UINT_PTR timer, DWORD) {
    KeyboardVisit& v = *keyboardVisit;
    HWND w = v.window.load();
    if (!w) return;
    KillTimer(nullptr, timer);
    v.stops = testing::TabWalk(w).size();
    v.order = testing::TabOrderProblems(w);
    v.names = testing::ButtonNameProblems(w);
    v.value = testing::AccessibleValue(GetDlgItem(w, IDC_PROGRESS_BAR));
    HWND target = GetDlgItem(w, v.focusOn ? static_cast<int>(v.focusOn) : IDCANCEL);
    if (v.focusOn) SendMessageW(w, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
    if (v.enter)
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
    else
        PostMessageW(GetFocus(), WM_SYSCHAR, v.letter, 1 << 29);
}

TEST(ProgressDialogKeyboard, EveryButtonReachableInOrderNamedAndPressedByEnterOrItsLetter) {
    struct Case {
        WPARAM focusOn;
        bool enter;
        wchar_t letter;
        INT_PTR end;
    };
    const Case cases[] = {{0, true, 0, kEndCancelled},
                          {IDC_PROGRESS_OPEN, true, 0, kEndOpen},
                          {IDC_PROGRESS_OPEN_FOLDER, true, 0, kEndOpenFolder},
                          {IDC_PROGRESS_OPEN, false, L'f', kEndOpenFolder},
                          {0, false, L'c', kEndCancelled}};
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const Case& c : cases) {
        KeyboardVisit visit;
        visit.focusOn = c.focusOn;
        visit.enter = c.enter;
        visit.letter = c.letter;
        keyboardVisit = &visit;
        auto dialog = NewDialog(TransferMode::Download, 200);
        dialog->StartWorker([&](ProgressDialog& d) {
            HWND w = AwaitWindow(d, 50);
            d.EnableOpenButtons();
            for (int i = 0; i < 50; ++i) d.StepIt();
            visit.window = w;
            // A key that does nothing must fail the case, not hang the suite.
            for (int i = 0; i < 500 && d.WindowExists(); ++i) Sleep(10);
            d.End(kEndDownloadFailed);
        });
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, &VisitWithTheKeyboard);
        EXPECT_EQ(dialog->Run(nullptr), c.end) << c.focusOn << " " << c.enter;
        KillTimer(nullptr, timer);
        dialog->WaitForWorker(5000);
        keyboardVisit = nullptr;
        EXPECT_EQ(visit.stops, 3u) << "Open, Open Folder, Cancel";
        EXPECT_TRUE(visit.order.empty()) << ::testing::PrintToString(visit.order);
        EXPECT_TRUE(visit.names.empty()) << ::testing::PrintToString(visit.names);
        EXPECT_EQ(visit.value, L"25%") << "50 steps of 200";
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

TEST(ProgressDialogEnd, WorkerFinishingBeforeTheWindowStillEndsIt) {
    auto dialog = NewDialog(TransferMode::Download);
    bool checkedBefore = false;
    dialog->StartWorker([&](ProgressDialog& d) {
        checkedBefore = d.CloseWhenDoneChecked();
        d.Job().Succeeded = true;
        d.SetStatus(L"lost");  // no window yet: lost, as messages before the window are
        d.End(checkedBefore ? kEndDownloadClosed : kEndDownloadFailed);
    });
    ASSERT_TRUE(dialog->WaitForWorker(5000)) << "the worker is done before the dialog runs";
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadClosed);
    EXPECT_TRUE(checkedBefore);
}

TEST(ProgressDialogEnd, OpenButtonsEnabledBeforeTheWindowAreEnabledInIt) {
    auto dialog = NewDialog(TransferMode::Download);
    dialog->StartWorker([](ProgressDialog& d) { d.EnableOpenButtons(); });
    ASSERT_TRUE(dialog->WaitForWorker(5000));
    std::atomic<bool> enabled{false};
    // The user's click comes from a second thread once the window is there.
    std::shared_ptr<Win32ProgressDialog> keep = dialog;
    const UniqueHandle clicker(CreateThread(nullptr, 0, [](void* p) WINAPI -> DWORD {
        auto* d = static_cast<Win32ProgressDialog*>(p);
        HWND w = AwaitWindow(*d, 50);
        if (IsWindowEnabled(GetDlgItem(w, IDC_PROGRESS_OPEN))) SendDlgItemMessageW(w, IDC_PROGRESS_OPEN, BM_CLICK, 0, 0);
        else SendDlgItemMessageW(w, IDCANCEL, BM_CLICK, 0, 0);
        return 0;
    }, dialog.get(), 0, nullptr));
    EXPECT_EQ(dialog->Run(nullptr), kEndOpen);
    WaitForSingleObject(clicker.get(), 5000);
}

TEST(ProgressDialogEnd, ThrowingWorkerEndsTheDialog) {
    auto dialog = NewDialog(TransferMode::Download);
    dialog->StartWorker([](ProgressDialog& d) {
        AwaitWindow(d, 0);
        throw std::runtime_error("unexpected");
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndDownloadFailed);
}

TEST(ProgressDialogScript, RequestRunsOnTheUiThreadWhileTheWorkerWaits) {
    auto dialog = NewDialog(TransferMode::Upload);
    const DWORD uiThread = GetCurrentThreadId();
    std::vector<std::wstring> handled;
    bool onUiThread = true;
    dialog->SetScriptRequestHandler([&](ProgressDialog& d) {
        onUiThread &= GetCurrentThreadId() == uiThread;
        handled.push_back(d.Job().PendingRequest);
        if (d.Job().PendingRequest == L"GetPrimKey") d.Job().CurrentPrimKey = L"key-" + std::to_wstring(handled.size());
    });
    std::vector<std::wstring> keys;
    dialog->StartWorker([&](ProgressDialog& d) {
        // Asked before the window exists: waits for it.
        d.RequestScript(L"GetPrimKey");
        keys.push_back(d.Job().CurrentPrimKey);
        d.RequestScript(L"GetPrimKey");  // the same text again is a new request
        keys.push_back(d.Job().CurrentPrimKey);
        d.RequestScript(L"SaveFileInfo");
        d.End(kEndUploadDone);
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndUploadDone);
    dialog->WaitForWorker(5000);
    EXPECT_TRUE(onUiThread);
    ASSERT_EQ(handled.size(), 3u);
    EXPECT_EQ(handled[0], L"GetPrimKey");
    EXPECT_EQ(handled[2], L"SaveFileInfo");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0], L"key-1");
    EXPECT_EQ(keys[1], L"key-2");
}

TEST(ProgressDialogScript, NoPageFunctionRunsAfterCancel) {
    auto dialog = NewDialog(TransferMode::Upload);
    int handled = 0;
    dialog->SetScriptRequestHandler([&](ProgressDialog&) {
        ++handled;
        HWND w = dialog->Window();
        // The user cancels while the page function runs; the ended window lives on until this message returns.
        SendMessageW(GetDlgItem(w, IDCANCEL), BM_CLICK, 0, 0);
        // The worker asks again meanwhile: nothing may run for it.
        SetDlgItemTextW(w, IDC_PROGRESS_SCRIPT_REQUEST, L"GetPrimKey again");
    });
    dialog->StartWorker([&](ProgressDialog& d) {
        d.RequestScript(L"GetPrimKey");
        d.RequestScript(L"SaveFileInfo");
    });
    EXPECT_EQ(dialog->Run(nullptr), kEndCancelled);
    EXPECT_TRUE(dialog->WaitForWorker(5000));
    EXPECT_EQ(handled, 1);
}

// Cancels at random points of running transfers; the dialog object is let go at once while the worker goes on.
std::atomic<int> g_finishedWorkers{0};
std::shared_ptr<Win32ProgressDialog> g_current;
void CALLBACK ClickCancel(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (g_current && g_current->Window()) SendDlgItemMessageW(g_current->Window(), IDCANCEL, BM_CLICK, 0, 0);
}

TEST(ProgressDialogStress, CancelAtRandomPointsNeverCrashes) {
    constexpr int kRuns = 300;
    std::mt19937 random(12345);
    int cancelledRuns = 0, finishedRuns = 0;
    g_finishedWorkers = 0;
    const DWORD start = GetTickCount();
    for (int run = 0; run < kRuns; ++run) {
        const TransferMode mode = static_cast<TransferMode>(run % 4);
        auto dialog = NewDialog(mode);
        const int steps = static_cast<int>(random() % 400);
        dialog->StartWorker([steps](ProgressDialog& d) {
            for (int i = 0; i < steps && !d.Job().Cancelled; ++i) {
                d.UpdateProgressText(L"x.bin", i, i * 4095.0, steps * 4095.0, steps, i * kSecond);
                if (i % 50 == 0) d.StepIt();
                if (i % 97 == 0) d.SetStatus(L"step " + std::to_wstring(i));
                if (i % 10 == 0) Sleep(1);
            }
            if (d.Job().Cancelled) {
                Sleep(1);
                d.Job().Descriptor.FileRef = L"after cancel";  // the job must still be there
                d.SetStatus(L"lost");
                d.UpdateProgressText(L"x.bin", 1, 1, 1, 1, 0);
            } else {
                d.End(kEndDownloadFailed);
            }
            ++g_finishedWorkers;
        });
        g_current = dialog;
        SetTimer(nullptr, 0, 1 + random() % 15, ClickCancel);
        const INT_PTR code = dialog->Run(nullptr);
        g_current.reset();
        if (code == kEndCancelled) {
            ++cancelledRuns;
            EXPECT_TRUE(dialog->Job().Cancelled);
        } else {
            ++finishedRuns;
            EXPECT_EQ(code, kEndDownloadFailed);
        }
        dialog.reset();  // the worker may still run and keeps its own reference
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) DispatchMessageW(&msg);
    }
    for (int i = 0; i < 1000 && g_finishedWorkers < kRuns; ++i) Sleep(5);
    EXPECT_EQ(g_finishedWorkers.load(), kRuns);
    EXPECT_EQ(cancelledRuns + finishedRuns, kRuns);
    std::printf("cancel stress: %d runs, %d cancelled, %d finished first, %lu ms\n", kRuns, cancelledRuns,
                finishedRuns, GetTickCount() - start);
}

}  // namespace
}  // namespace qm
