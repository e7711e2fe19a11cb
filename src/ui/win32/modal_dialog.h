#pragma once
// The base of the control's modal dialogs: one procedure that finds the object, owner-drawn buttons drawn by
// themselves, centring on the owner's monitor, and Escape taken as the Cancel button.
#include <windows.h>

namespace qm {

class ModalDialog {
protected:
    ModalDialog() = default;
    ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the template modally over the owner; the end code, or -1 when the dialog could not be created.
    INT_PTR RunModal(int templateId, HWND owner);
    // The dialog's own handling of a message; FALSE leaves it to the system.
    virtual INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Moves the window, at its present size, over the centre of a visible, not minimised owner, else of the work
    // area of the monitor the owner (or the dialog) is on; kept inside that work area.
    void CentreOnOwner();
    // Escape arrives as IDCANCEL, which is also the id of every Cancel button of these dialogs.
    static bool IsCancel(WPARAM wParam) { return LOWORD(wParam) == IDCANCEL; }

    HWND window_ = nullptr;  // while the dialog runs

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace qm
