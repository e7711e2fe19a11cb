#include "ui/dialogs.h"

namespace qm {

void ShowMessage(UserDialogs& dialogs, const std::wstring& text) { dialogs.Message(0, MessageKind::Plain, text); }

std::wstring ErrorBoxText(const std::wstring& text) { return kErrorPrefix + text; }

void ShowError(UserDialogs& dialogs, WindowRef owner, const std::wstring& text) {
    dialogs.Message(owner, MessageKind::Error, ErrorBoxText(text));
}

bool BrowseForFolder(UserDialogs& dialogs, std::wstring& output, const std::wstring& title, WindowRef owner) {
    std::optional<std::wstring> chosen;
    try {
        chosen = dialogs.ChooseFolder(owner, title);
    } catch (...) {
        output.clear();
        return false;
    }
    if (!chosen) {
        output.clear();
        return false;
    }
    if (chosen->empty()) return false;  // an item without a file-system path
    output = *chosen;
    return true;
}

std::wstring UploadFilter() { return std::wstring(L"All Files\0*.*\0\0", 16); }
std::wstring AllFilesFilter() { return std::wstring(L"All Files (*.*)\0*.*\0\0", 22); }

}  // namespace qm
