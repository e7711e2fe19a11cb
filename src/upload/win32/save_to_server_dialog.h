#pragma once
// The Save to Server dialog (template 105) on Windows: Save and Cancel drawn as hover buttons.
#include <windows.h>

#include <string>

#include "ui/win32/hover_button.h"
#include "ui/win32/modal_dialog.h"
#include "upload/upload_ports.h"

namespace qm {

class SaveToServerDialog final : public SaveToServerPrompt, private ModalDialog {
public:
    // Modal over the owner (the active window when none is given); 1102, 2, or -1 when it could not be shown.
    int Run(WindowRef owner, const std::wstring& fileName) override;

    // For tests: the window while it runs, its buttons, and a hook called once it is initialised.
    HWND Window() const { return window_; }
    HoverButton& SaveButton() { return save_; }
    HoverButton& CancelButton() { return cancel_; }
    void (*onShown)(SaveToServerDialog&, void* context) = nullptr;
    void* onShownContext = nullptr;

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Initialise();

    const std::wstring* fileName_ = nullptr;
    HoverButton save_, cancel_;
};

}  // namespace qm
