#pragma once
// The workers of single- and multi-file downloads, written against the HTTP client and the progress dialog.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/download_ports.h"
#include "protocol/code_page.h"
#include "protocol/http_client.h"
#include "protocol/xml_document.h"
#include "ui/dialogs.h"
#include "ui/progress_dialog.h"

namespace qm {

inline constexpr wchar_t kVerifyingText[] = L"Verifying downloaded file...!";
inline constexpr wchar_t kReceiveErrorText[] = L"Error in receiving file. Try again.";
inline constexpr wchar_t kDownloadCompletedText[] = L"Download completed.";
inline constexpr wchar_t kOverwriteQuestionTail[] = L" already exists.\r\n\r\nDo you want to overwrite?";
inline constexpr wchar_t kContinueQuestionTail[] = L"\r\n\r\nDo you want to continue downloading the remaining file(s)?";

// What a worker needs besides its dialog. Every member must outlive the worker.
struct WorkerServices {
    HttpClient& http;
    IncomingFiles& files;
    UserDialogs& dialogs;
    const CodePage& codePage;
    std::function<std::unique_ptr<XmlDocument>()> makeDom;
    // Days since some fixed point; only differences are used.
    std::function<double()> nowDays;
    // Seconds on a fine steady clock, to pace the reads; without it every read asks what has arrived.
    std::function<double()> seconds = {};
};

// One listed file of a multi-file download, its fields as the element gave them.
struct ListedFile {
    std::wstring primKey;
    std::wstring fileName;  // as given; the worker confines it to one component
    std::wstring viewName;
    std::wstring sizeText;
    std::uint64_t size = 0;
};

// The shortened path of the progress dialog: with more than three pieces, piece 0, piece 1, "..\..", the
// second-to-last piece and the last name.
std::wstring ShortenPathText(const std::wstring& path, const std::wstring& lastName);
std::wstring ShortenPathText(const std::wstring& path);

// Steps that the bar should show for received of total bytes in a range of `range` steps (never above it).
std::uint32_t StepsDue(std::uint64_t received, std::uint64_t total, std::uint32_t range);

// The single-file worker: fetches the descriptor's file to its LocalPath (slot 1), expecting `expected` bytes.
void RunSingleDownload(ProgressDialog& dialog, WorkerServices& services, std::uint64_t expected);

// The multi-file worker: entry 0 of the job's FileList is the folder; `files` are the listed files in order.
void RunMultiDownload(ProgressDialog& dialog, WorkerServices& services, const std::vector<ListedFile>& files);

}  // namespace qm
