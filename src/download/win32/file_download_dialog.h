#pragma once
// The File Download dialog (template 104) on Windows: Open, Save and Cancel drawn as hover buttons.
#include <windows.h>

#include "common/win32/owners.h"
#include "download/download_ports.h"
#include "ui/win32/hover_button.h"
#include "ui/win32/modal_dialog.h"

namespace qm {

class FileDownloadDialog final : public FileDownloadPrompt, private ModalDialog {
public:
    // Modal over the owner; the end code, or -1 when the dialog could not be created.
    int Run(WindowRef owner, const FileDownloadValues& values) override;

    // For tests: the window while it runs, and a hook called once it is initialised.
    HWND Window() const { return window_; }
    void (*onShown)(FileDownloadDialog&, void* context) = nullptr;
    void* onShownContext = nullptr;
    const FileDownloadState& State() const { return state_; }

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Initialise();
    void FitTexts();

    const FileDownloadValues* values_ = nullptr;
    FileDownloadState state_;
    UniqueHfont boldFont_;
    UniqueHicon icon_;
    HoverButton open_, save_, cancel_;
};

// The system's type name and large icon for a file-name pattern such as "*.doc"; the file need not exist.
// The icon (may be null) belongs to the caller.
struct FileTypeInfo {
    std::wstring typeName;
    HICON icon = nullptr;
};
FileTypeInfo LookUpFileType(const std::wstring& pattern);

}  // namespace qm
