#include "localfiles/tracked_files.h"

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

TrackedFile& TrackEditedFile(TrackedFileList& list, FileSystem& fs, const std::wstring& localPath,
                             const std::wstring& fileName, const std::wstring& primKey, const std::wstring& elementId,
                             const std::wstring& viewName, const std::wstring& uploadViewName,
                             const std::wstring& beforeUploadScript, const std::wstring& afterUploadScript) {
    list.RemoveNamed(fileName);
    auto entry = std::make_unique<TrackedFile>();
    entry->FileName = fileName;
    entry->LocalPath = localPath;
    entry->PrimKey = primKey;
    entry->ViewName = viewName;
    entry->UploadViewName = uploadViewName;
    entry->State = TrackedState::Waiting;
    entry->BeforeUploadScript = beforeUploadScript;
    entry->AfterUploadScript = afterUploadScript;
    entry->ElementId = elementId;
    entry->LastWriteTime = GetLastWriteTime(fs, localPath).value_or(0);
    TrackedFile& added = *entry;
    list.PushFront(std::move(entry));
    return added;
}

}  // namespace qm
