#include "ui/win32/progress_dialog.h"

#include <commctrl.h>

#include "common/errors.h"
#include "ui/progress_resource.h"
#include "ui/win32/progress_accessible.h"

namespace qm {

namespace {

constexpr UINT_PTR kSubclassId = 0x5044;  // "PD"
constexpr UINT_PTR kBarSubclassId = 0x5042;  // "PB"
constexpr UINT_PTR kRefreshTimer = 1;

struct WorkerStart {
    std::shared_ptr<Win32ProgressDialog> dialog;
    Win32ProgressDialog::WorkerBody body;
    UniqueHmodule module;  // the worker's own reference on the module holding its code
};

// A reference on the module that holds this code, so that it stays mapped while a worker runs even after the
// page let go of every object and the browser unloaded unused modules. Null when it cannot be had.
HMODULE ReferenceOwnModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&ReferenceOwnModule), &module))
        return nullptr;
    return module;
}

void RunWorkerBody(WorkerStart* parameter) {
    std::unique_ptr<WorkerStart> start(parameter);
    try {
        start->body(*start->dialog);
    } catch (...) {
        // Nothing may escape the thread; without an end the user would be left with a dialog that never closes.
        start->dialog->End(kEndDownloadFailed);
    }
}

void Place(HWND dialog, int control, const PixelRect& r) {
    SetWindowPos(GetDlgItem(dialog, control), HWND_BOTTOM, r.x, r.y, r.width, r.height, SWP_NOACTIVATE);
}

}  // namespace

std::shared_ptr<Win32ProgressDialog> Win32ProgressDialog::Create() {
    return std::shared_ptr<Win32ProgressDialog>(new Win32ProgressDialog());
}

Win32ProgressDialog::~Win32ProgressDialog() = default;

void Win32ProgressDialog::SetScriptRequestHandler(ScriptRequestHandler handler) { scriptHandler_ = std::move(handler); }

void Win32ProgressDialog::StartWorker(WorkerBody body) {
    if (worker_) throw Error(L"The transfer has already started.");
    auto* start = new WorkerStart{shared_from_this(), std::move(body), UniqueHmodule(ReferenceOwnModule())};
    HANDLE thread = CreateThread(nullptr, 0, &Win32ProgressDialog::WorkerEntry, start, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        const DWORD code = GetLastError();
        delete start;
        throw Error(L"Cannot start the transfer (error " + std::to_wstring(code) + L").");
    }
    worker_.reset(thread);
    ResumeThread(thread);
}

DWORD WINAPI Win32ProgressDialog::WorkerEntry(void* parameter) {
    auto* start = static_cast<WorkerStart*>(parameter);
    const HMODULE module = start->module.release();
    RunWorkerBody(start);  // every object of the worker is gone when this returns
    // The release and the thread's end are one call: no code of the module runs after the reference is gone.
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

bool Win32ProgressDialog::WaitForWorker(DWORD milliseconds) const {
    return worker_ && WaitForSingleObject(worker_.get(), milliseconds) == WAIT_OBJECT_0;
}

INT_PTR Win32ProgressDialog::Run(HWND owner) {
    std::shared_ptr<Win32ProgressDialog> keep = shared_from_this();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const INT_PTR code = RunModal(IDD_PROGRESS, owner);
    state_.Finished();
    return code;
}

void Win32ProgressDialog::Initialise() {
    HWND dialog = window_;
    SetWindowSubclass(dialog, &Win32ProgressDialog::SubclassProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

    openButton_.Bind(GetDlgItem(dialog, IDC_PROGRESS_OPEN));
    openFolderButton_.Bind(GetDlgItem(dialog, IDC_PROGRESS_OPEN_FOLDER));
    cancelButton_.Bind(GetDlgItem(dialog, IDC_PROGRESS_CANCEL));

    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(ProgressBarUpper(Job().ProgressRange)));
    SendMessageW(bar, PBM_SETSTEP, 1, 0);
    if (bar) SetWindowSubclass(bar, &Win32ProgressDialog::BarSubclassProcedure, kBarSubclassId,
                               reinterpret_cast<DWORD_PTR>(this));

    const ProgressLayout layout = LayoutForMode(Job().Mode);
    if (layout.compact) {
        RECT cancel{kCompactCancelUnits.x, kCompactCancelUnits.y, kCompactCancelUnits.width,
                    kCompactCancelUnits.height};
        MapDialogRect(dialog, &cancel);  // maps each value on its own: right and bottom hold the size
        Place(dialog, IDC_PROGRESS_CANCEL, PixelRect{cancel.left, cancel.top, cancel.right, cancel.bottom});
        // Hidden, not left to fall outside the shortened window: a taller font would show them.
        for (const int hidden : {IDC_PROGRESS_CLOSE_WHEN_DONE, IDC_PROGRESS_OPEN, IDC_PROGRESS_OPEN_FOLDER})
            ShowWindow(GetDlgItem(dialog, hidden), SW_HIDE);
        RECT client{};
        GetClientRect(dialog, &client);
        RECT height{0, 0, 0, kCompactClientHeightUnits};
        MapDialogRect(dialog, &height);
        RECT frame{0, 0, client.right, height.bottom};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
        SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    CentreOnOwner();

    if (layout.showCloseCheckBox) ShowWindow(GetDlgItem(dialog, IDC_PROGRESS_CLOSE_WHEN_DONE), SW_SHOW);
    if (layout.checkCloseCheckBox) CheckDlgButton(dialog, IDC_PROGRESS_CLOSE_WHEN_DONE, BST_CHECKED);
    if (layout.hideOpenButton) ShowWindow(GetDlgItem(dialog, IDC_PROGRESS_OPEN), SW_HIDE);

    // What the windows show now, so that only differing texts are written.
    wchar_t text[300];
    GetWindowTextW(dialog, text, 300);
    Board().Shown(ProgressField::Caption, text);
    GetDlgItemTextW(dialog, IDC_PROGRESS_RATE, text, 300);
    Board().Shown(ProgressField::Rate, text);
    GetDlgItemTextW(dialog, IDC_PROGRESS_TIMELEFT, text, 300);
    Board().Shown(ProgressField::TimeLeft, text);
    {
        std::lock_guard<std::mutex> lock(textMutex_);
        GetDlgItemTextW(dialog, IDC_PROGRESS_STATUS, text, 300);
        shownStatus_ = text;
        GetDlgItemTextW(dialog, IDC_PROGRESS_PATH, text, 300);
        shownPath_ = text;
    }
    SetTimer(dialog, kRefreshTimer, kProgressRefreshMs, nullptr);

    // From here on the worker reaches the window; carry out what it asked for before.
    const ProgressWindowState::Deferred deferred = state_.Created(dialog);
    if (deferred.enableOpenButtons) {
        EnableWindow(GetDlgItem(dialog, IDC_PROGRESS_OPEN), TRUE);
        EnableWindow(GetDlgItem(dialog, IDC_PROGRESS_OPEN_FOLDER), TRUE);
    }
    if (deferred.end) EndNow(*deferred.end);
}

void Win32ProgressDialog::ApplyShownTexts() {
    const std::wstring status = Job().StatusText.Get();
    const std::wstring path = Job().PathText.Get();
    SetDlgItemTextW(window_, IDC_PROGRESS_STATUS, status.c_str());
    SetDlgItemTextW(window_, IDC_PROGRESS_PATH, path.c_str());
    RememberText(IDC_PROGRESS_STATUS, status);
    RememberText(IDC_PROGRESS_PATH, path);
}

void Win32ProgressDialog::EndNow(int code) {
    if (!state_.ClaimEnd()) return;
    ApplyPendingSteps();
    FlushProgressTexts();
    EndDialog(window_, code);
}

INT_PTR Win32ProgressDialog::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise();
            return TRUE;
        case WM_SHOWWINDOW:
            if (wParam) ApplyShownTexts();
            return FALSE;
        case WM_TIMER:
            if (wParam == kRefreshTimer) {
                ApplyPendingSteps();
                FlushProgressTexts();
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND: {
            const int control = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (control == IDC_PROGRESS_SCRIPT_REQUEST) {
                // After a cancel the dialog is over even while its window still exists: no page function runs.
                if (code == EN_UPDATE && scriptHandler_ && !Job().Cancelled && !state_.EndClaimed())
                    scriptHandler_(*this);
                return TRUE;
            }
            if (code != BN_CLICKED) return FALSE;
            if (control == IDC_PROGRESS_OPEN) {
                EndNow(kEndOpen);
            } else if (control == IDC_PROGRESS_OPEN_FOLDER) {
                EndNow(kEndOpenFolder);
            } else if (IsCancel(wParam)) {
                if (BeginCancel(state_)) {
                    EnableWindow(GetDlgItem(window_, IDCANCEL), FALSE);
                    EndDialog(window_, kEndCancelled);
                }
            } else {
                return FALSE;
            }
            return TRUE;
        }
        case WM_CLOSE:
            return TRUE;  // only the buttons and Escape end the dialog
        case WM_DESTROY:
            KillTimer(window_, kRefreshTimer);
            state_.Destroyed();
            return FALSE;
        default:
            return FALSE;
    }
}

LRESULT CALLBACK Win32ProgressDialog::SubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                        UINT_PTR, DWORD_PTR self) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, &Win32ProgressDialog::SubclassProcedure, kSubclassId);
        return DefSubclassProc(window, message, wParam, lParam);
    }
    bool handled = false;
    LRESULT result = reinterpret_cast<Win32ProgressDialog*>(self)->HandleSubclassed(message, wParam, lParam, handled);
    return handled ? result : DefSubclassProc(window, message, wParam, lParam);
}

LRESULT Win32ProgressDialog::HandleSubclassed(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    (void)lParam;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(wParam);
    if (!text) text = L"";
    handled = true;
    switch (message) {
        case PDM_SETCAPTION:
        case PDM_SETTIMELEFT:
        case PDM_SETRATE:
        case kProgressEndMessage:
            // Earlier progress texts go first, so these windows show the worker's texts in the order it made them.
            FlushProgressTexts();
            break;
        case PDM_SETSTATUS:
        case PDM_STEPIT:
        case PDM_SETRANGE:
        case PDM_SETPATH:
        case kProgressEnableOpenMessage:
            break;
        default:
            handled = false;
            return 0;
    }
    switch (message) {
        case PDM_SETSTATUS:
            SetDlgItemTextW(window_, IDC_PROGRESS_STATUS, text);
            RememberText(IDC_PROGRESS_STATUS, text);
            break;
        case PDM_STEPIT:
            // The bar is brought up to date at display pace: a repaint per step would hold up the worker.
            ++pendingSteps_;
            break;
        case PDM_SETRANGE:
            SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0,
                                static_cast<LPARAM>(ProgressBarUpper(static_cast<std::uint32_t>(wParam))));
            break;
        case PDM_SETCAPTION:
            SetWindowTextW(window_, text);
            Board().Shown(ProgressField::Caption, text);
            break;
        case PDM_SETTIMELEFT:
            SetDlgItemTextW(window_, IDC_PROGRESS_TIMELEFT, text);
            Board().Shown(ProgressField::TimeLeft, text);
            break;
        case PDM_SETRATE:
            SetDlgItemTextW(window_, IDC_PROGRESS_RATE, text);
            Board().Shown(ProgressField::Rate, text);
            break;
        case PDM_SETPATH:
            SetDlgItemTextW(window_, IDC_PROGRESS_PATH, text);
            RememberText(IDC_PROGRESS_PATH, text);
            break;
        case kProgressEndMessage:
            EndNow(static_cast<int>(static_cast<INT_PTR>(wParam)));
            break;
        case kProgressEnableOpenMessage:
            EnableWindow(GetDlgItem(window_, IDC_PROGRESS_OPEN), TRUE);
            EnableWindow(GetDlgItem(window_, IDC_PROGRESS_OPEN_FOLDER), TRUE);
            break;
    }
    return 0;
}

LRESULT CALLBACK Win32ProgressDialog::BarSubclassProcedure(HWND bar, UINT message, WPARAM wParam, LPARAM lParam,
                                                           UINT_PTR, DWORD_PTR self) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(bar, &Win32ProgressDialog::BarSubclassProcedure, kBarSubclassId);
    } else if (message == WM_GETOBJECT) {
        reinterpret_cast<Win32ProgressDialog*>(self)->ApplyPendingSteps();
        if (const LRESULT object = AnswerProgressBarObject(bar, wParam, lParam)) return object;
    } else if (message > WM_USER && message <= WM_USER + 0x20 && message != PBM_STEPIT) {
        // Whoever asks or sets the bar (position, range) sees every step the worker has sent first, so steps
        // before a range change count under the old range.
        reinterpret_cast<Win32ProgressDialog*>(self)->ApplyPendingSteps();
    }
    return DefSubclassProc(bar, message, wParam, lParam);
}

void Win32ProgressDialog::ApplyPendingSteps() {
    pendingSteps_ += queuedSteps_.exchange(0, std::memory_order_acquire);
    if (pendingSteps_ == 0 || !window_) return;
    HWND bar = GetDlgItem(window_, IDC_PROGRESS_BAR);
    int steps = pendingSteps_;
    pendingSteps_ = 0;
    if (!bar) return;
    // The bar's own stepping (with its wrap at the top), painted once for all of them.
    const bool visible = (GetWindowLongPtrW(bar, GWL_STYLE) & WS_VISIBLE) != 0;
    if (visible) SendMessageW(bar, WM_SETREDRAW, FALSE, 0);
    while (steps-- > 0) SendMessageW(bar, PBM_STEPIT, 0, 0);
    if (visible) {
        SendMessageW(bar, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(bar, nullptr, TRUE);
    }
}

void Win32ProgressDialog::WriteProgressField(ProgressField field, const std::wstring& text) {
    switch (field) {
        case ProgressField::Caption:
            SetWindowTextW(window_, text.c_str());
            break;
        case ProgressField::Rate:
            SetDlgItemTextW(window_, IDC_PROGRESS_RATE, text.c_str());
            break;
        case ProgressField::TimeLeft:
            SetDlgItemTextW(window_, IDC_PROGRESS_TIMELEFT, text.c_str());
            break;
    }
}

void Win32ProgressDialog::RememberText(int control, const std::wstring& text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    (control == IDC_PROGRESS_STATUS ? shownStatus_ : shownPath_) = text;
}

bool Win32ProgressDialog::AlreadyShows(int control, const std::wstring& text) {
    std::lock_guard<std::mutex> lock(textMutex_);
    return (control == IDC_PROGRESS_STATUS ? shownStatus_ : shownPath_) == text;
}

void Win32ProgressDialog::SendText(UINT message, const std::wstring& text) {
    if (HWND window = Window()) SendMessageW(window, message, reinterpret_cast<WPARAM>(text.c_str()), 0);
}

void Win32ProgressDialog::SetStatus(const std::wstring& text) {
    // The re-upload sends the same status after every read; a line that already shows it needs no round trip.
    if (WindowExists() && AlreadyShows(IDC_PROGRESS_STATUS, text)) return;
    SendText(PDM_SETSTATUS, text);
}

void Win32ProgressDialog::StepIt() {
    HWND window = Window();
    if (!window) return;
    // Steps that come faster than the display can show are handed over without a round trip each; the dialog
    // takes them with its next refresh, or before it handles the worker's next message.
    const ULONGLONG now = GetTickCount64();
    if (now - lastStepSent_ < kProgressRefreshMs) {
        queuedSteps_.fetch_add(1, std::memory_order_release);
        return;
    }
    lastStepSent_ = now;
    SendMessageW(window, PDM_STEPIT, 0, 0);
}

void Win32ProgressDialog::SetRange(std::uint32_t upper) {
    if (HWND window = Window()) SendMessageW(window, PDM_SETRANGE, upper, 0);
}

void Win32ProgressDialog::SetCaption(const std::wstring& text) { SendText(PDM_SETCAPTION, text); }
void Win32ProgressDialog::SetTimeLeft(const std::wstring& text) { SendText(PDM_SETTIMELEFT, text); }
void Win32ProgressDialog::SetRate(const std::wstring& text) { SendText(PDM_SETRATE, text); }

void Win32ProgressDialog::SetPath(const std::wstring& text) {
    if (WindowExists() && AlreadyShows(IDC_PROGRESS_PATH, text)) return;
    SendText(PDM_SETPATH, text);
}

bool Win32ProgressDialog::CloseWhenDoneChecked() {
    if (HWND window = Window())
        return SendDlgItemMessageW(window, IDC_PROGRESS_CLOSE_WHEN_DONE, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (state_.EndClaimed()) return false;
    // Not created yet: the box will open as the layout sets it.
    return LayoutForMode(Job().Mode).checkCloseCheckBox;
}

void Win32ProgressDialog::EnableOpenButtons() {
    void* window = nullptr;
    if (state_.RouteEnableOpenButtons(&window) == ProgressWindowState::Route::Send)
        SendMessageW(static_cast<HWND>(window), kProgressEnableOpenMessage, 0, 0);
}

void Win32ProgressDialog::End(int code) {
    void* window = nullptr;
    if (state_.RouteEnd(code, &window) == ProgressWindowState::Route::Send)
        SendMessageW(static_cast<HWND>(window), kProgressEndMessage, static_cast<WPARAM>(static_cast<INT_PTR>(code)), 0);
}

void Win32ProgressDialog::RequestScript(const std::wstring& name) {
    Job().PendingRequest = name;
    if (Job().Cancelled || !state_.WaitForWindow() || Job().Cancelled) return;
    HWND edit = GetDlgItem(Window(), IDC_PROGRESS_SCRIPT_REQUEST);
    if (edit) SetWindowTextW(edit, name.c_str());
}

}  // namespace qm
