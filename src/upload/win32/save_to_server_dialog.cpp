#include "upload/win32/save_to_server_dialog.h"

#include "common/win32/module_instance.h"
#include "ui/progress_layout.h"
#include "ui/win32/dialogs_win32.h"
#include "upload/save_to_server_resource.h"

namespace qm {

int SaveToServerDialog::Run(WindowRef owner, const std::wstring& fileName) {
    fileName_ = &fileName;
    HWND ownerWindow = owner ? ToHwnd(owner) : GetActiveWindow();
    const INT_PTR code = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_SAVE_TO_SERVER), ownerWindow,
                                         &SaveToServerDialog::Procedure, reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    fileName_ = nullptr;
    return code == 0 || code == -1 ? -1 : static_cast<int>(code);
}

INT_PTR CALLBACK SaveToServerDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SaveToServerDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<SaveToServerDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
    } else {
        self = reinterpret_cast<SaveToServerDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

void SaveToServerDialog::Initialise() {
    RECT r{}, work{}, ownerRect{};
    GetWindowRect(window_, &r);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const PixelRect workArea{work.left, work.top, work.right - work.left, work.bottom - work.top};
    HWND owner = GetWindow(window_, GW_OWNER);
    PixelRect ownerArea;
    const PixelRect* ownerPtr = nullptr;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner) && GetWindowRect(owner, &ownerRect)) {
        ownerArea = {ownerRect.left, ownerRect.top, ownerRect.right - ownerRect.left, ownerRect.bottom - ownerRect.top};
        ownerPtr = &ownerArea;
    }
    const PixelPoint at = CentredPosition(r.right - r.left, r.bottom - r.top, ownerPtr, workArea);
    SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetDlgItemTextW(window_, IDC_STS_FILE_NAME, fileName_ ? fileName_->c_str() : L"");
    SetForegroundWindow(window_);
    SetFocus(window_);
    save_.Bind(GetDlgItem(window_, IDC_STS_SAVE));
    cancel_.Bind(GetDlgItem(window_, IDC_STS_CANCEL));
}

INT_PTR SaveToServerDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise();
            if (onShown) onShown(*this, onShownContext);
            return FALSE;  // the focus was set here
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item && item->CtlType == ODT_BUTTON) {
                SendMessageW(item->hwndItem, kReflectedMessageBase + WM_DRAWITEM, wParam, lParam);
                SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            if (LOWORD(wParam) == IDC_STS_SAVE) {
                EndDialog(window_, IDR_STS_SAVE);
                return TRUE;
            }
            // Escape arrives as IDCANCEL, which is the Cancel button's id.
            if (LOWORD(wParam) == IDC_STS_CANCEL) {
                EndDialog(window_, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace qm
