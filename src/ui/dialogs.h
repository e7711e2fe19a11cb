#pragma once
// Message boxes, questions and choosers as the operations use them; the platform dialogs sit behind this port.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

inline constexpr wchar_t kCaption[] = L"Torvane - Quillmark";
inline constexpr wchar_t kErrorPrefix[] = L"Error : \r\n\r\n";

// A window of the platform, passed through the core untouched; 0 is none.
using WindowRef = std::uintptr_t;

enum class MessageKind { Plain, Error };
enum class Answer { Ok, Cancel, Yes, No };

// Chooser flags of the platform's file dialogs.
inline constexpr std::uint32_t kChooserOpenFlags = 0x181806;   // explorer, no link dereference, file and path must
                                                               // exist, hide read-only, overwrite prompt
inline constexpr std::uint32_t kChooserMultiSelect = 0x200;
inline constexpr std::uint32_t kChooserSaveFlags = 0x80802;    // explorer, path must exist, overwrite prompt
inline constexpr std::size_t kChooserBufferChars = 0x82000;    // 532480
inline constexpr std::uint32_t kFolderChooserFlags = 0x21;     // file-system folders only, validate

struct FileDialogRequest {
    bool open = true;
    std::uint32_t flags = 0;
    WindowRef owner = 0;
    std::wstring defaultExtension;
    std::wstring initialFolder;
    std::wstring filter;  // pairs of description and pattern, each ended by a zero, and one more zero
    std::wstring title;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // A box with the caption and an OK button; the error kind has the error icon.
    virtual void Message(WindowRef owner, MessageKind kind, const std::wstring& text) = 0;
    // A question with Yes and No (cancel adds a Cancel button); the answer given.
    virtual Answer Ask(WindowRef owner, const std::wstring& text, bool withCancel) = 0;
    // The folder chooser; nothing when cancelled or when the choice has no file-system path.
    virtual std::optional<std::wstring> ChooseFolder(WindowRef owner, const std::wstring& title) = 0;
    // The file dialog working on buffer (its first characters hold the initial name); false on cancel or failure.
    virtual bool RunFileDialog(const FileDialogRequest& request, std::vector<wchar_t>& buffer) = 0;
};

void ShowMessage(UserDialogs& dialogs, const std::wstring& text);
void ShowError(UserDialogs& dialogs, WindowRef owner, const std::wstring& text);
// The error box's full text.
std::wstring ErrorBoxText(const std::wstring& text);

// Outcome of the folder chooser as the multi-file download reads it: the output text is emptied on cancel,
// left as it was when the chosen item has no path.
bool BrowseForFolder(UserDialogs& dialogs, std::wstring& output, const std::wstring& title, WindowRef owner);

// Filters the operations pass to the file chooser.
std::wstring UploadFilter();   // "All Files", "*.*"
std::wstring AllFilesFilter(); // "All Files (*.*)", "*.*"

}  // namespace qm
