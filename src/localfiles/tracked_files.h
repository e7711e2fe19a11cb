#pragma once
// Local copies opened for editing, remembered so that a changed copy can be sent back to the file store.
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "localfiles/file_system.h"

namespace qm {

enum class TrackedState : std::int32_t { Waiting = 201, Sent = 202, Checking = 203 };

struct TrackedFile {
    virtual ~TrackedFile() = default;

    std::wstring FileName;  // the entry's key, compared without regard to case
    std::wstring LocalPath;
    std::wstring PrimKey;
    std::wstring ViewName;
    std::wstring UploadViewName;
    FileTime LastWriteTime = 0;
    std::optional<FileIdentity> Identity;  // of the copy when it was registered
    TrackedState State = TrackedState::Waiting;
    std::wstring BeforeUploadScript;
    std::wstring AfterUploadScript;
    std::wstring ElementId;
    std::int32_t FileNameUtf8 = 0;  // sent back with its name in UTF-8, as the element asked
};

// The entries of one control object, newest first. Used only on the UI thread.
class TrackedFileList {
public:
    using Entries = std::list<std::unique_ptr<TrackedFile>>;

    Entries& Items() noexcept { return entries_; }
    const Entries& Items() const noexcept { return entries_; }
    std::size_t Size() const noexcept { return entries_.size(); }
    // The entry registered under this file name (any letter case), or null.
    TrackedFile* Find(const std::wstring& fileName);
    // Removes and destroys every entry with this file name; how many went.
    std::size_t RemoveNamed(const std::wstring& fileName);
    void PushFront(std::unique_ptr<TrackedFile> entry) { entries_.push_front(std::move(entry)); }

    // A file this control wrote itself in a download that completed. Only such a file, or one in an entry, may
    // be registered again or sent back without asking the user: any other path may be a file of the user's.
    // The file is known by its path and by its identity: another file put there later, under the same name, is
    // not the control's.
    void RememberOwnCopy(const std::wstring& path, FileSystem& fs);
    bool IsOwnCopy(const std::wstring& path, FileSystem& fs) const;

private:
    struct OwnCopy {
        std::wstring path;  // canonical
        std::optional<FileIdentity> identity;
    };
    Entries entries_;
    std::list<OwnCopy> ownCopies_;  // newest first, bounded
};

// Registers a copy opened for editing: replaces any entry of the same file name and records the copy's
// current last-write time (0 when it cannot be read, so the next check sees a change and asks the user
// rather than losing an edit).
TrackedFile& TrackEditedFile(TrackedFileList& list, FileSystem& fs, const std::wstring& localPath,
                             const std::wstring& fileName, const std::wstring& primKey, const std::wstring& elementId,
                             const std::wstring& viewName, const std::wstring& uploadViewName,
                             const std::wstring& beforeUploadScript, const std::wstring& afterUploadScript);

}  // namespace qm
