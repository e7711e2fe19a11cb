#pragma once
// Files dropped on a document window, waiting for the page to ask for their upload.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qm {

// A document window as a table key.
using WindowKey = std::uintptr_t;

// One dropped item as the platform reported it.
struct DroppedItem {
    std::wstring path;
    bool isFolder = false;
};

// The items that are uploaded: files, in drop order. Folders and items without a path are left out.
std::vector<std::wstring> FilesOfDrop(const std::vector<DroppedItem>& items);

// The ";"-joined form of a list, as shown to people.
std::wstring JoinDroppedPaths(const std::vector<std::wstring>& paths);
// Splits at every ";", keeping empty pieces.
std::vector<std::wstring> SplitListText(const std::wstring& text, wchar_t separator);

// Window -> pending files. An absent entry and an empty entry both mean nothing is pending but answer the page
// differently. The paths are kept as a list rather than as joined text: a file name may itself hold ";".
// Drops can arrive on several browser threads of one process, hence the lock.
// An entry may own a scratch folder (saved mail items); whoever ends the entry's life gets the folder to remove.
class DroppedFileTable {
public:
    // Replaces the window's entry (also with an empty list). Returns the replaced entry's scratch folder.
    std::wstring Replace(WindowKey window, std::vector<std::wstring> files, std::wstring scratch = {});
    // The window's entry, if it has one.
    std::optional<std::vector<std::wstring>> Find(WindowKey window) const;
    // Takes the pending files (and their scratch folder) and leaves an empty entry (created when absent). Nothing
    // when there was no entry.
    std::optional<std::vector<std::wstring>> Take(WindowKey window, std::wstring* scratch = nullptr);
    // Forgets the window: a later window with the same handle must not inherit its files. Returns the scratch
    // folder of the forgotten entry.
    std::wstring Forget(WindowKey window);

private:
    struct Entry {
        std::vector<std::wstring> files;
        std::wstring scratch;
    };
    mutable std::mutex lock_;
    std::map<WindowKey, Entry> entries_;
};

// The process's table.
DroppedFileTable& TheDroppedFileTable();

// How long UploadDroppedFiles waits before it looks, so a drop still on its way can land.
inline constexpr unsigned kDroppedFilesWaitMs = 3000;

using WaitFunction = std::function<void(unsigned milliseconds)>;
using HandOverFunction = std::function<void(const std::vector<std::wstring>& files)>;
using RemoveFolderFunction = std::function<void(const std::wstring& folder)>;

// UploadDroppedFiles without the platform: waits, then takes the window's pending files and hands them over;
// once the hand-over has ended (also by an exception), their scratch folder is removed.
// 0 when files were handed over or the window had no entry, 1 when its entry was empty. The hand-over's own
// result is not passed on.
int UploadDroppedFilesFrom(DroppedFileTable& table, WindowKey window, const WaitFunction& wait,
                           const HandOverFunction& handOver, const RemoveFolderFunction& removeScratch = {});

}  // namespace qm
