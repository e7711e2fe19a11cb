#include "upload/win32/save_to_server_dialog.h"

#include "ui/win32/dialogs_win32.h"
#include "upload/save_to_server_resource.h"

namespace qm {

int SaveToServerDialog::Run(WindowRef owner, const std::wstring& fileName) {
    fileName_ = &fileName;
    HWND ownerWindow = owner ? ToHwnd(owner) : GetActiveWindow();
    const INT_PTR code = RunModal(IDD_SAVE_TO_SERVER, ownerWindow);
    fileName_ = nullptr;
    return code == 0 || code == -1 ? -1 : static_cast<int>(code);
}

void SaveToServerDialog::Initialise() {
    CentreOnOwner();
    SetDlgItemTextW(window_, IDC_STS_FILE_NAME, fileName_ ? fileName_->c_str() : L"");
    SetForegroundWindow(window_);
    SetFocus(window_);
    save_.Bind(GetDlgItem(window_, IDC_STS_SAVE));
    cancel_.Bind(GetDlgItem(window_, IDC_STS_CANCEL));
}

INT_PTR SaveToServerDialog::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise();
            if (onShown) onShown(*this, onShownContext);
            return FALSE;  // the focus was set here
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            if (LOWORD(wParam) == IDC_STS_SAVE) {
                EndDialog(window_, IDR_STS_SAVE);
                return TRUE;
            }
            if (IsCancel(wParam)) {
                EndDialog(window_, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace qm
