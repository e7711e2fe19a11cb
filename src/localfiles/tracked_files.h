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
    FileTime Made = 0;                       // when the journal first kept the entry (UTC); 0 until then
    bool Stale = false;                      // kept longer than the journal keeps entries
    TrackedState State = TrackedState::Waiting;
    std::wstring BeforeUploadScript;
    std::wstring AfterUploadScript;
    std::wstring ElementId;
    std::int32_t FileNameUtf8 = 0;  // sent back with its name in UTF-8, as the element asked
};

// Where a copy the control wrote came from: the record, and the server's update time of the copy it was made
// from (0 when not known).
struct CopyOrigin {
    std::wstring ViewName;
    std::wstring PrimKey;
    FileTime ServerUpdated = 0;
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
    // Removes and destroys every entry of this record (view and key, any letter case) or of this local file;
    // how many went. Two records may have files of the same name: each keeps its entry.
    std::size_t RemoveFor(const std::wstring& viewName, const std::wstring& primKey, const std::wstring& localPath);
    void PushFront(std::unique_ptr<TrackedFile> entry) { entries_.push_front(std::move(entry)); }

    // A file this control wrote itself in a download that completed. Only such a file, or one in an entry, may
    // be registered again or sent back without asking the user: any other path may be a file of the user's.
    // The file is known by its path and by its identity: another file put there later, under the same name, is
    // not the control's.
    // The write time the file has now is the one the control left.
    void RememberOwnCopy(const std::wstring& path, FileSystem& fs, CopyOrigin origin = {});
    bool IsOwnCopy(const std::wstring& path, FileSystem& fs) const;
    // Where the copy at the path came from when it holds edits the server has not had: the control wrote a copy
    // there and its write time has changed since it was written or last sent. Known by the path alone: an editor
    // that saves by replacing the file must not make its edits look like nobody's.
    std::optional<CopyOrigin> UnsentEdits(const std::wstring& path, FileSystem& fs) const;
    // The copy at the path was sent: what it holds now is what the server holds.
    void MarkSent(const std::wstring& path, FileSystem& fs);
    // Whether a copy at the path was sent, or let go, since the list began.
    bool WasSent(const std::wstring& path) const;
    // The copy at the path is no longer kept for sending: the journal lets its entry go too.
    void LetGo(const std::wstring& path);

    struct OwnCopy {
        std::wstring path;  // canonical
        std::optional<FileIdentity> identity;
        std::optional<FileTime> written;  // the write time the control left, or the one it had when sent
        CopyOrigin origin;
    };
    // What the list knows of the control's copy at the path, or null.
    const OwnCopy* OwnCopyAt(const std::wstring& path) const;
    // A copy known from earlier (another control object or session); one the list knows already stays.
    void AddEarlierCopy(OwnCopy copy);

private:
    Entries entries_;
    std::list<OwnCopy> ownCopies_;  // newest first, bounded
    std::list<std::wstring> sent_;   // canonical paths, bounded
};

// Registers a copy opened for editing: replaces any entry of the same file name and records the copy's
// current last-write time (0 when it cannot be read, so the next check sees a change and asks the user
// rather than losing an edit).
TrackedFile& TrackEditedFile(TrackedFileList& list, FileSystem& fs, const std::wstring& localPath,
                             const std::wstring& fileName, const std::wstring& primKey, const std::wstring& elementId,
                             const std::wstring& viewName, const std::wstring& uploadViewName,
                             const std::wstring& beforeUploadScript, const std::wstring& afterUploadScript);

}  // namespace qm
