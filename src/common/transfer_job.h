#pragma once
// The record of one transfer: filled on the UI thread, carried with the progress dialog to the worker thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qm {

enum class TransferMode : std::int32_t { ReUpload = 0, Upload = 1, Download = 2, MultiDownload = 3 };

// The one file being moved. Every field not set by the filling operation stays 0 or empty.
struct FileDescriptor {
    std::wstring FileName;            // without folder
    std::wstring LocalPath;           // full local path
    std::uint32_t FileCrc = 0;        // 0 when the file was in use
    std::uint32_t FileSize = 0;       // low 32 bits of the length
    std::uint32_t BlockCount = 0;     // size / 4096, rounded up
    std::wstring PrimKey;
    std::wstring ViewName;
    std::wstring UploadViewName;
    std::wstring FileRef;
    std::wstring BeforeUploadScript;
    std::wstring RecordKey;
    std::wstring AfterUploadScript;
    std::wstring ElementId;
    std::int32_t IsUpdate = 0;        // 1 for the re-upload of an edited file
    std::uint64_t CreatedTime = 0;    // file times: 100 ns units since 1601-01-01 UTC
    std::uint64_t UpdatedTime = 0;
    std::wstring LocalFolder;
    std::int32_t FileNameUtf8 = 0;    // 1: the upload header carries the name in UTF-8 and says so
};

// The page document, as the control subsystem represents it; the core only passes it along.
class PageDocument;

// A text that one thread writes while another may read it (the status and path texts the dialog applies when shown).
class SharedText {
public:
    SharedText() = default;
    SharedText(std::wstring text) : text_(std::move(text)) {}
    SharedText& operator=(std::wstring text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = std::move(text);
        return *this;
    }
    std::wstring Get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }

private:
    mutable std::mutex mutex_;
    std::wstring text_;
};

struct TransferJob {
    FileDescriptor Descriptor;
    std::wstring ServerName;
    std::uint16_t ServerPort = 0;
    std::uint32_t RequestFlags = 0;
    std::int32_t AllowDrop = 0;
    std::int32_t ExecuteScriptOnce = 0;
    std::wstring ViewName;
    std::wstring ElementId;
    std::wstring BeforeUploadScript;
    std::wstring AfterUploadScript;
    std::wstring ScriptResult;
    // Polled by the other thread while both run.
    std::atomic<bool> Cancelled{false};
    std::atomic<bool> Succeeded{false};
    TransferMode Mode = TransferMode::Upload;
    std::wstring CurrentPrimKey;
    PageDocument* Document = nullptr;
    // Shared with the starting operation so that a worker still running after a cancel never reads a freed list.
    std::shared_ptr<std::vector<std::wstring>> FileList;
    std::wstring ResultList;
    SharedText StatusText;
    SharedText PathText;
    std::uint32_t ProgressRange = 0;  // only the low 16 bits are used
    std::uint64_t TotalBytes = 0;
    std::wstring PendingRequest;
    std::int32_t FileNameUtf8 = 0;  // for every file of an upload job
};

}  // namespace qm
