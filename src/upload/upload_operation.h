#pragma once
// The UI-thread half of uploads: UploadFile and the set-up it shares with dropped files, UpdateFile, and the
// walk over tracked edited copies with its Save to Server question.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "control/page.h"
#include "control/page_script.h"
#include "localfiles/settings.h"
#include "localfiles/tracked_files.h"
#include "protocol/code_page.h"
#include "ui/dialogs.h"
#include "upload/upload_ports.h"

namespace qm {

inline constexpr int kUpdateAskIfMissing = 10002;
inline constexpr int kUpdateAlwaysAsk = 10003;
inline constexpr int kSaveToServerSave = 1102;

inline constexpr wchar_t kBeforeUploadEmptyText[] = L"ExecuteScriptBeforeUpload is empty.";
inline constexpr wchar_t kFileMissingText[] = L"The requested file does not exist in the specified path.";

// Everything the upload operations reach, on the UI thread.
struct UploadContext {
    PageElements& page;
    PageScripts& scripts;
    UserDialogs& dialogs;
    SettingsStore& settings;
    FileSystem& fs;
    UploadRunner& runner;
    SaveToServerPrompt& savePrompt;
    SendConfirmation& confirm;
    TrackedFileList& tracked;
    std::function<std::wstring(const std::wstring&)> expand;
    WindowRef documentWindow = 0;
    std::wstring serverName;
    std::uint16_t serverPort = 0;
    std::uint32_t requestFlags = 0;
    // The control's flag that keeps ProcessLockedFiles out while UpdateFile runs; may be null.
    bool* busy = nullptr;
    // Reads the page's dates; without it a changed stored copy goes unnoticed.
    SystemText* system = nullptr;
    // Measures the names the upload header is to carry; without it names are not checked before sending.
    const CodePage* codePage = nullptr;
};

std::wstring MissingElementText(const std::wstring& id);
std::wstring ConfirmSendText(const std::wstring& path, const std::wstring& serverName);
// Asked before a copy goes back when the stored copy changed since the copy was made from it.
std::wstring ServerChangedText(const std::wstring& path, const std::wstring& serverName);

// Steps of the bar for a job of total bytes: one per 4096 bytes, rounded up, at most 100.
std::uint32_t UploadProgressRange(std::uint64_t totalBytes);

// The entries of a page's upload list ("path?key" joined by "|") whose path is one of the operation's files
// (compared without regard to case), in the page's order; every other entry is dropped unread.
std::vector<std::wstring> KeepOperationFiles(const std::wstring& listText, const std::vector<std::wstring>& files);

// Status 1 when the chooser was cancelled or the element lacks a required attribute, else 0.
int UploadFile(UploadContext& context, const std::wstring& elementId, std::int32_t multiSelect);
// The set-up for chosen or dropped files: 1 when "ViewName" or "ExecuteScriptBeforeUpload" is absent, else 0.
int UploadSetup(UploadContext& context, const std::wstring& elementId, const std::vector<std::wstring>& files);
// 1 when the element does not exist, no file was chosen, or the file does not exist; 0 otherwise.
int UpdateFile(UploadContext& context, const std::wstring& objectId, int fileLocation);

void ProcessLockedFiles(UploadContext& context);
// One entry the walk has just moved to Checking.
void ProcessTrackedFile(UploadContext& context, TrackedFile& entry);

}  // namespace qm
