#include "control/dropped_files.h"

#include "localfiles/file_helpers.h"

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
    return SplitText(text, separator);
}

std::wstring DroppedFileTable::Replace(WindowKey window, std::vector<std::wstring> files, std::wstring scratch) {
    const std::lock_guard<std::mutex> hold(lock_);
    Entry& entry = entries_[window];
    std::wstring replaced = std::move(entry.scratch);
    entry = {std::move(files), std::move(scratch)};
    return replaced == entry.scratch ? std::wstring() : replaced;
}

std::optional<std::vector<std::wstring>> DroppedFileTable::Find(WindowKey window) const {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto found = entries_.find(window);
    if (found == entries_.end()) return std::nullopt;
    return found->second.files;
}

std::optional<std::vector<std::wstring>> DroppedFileTable::Take(WindowKey window, std::wstring* scratch) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto found = entries_.find(window);
    if (found == entries_.end()) {
        entries_.emplace(window, Entry());
        return std::nullopt;
    }
    std::vector<std::wstring> files;
    files.swap(found->second.files);
    std::wstring folder = std::move(found->second.scratch);
    found->second.scratch.clear();
    if (scratch) *scratch = std::move(folder);
    return files;
}

std::wstring DroppedFileTable::Forget(WindowKey window) {
    const std::lock_guard<std::mutex> hold(lock_);
    const auto found = entries_.find(window);
    if (found == entries_.end()) return std::wstring();
    std::wstring scratch = std::move(found->second.scratch);
    entries_.erase(found);
    return scratch;
}

DroppedFileTable& TheDroppedFileTable() {
    static DroppedFileTable table;
    return table;
}

int UploadDroppedFilesFrom(DroppedFileTable& table, WindowKey window, const WaitFunction& wait,
                           const HandOverFunction& handOver, const RemoveFolderFunction& removeScratch) {
    if (wait) wait(kDroppedFilesWaitMs);
    std::wstring scratch;
    const auto pending = table.Take(window, &scratch);
    // Saved mail items are copies made for this upload; they must not outlive it.
    struct RemoveAfter {
        const RemoveFolderFunction& remove;
        const std::wstring& folder;
        ~RemoveAfter() {
            if (remove && !folder.empty()) remove(folder);
        }
    } removeAfter{removeScratch, scratch};
    if (!pending) return 0;
    if (pending->empty()) return 1;
    // The entry is already empty, so page script that runs during the upload cannot start the same files again.
    if (handOver) handOver(*pending);
    return 0;
}

}  // namespace qm
