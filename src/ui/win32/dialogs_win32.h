#pragma once
// The platform's message boxes, folder chooser and common file dialogs behind the dialogs port.
#include <windows.h>

#include "ui/dialogs.h"

namespace qm {

inline HWND ToHwnd(WindowRef window) { return reinterpret_cast<HWND>(window); }
inline WindowRef ToWindowRef(HWND window) { return reinterpret_cast<WindowRef>(window); }

class Win32Dialogs : public UserDialogs {
public:
    void Message(WindowRef owner, MessageKind kind, const std::wstring& text) override;
    Answer Ask(WindowRef owner, const std::wstring& text, bool withCancel) override;
    std::optional<std::wstring> ChooseFolder(WindowRef owner, const std::wstring& title) override;
    bool RunFileDialog(const FileDialogRequest& request, std::vector<wchar_t>& buffer) override;
};

// The process's dialogs: the platform's.
UserDialogs& PlatformDialogs();

}  // namespace qm
