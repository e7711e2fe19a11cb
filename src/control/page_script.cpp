#include "control/page_script.h"

namespace qm {

std::vector<std::wstring> KeyRequestArguments(const std::wstring& elementId, const FileDescriptor& file,
                                              const FileDates& dates) {
    return {elementId, file.FileName, file.LocalPath, std::to_wstring(file.FileSize), dates.created, dates.modified};
}

std::vector<std::wstring> FileReportArguments(const FileDescriptor& file, const FileDates& dates) {
    return {file.ElementId,
            file.FileRef,
            file.FileName,
            std::to_wstring(file.FileSize),
            file.IsUpdate ? L"true" : L"false",
            dates.created,
            dates.modified,
            file.PrimKey};
}

std::vector<std::wstring> OnceModeArguments(const std::wstring& elementId, const std::wstring& listText) {
    return {elementId, listText};
}

std::wstring UploadResultRecord(const std::wstring& key, const std::wstring& fileRef, const std::wstring& name,
                                std::uint32_t size, const FileDates& dates) {
    return JoinText({key, fileRef, name, std::to_wstring(size), L"false", dates.created, dates.modified}, L'?');
}

std::wstring RunKeyRequest(TransferJob& job, PageScripts& page, FileSystem& fs) {
    const FileDates dates = FileDatesText(fs, job.Descriptor.LocalPath).value_or(FileDates{});
    if (!job.BeforeUploadScript.empty()) {
        auto result =
            page.CallPageFunction(job.BeforeUploadScript, KeyRequestArguments(job.ElementId, job.Descriptor, dates));
        if (!result)
            job.ScriptResult = kSkipFileKey;
        else
            job.ScriptResult = result->IsText() ? result->text : std::wstring();
    }
    return job.ScriptResult;
}

bool RunFileReport(const FileDescriptor& file, PageScripts& page, FileSystem& fs) {
    auto dates = FileDatesText(fs, file.LocalPath);
    if (!dates) return false;
    return page.CallPageFunction(file.AfterUploadScript, FileReportArguments(file, *dates)).has_value();
}

void HandleScriptRequest(TransferJob& job, PageScripts& page, FileSystem& fs) {
    if (job.PendingRequest == kGetPrimKeyRequest)
        job.CurrentPrimKey = RunKeyRequest(job, page, fs);
    else if (job.PendingRequest == kSaveFileInfoRequest)
        RunFileReport(job.Descriptor, page, fs);
    // The worker is not suspended while it waits: the synchronous text change that carried the request is what
    // holds it, so returning releases it.
}

}  // namespace qm
