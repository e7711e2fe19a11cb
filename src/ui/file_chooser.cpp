#include "ui/file_chooser.h"

#include <algorithm>

namespace qm {

bool FileChooser::Show(bool open, bool multiSelect, WindowRef owner, const std::wstring& defaultExtension,
                       const std::wstring& initialName, const std::wstring& initialFolder,
                       const std::wstring& filter, const std::wstring& title) {
    buffer_.assign(kChooserBufferChars, L'\0');
    std::copy_n(initialName.begin(), std::min(initialName.size(), kChooserBufferChars - 2), buffer_.begin());

    FileDialogRequest request;
    request.open = open;
    request.flags = open ? kChooserOpenFlags | (multiSelect ? kChooserMultiSelect : 0) : kChooserSaveFlags;
    request.owner = owner;
    request.defaultExtension = defaultExtension;
    request.initialFolder = initialFolder;
    request.filter = filter;
    request.title = title;

    bool confirmed = false;
    try {
        confirmed = dialogs_.RunFileDialog(request, buffer_);
    } catch (...) {
        confirmed = false;
    }
    // The walk relies on a final empty string; a buffer the dialog filled to the end is treated as a failure.
    if (!confirmed || buffer_.size() < 2 || buffer_[buffer_.size() - 1] != L'\0') {
        buffer_.clear();
        return false;
    }
    if (!multiSelect) {
        auto end = std::find(buffer_.begin(), buffer_.end(), L'\0');
        if (end + 1 != buffer_.end()) *(end + 1) = L'\0';
    }
    return true;
}

std::wstring FileChooser::StringAt(std::size_t pos) const {
    if (pos >= buffer_.size()) return {};
    auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(pos);
    return std::wstring(begin, std::find(begin, buffer_.end(), L'\0'));
}

FileChooser::Cursor FileChooser::FirstSelection() const {
    if (buffer_.empty()) return std::nullopt;
    std::size_t second = StringAt(0).size() + 1;
    if (!StringAt(second).empty()) return second;
    return std::size_t{0};
}

std::wstring FileChooser::NextPath(Cursor& cursor) {
    if (!cursor || buffer_.empty()) {
        cursor.reset();
        return {};
    }
    if (*cursor == 0) {
        std::wstring path = StringAt(0);
        cursor.reset();
        buffer_.clear();
        return path;
    }
    std::wstring name = StringAt(*cursor);
    std::wstring path = StringAt(0) + L"\\" + name;
    std::size_t next = *cursor + name.size() + 1;
    if (StringAt(next).empty()) {
        cursor.reset();
        buffer_.clear();
    } else {
        cursor = next;
    }
    return path;
}

std::vector<std::wstring> FileChooser::TakeAllPaths() {
    std::vector<std::wstring> paths;
    for (Cursor cursor = FirstSelection(); cursor;) paths.push_back(NextPath(cursor));
    return paths;
}

}  // namespace qm
