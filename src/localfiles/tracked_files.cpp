#include "localfiles/tracked_files.h"

#include <algorithm>

#include "localfiles/file_helpers.h"

namespace qm {

TrackedFile* TrackedFileList::Find(const std::wstring& fileName) {
    for (auto& entry : entries_)
        if (EqualsNoCase(entry->FileName, fileName)) return entry.get();
    return nullptr;
}

std::size_t TrackedFileList::RemoveNamed(const std::wstring& fileName) {
    return entries_.remove_if([&](const std::unique_ptr<TrackedFile>& e) { return EqualsNoCase(e->FileName, fileName); });
}

std::size_t TrackedFileList::RemoveFor(const std::wstring& viewName, const std::wstring& primKey,
                                      const std::wstring& localPath) {
    const std::wstring canonical = CanonicalPathText(localPath);
    return entries_.remove_if([&](const std::unique_ptr<TrackedFile>& e) {
        return (EqualsNoCase(e->ViewName, viewName) && EqualsNoCase(e->PrimKey, primKey)) ||
               EqualsNoCase(CanonicalPathText(e->LocalPath), canonical);
    });
}

void TrackedFileList::RememberOwnCopy(const std::wstring& path, FileSystem& fs, CopyOrigin origin) {
    constexpr std::size_t kMostRemembered = 1000;  // a page downloading in a loop must not grow this for ever
    const std::wstring canonical = CanonicalPathText(path);
    ownCopies_.remove_if([&](const OwnCopy& copy) { return EqualsNoCase(copy.path, canonical); });
    ownCopies_.push_front({canonical, fs.IdentityOf(path), GetLastWriteTime(fs, path), std::move(origin)});
    if (ownCopies_.size() > kMostRemembered) ownCopies_.pop_back();
}

std::optional<CopyOrigin> TrackedFileList::UnsentEdits(const std::wstring& path, FileSystem& fs) const {
    const std::wstring canonical = CanonicalPathText(path);
    for (const OwnCopy& copy : ownCopies_) {
        if (!EqualsNoCase(copy.path, canonical)) continue;
        const std::optional<FileTime> now = GetLastWriteTime(fs, path);
        if (!now) return std::nullopt;
        // The stamp was read back from the file system, so an untouched copy matches it exactly.
        if (!copy.written || *now != *copy.written) return copy.origin;
        return std::nullopt;
    }
    return std::nullopt;
}

const TrackedFileList::OwnCopy* TrackedFileList::OwnCopyAt(const std::wstring& path) const {
    const std::wstring canonical = CanonicalPathText(path);
    for (const OwnCopy& copy : ownCopies_)
        if (EqualsNoCase(copy.path, canonical)) return &copy;
    return nullptr;
}

void TrackedFileList::AddEarlierCopy(OwnCopy copy) {
    copy.path = CanonicalPathText(copy.path);
    if (OwnCopyAt(copy.path)) return;
    ownCopies_.push_back(std::move(copy));
}

bool TrackedFileList::WasSent(const std::wstring& path) const {
    const std::wstring canonical = CanonicalPathText(path);
    return std::any_of(sent_.begin(), sent_.end(), [&](const std::wstring& p) { return EqualsNoCase(p, canonical); });
}

void TrackedFileList::LetGo(const std::wstring& path) {
    const std::wstring canonical = CanonicalPathText(path);
    if (!WasSent(canonical)) sent_.push_front(canonical);
    if (sent_.size() > 1000) sent_.pop_back();
}

void TrackedFileList::MarkSent(const std::wstring& path, FileSystem& fs) {
    const std::wstring canonical = CanonicalPathText(path);
    LetGo(canonical);
    for (OwnCopy& copy : ownCopies_) {
        if (!EqualsNoCase(copy.path, canonical)) continue;
        copy.written = GetLastWriteTime(fs, path);
        // The server's time for what it now holds is its own clock's, not known here.
        copy.origin.ServerUpdated = 0;
    }
}

bool TrackedFileList::IsOwnCopy(const std::wstring& path, FileSystem& fs) const {
    const std::wstring canonical = CanonicalPathText(path);
    std::optional<std::optional<FileIdentity>> now;  // read once, and only when a path matches
    const auto sameFile = [&](const std::optional<FileIdentity>& known) {
        if (!now) now = fs.IdentityOf(path);
        // A file whose identity could not be told either time is not known to be the same one.
        return known && *now && *known == **now;
    };
    for (const OwnCopy& copy : ownCopies_)
        if (EqualsNoCase(copy.path, canonical) && sameFile(copy.identity)) return true;
    for (const auto& entry : entries_)
        if (EqualsNoCase(CanonicalPathText(entry->LocalPath), canonical) && sameFile(entry->Identity)) return true;
    return false;
}

TrackedFile& TrackEditedFile(TrackedFileList& list, FileSystem& fs, const std::wstring& localPath,
                             const std::wstring& fileName, const std::wstring& primKey, const std::wstring& elementId,
                             const std::wstring& viewName, const std::wstring& uploadViewName,
                             const std::wstring& beforeUploadScript, const std::wstring& afterUploadScript) {
    list.RemoveFor(viewName, primKey, localPath);
    auto entry = std::make_unique<TrackedFile>();
    entry->FileName = fileName;
    entry->LocalPath = localPath;
    entry->PrimKey = primKey;
    entry->ViewName = viewName;
    entry->UploadViewName = uploadViewName;
    entry->State = TrackedState::Waiting;
    entry->Identity = fs.IdentityOf(localPath);
    entry->BeforeUploadScript = beforeUploadScript;
    entry->AfterUploadScript = afterUploadScript;
    entry->ElementId = elementId;
    entry->LastWriteTime = GetLastWriteTime(fs, localPath).value_or(0);
    TrackedFile& added = *entry;
    list.PushFront(std::move(entry));
    return added;
}

}  // namespace qm
