#pragma once
// One use of the file chooser: shows the platform dialog and walks its result buffer as full paths.
#include <optional>
#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace qm {

class FileChooser {
public:
    // A position in the result buffer.
    using Cursor = std::optional<std::size_t>;

    explicit FileChooser(UserDialogs& dialogs) : dialogs_(dialogs) {}

    bool Show(bool open, bool multiSelect, WindowRef owner, const std::wstring& defaultExtension,
              const std::wstring& initialName, const std::wstring& initialFolder, const std::wstring& filter,
              const std::wstring& title);
    Cursor FirstSelection() const;
    std::wstring NextPath(Cursor& cursor);

    // All chosen paths in the dialog's order.
    std::vector<std::wstring> TakeAllPaths();

private:
    std::wstring StringAt(std::size_t pos) const;

    UserDialogs& dialogs_;
    std::vector<wchar_t> buffer_;
};

}  // namespace qm
