#pragma once
// The upload worker: sends the chosen files (Upload) or one edited copy (ReUpload) to the file store under the
// progress dialog, asking the page for keys and telling it of stored files through script requests.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "localfiles/file_system.h"
#include "protocol/code_page.h"
#include "protocol/http_client.h"
#include "protocol/xml_document.h"
#include "ui/dialogs.h"
#include "ui/progress_dialog.h"

namespace qm {

inline constexpr wchar_t kOpeningConnectionText[] = L"Opening connection";
inline constexpr wchar_t kSaveToServerCaption[] = L"Save to Server";
// How long a job waits at its start for the dialog window, so the first texts and questions have a window.
inline constexpr unsigned kWindowWaitMs = 1000;
// Pause between two key requests that brought no key: the page is asked again, but never in a tight loop.
inline constexpr unsigned kKeyRetryPauseMs = 250;
inline constexpr std::uint32_t kSharingViolationCode = 32;

// What the upload worker needs besides its dialog. Every member must outlive the worker.
struct UploadWorkerServices {
    HttpClient& http;
    PostedFileSource& files;
    FileSystem& fs;
    SystemText& system;
    UserDialogs& dialogs;
    const CodePage& codePage;
    std::function<std::unique_ptr<XmlDocument>()> makeDom;
    // Days since some fixed point; only differences are used.
    std::function<double()> nowDays;
    // Sleeps for about this many milliseconds.
    std::function<void(unsigned)> pause;
    // Seconds on a fine steady clock, to size the pieces of a post; without it pieces grow as on a fast link.
    std::function<double()> seconds = {};
};

// The text of a file header that cannot be built: the file is named so the user knows which one was left out.
std::wstring HeaderRefusedText(const std::wstring& fileName, const std::wstring& reason);

// The whole percentage of done in total (100 when total is 0).
std::uint32_t WholePercent(std::uint64_t done, std::uint64_t total);

// Runs one upload job as the dialog's job describes it and ends the dialog with kEndUploadDone unless cancelled.
void RunUploadJob(ProgressDialog& dialog, UploadWorkerServices& services);

}  // namespace qm
