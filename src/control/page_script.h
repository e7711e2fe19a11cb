#pragma once
// Calling the page's own script functions, and the two script requests the upload worker hands to the UI thread.
#include <optional>
#include <string>
#include <vector>

#include "common/transfer_job.h"
#include "localfiles/file_helpers.h"
#include "localfiles/file_system.h"

namespace qm {

inline constexpr wchar_t kGetPrimKeyRequest[] = L"GetPrimKey";
inline constexpr wchar_t kSaveFileInfoRequest[] = L"SaveFileInfo";
// The key a page gives to leave a file out; also what a failed key request yields.
inline constexpr wchar_t kSkipFileKey[] = L"-1";

// What a page function returned; callers use text results, and the download side also a boolean true.
struct ScriptValue {
    enum class Kind { Empty, Text, Boolean, Other };
    Kind kind = Kind::Empty;
    std::wstring text;
    bool boolean = false;

    static ScriptValue Text(std::wstring t) { return {Kind::Text, std::move(t), false}; }
    static ScriptValue Boolean(bool b) { return {Kind::Boolean, std::wstring(), b}; }
    bool IsText() const { return kind == Kind::Text; }
    bool IsTrue() const { return kind == Kind::Boolean && boolean; }
};

// The page's script. Only ever used on the UI thread.
class PageScripts {
public:
    virtual ~PageScripts() = default;
    // Calls a global function; the first text is its first parameter. Nothing when it could not be called: no
    // script object, an unknown or empty name, or the function raised an error.
    virtual std::optional<ScriptValue> CallPageFunction(const std::wstring& name,
                                                        const std::vector<std::wstring>& arguments) = 0;
};

// Argument lists of the upload side's page functions.
// Per-file before-upload (key request, and the re-upload's before call): element id, name, path, size, created,
// modified.
std::vector<std::wstring> KeyRequestArguments(const std::wstring& elementId, const FileDescriptor& file,
                                              const FileDates& dates);
// After-upload per file (file report): element id, file reference, name, size, "true"/"false" after IsUpdate,
// created, modified, key.
std::vector<std::wstring> FileReportArguments(const FileDescriptor& file, const FileDates& dates);
// Once-mode calls: element id and the summary (before) or the result list (after).
std::vector<std::wstring> OnceModeArguments(const std::wstring& elementId, const std::wstring& listText);
// One record of the once-mode result list: key, file reference, name, size, "false", created, modified.
std::wstring UploadResultRecord(const std::wstring& key, const std::wstring& fileRef, const std::wstring& name,
                                std::uint32_t size, const FileDates& dates);

// "GetPrimKey" for the job's Descriptor: sets and returns ScriptResult ("-1" when the call failed, empty when
// the function returned no text). With no before-upload function ScriptResult stays as it is.
std::wstring RunKeyRequest(TransferJob& job, PageScripts& page, FileSystem& fs);
// "SaveFileInfo": calls the descriptor's after-upload function unless the file is in use; true when it ran.
bool RunFileReport(const FileDescriptor& file, PageScripts& page, FileSystem& fs);
// The UI side of a script request: carries out the job's PendingRequest; other texts do nothing.
void HandleScriptRequest(TransferJob& job, PageScripts& page, FileSystem& fs);

}  // namespace qm
