#include "ui/win32/modal_dialog.h"

#include "common/win32/module_instance.h"
#include "ui/progress_layout.h"
#include "ui/win32/hover_button.h"

namespace qm {

namespace {

PixelRect ToPixelRect(const RECT& r) { return PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top}; }

}  // namespace

INT_PTR ModalDialog::RunModal(int templateId, HWND owner) {
    const INT_PTR code = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId), owner,
                                         &ModalDialog::Procedure, reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    return code;
}

INT_PTR CALLBACK ModalDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ModalDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<ModalDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window_ = window;
    } else {
        self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!self) return FALSE;  // messages before WM_INITDIALOG
    }
    if (message == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType == ODT_BUTTON && item->hwndItem) {
            SendMessageW(item->hwndItem, kReflectedMessageBase + WM_DRAWITEM, wParam, lParam);
            SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
    }
    return self->Handle(message, wParam, lParam);
}

void ModalDialog::CentreOnOwner() {
    RECT own{};
    GetWindowRect(window_, &own);
    HWND owner = GetWindow(window_, GW_OWNER);
    const bool overOwner = owner && IsWindowVisible(owner) && !IsIconic(owner);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    // The owner's monitor: with the browser on a second screen its dialogs appear there, not on the primary one.
    if (!GetMonitorInfoW(MonitorFromWindow(overOwner ? owner : window_, MONITOR_DEFAULTTONEAREST), &monitor))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    RECT ownerRect{};
    PixelRect ownerArea;
    const bool haveOwner = overOwner && GetWindowRect(owner, &ownerRect);
    if (haveOwner) ownerArea = ToPixelRect(ownerRect);
    const PixelRect self = ToPixelRect(own);
    const PixelPoint at = CentredPosition(self.width, self.height, haveOwner ? &ownerArea : nullptr,
                                          ToPixelRect(monitor.rcWork));
    SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qm
