#pragma once
// DownloadFile from the call to the opened or registered file, and the set-up of a multi-file download.
#include <functional>
#include <string>
#include <vector>

#include "control/page.h"
#include "control/page_script.h"
#include "download/download_decision.h"
#include "download/download_ports.h"
#include "download/download_worker.h"
#include "localfiles/settings.h"
#include "localfiles/tracked_files.h"
#include "ui/dialogs.h"

namespace qm {

inline constexpr wchar_t kChooseDownloadFolderTitle[] = L"Select a folder to download file(s)";

// How a worker ran under the progress dialog.
struct TransferOutcome {
    int endCode = kEndDownloadFailed;
    bool cancelled = false;
    bool succeeded = false;
};

// Runs a worker under the modal progress dialog: fill() prepares the job before the worker starts.
class TransferRunner {
public:
    virtual ~TransferRunner() = default;
    virtual TransferOutcome RunSingle(const std::function<void(TransferJob&)>& fill, std::uint64_t expected) = 0;
    virtual TransferOutcome RunMulti(const std::function<void(TransferJob&)>& fill, std::vector<ListedFile> files) = 0;
};

// Everything DownloadFile reaches, on the UI thread.
struct DownloadContext {
    PageElements& page;
    PageScripts& scripts;
    UserDialogs& dialogs;
    Questions& questions;
    SettingsStore& settings;
    FileSystem& fs;
    SystemText& system;
    DownloadShell& shell;
    FileDownloadPrompt& prompt;
    TransferRunner& runner;
    TrackedFileList& tracked;
    ExpandEnvironment expand;
    WindowRef documentWindow = 0;
    std::wstring serverName;
    std::uint16_t serverPort = 0;
    std::uint32_t requestFlags = 0;
};

// The status DownloadFile returns: 1 for a missing element, a PrimKey or ViewName that is not text, or a
// multi-file download without a folder; 0 otherwise.
int DownloadFile(DownloadContext& context, const std::wstring& elementId);

// The multi-file set-up for an id list joined by "|".
int DownloadListedFiles(DownloadContext& context, const std::wstring& idList);

}  // namespace qm
