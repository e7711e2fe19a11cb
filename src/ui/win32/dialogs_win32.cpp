#include "ui/win32/dialogs_win32.h"

#include <commdlg.h>
#include <shlobj.h>

#include <memory>

#include "common/win32/owners.h"

namespace qm {

void Win32Dialogs::Message(WindowRef owner, MessageKind kind, const std::wstring& text) {
    UINT type = MB_OK | (kind == MessageKind::Error ? MB_ICONERROR : 0);
    MessageBoxW(ToHwnd(owner), text.c_str(), kCaption, type);
}

Answer Win32Dialogs::Ask(WindowRef owner, const std::wstring& text, bool withCancel) {
    int result = MessageBoxW(ToHwnd(owner), text.c_str(), kCaption, withCancel ? MB_YESNOCANCEL : MB_YESNO);
    switch (result) {
        case IDYES: return Answer::Yes;
        case IDNO: return Answer::No;
        case IDOK: return Answer::Ok;
        default: return Answer::Cancel;
    }
}

std::optional<std::wstring> Win32Dialogs::ChooseFolder(WindowRef owner, const std::wstring& title) {
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = ToHwnd(owner);
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = kFolderChooserFlags;
    const UniqueCoTaskMem<ITEMIDLIST> item(SHBrowseForFolderW(&info));
    if (!item) return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(item.get(), path)) return std::wstring();
    return std::wstring(path);
}

bool Win32Dialogs::RunFileDialog(const FileDialogRequest& request, std::vector<wchar_t>& buffer) {
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // the 76-byte form on 32-bit systems
    ofn.hwndOwner = ToHwnd(request.owner);
    ofn.lpstrFilter = request.filter.empty() ? nullptr : request.filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
    ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    ofn.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    ofn.Flags = request.flags;
    return (request.open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn)) != FALSE;
}

UserDialogs& PlatformDialogs() {
    static Win32Dialogs dialogs;
    return dialogs;
}

}  // namespace qm
