#pragma once
// The Save to Server dialog (template 105) on Windows: Save and Cancel drawn as hover buttons.
#include <windows.h>

#include <string>

#include "ui/win32/hover_button.h"
#include "upload/upload_ports.h"

namespace qm {

class SaveToServerDialog final : public SaveToServerPrompt {
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
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Initialise();

    const std::wstring* fileName_ = nullptr;
    HWND window_ = nullptr;
    HoverButton save_, cancel_;
};

}  // namespace qm
