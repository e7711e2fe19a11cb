#include "control/dropped_files.h"

namespace qm {

std::vector<std::wstring> FilesOfDrop(const std::vector<DroppedItem>& items) {
    std::vector<std::wstring> files;
    for (const auto& item : items)
        if (!item.isFolder && !item.path.empty()) files.push_back(item.path);
    return files;
}

std::wstring JoinDroppedPaths(const std::vector<std::wstring>& paths) {
    std::wstring text;
    for (const auto& path : paths) {
        if (!text.empty()) text += L';';
        text += path;
    }
    return text;
}

std::vector<std::wstring> SplitListText(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return pieces;
}

void DroppedFileTable::Replace(WindowKey window, std::vector<std::wstring> files) {
    const std::lock_guard<std::mutex> hold(lock_);
    entries_[window] = std::move(files);
}

std::optional<std::vector<std::wstring>> DroppedFileTable::Find(WindowKey window) const {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto found = entries_.find(window);
    if (found == entries_.end()) return std::nullopt;
    return found->second;
}

std::optional<std::vector<std::wstring>> DroppedFileTable::Take(WindowKey window) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto found = entries_.find(window);
    if (found == entries_.end()) {
        entries_.emplace(window, std::vector<std::wstring>());
        return std::nullopt;
    }
    std::vector<std::wstring> files;
    files.swap(found->second);
    return files;
}

void DroppedFileTable::Forget(WindowKey window) {
    const std::lock_guard<std::mutex> hold(lock_);
    entries_.erase(window);
}

DroppedFileTable& TheDroppedFileTable() {
    static DroppedFileTable table;
    return table;
}

int UploadDroppedFilesFrom(DroppedFileTable& table, WindowKey window, const WaitFunction& wait,
                           const HandOverFunction& handOver) {
    if (wait) wait(kDroppedFilesWaitMs);
    const auto pending = table.Take(window);
    if (!pending) return 0;
    if (pending->empty()) return 1;
    // The entry is already empty, so page script that runs during the upload cannot start the same files again.
    if (handOver) handOver(*pending);
    return 0;
}

}  // namespace qm
