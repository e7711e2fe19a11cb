#pragma once
// Ports of the download side: receiving a file without touching its target until it has arrived whole, the
// shell's services, and the File Download dialog.
#include <cstddef>
#include <memory>
#include <string>

#include "download/download_decision.h"
#include "ui/dialogs.h"

namespace qm {

// A file being received. Bytes go to a temporary file in the target's folder; the target is replaced only by
// Commit. Destroying an uncommitted file deletes the temporary file and leaves the target as it was.
class IncomingFile {
public:
    virtual ~IncomingFile() = default;
    // Throws qm::FileError when writing fails (a full disk, a file system's size limit).
    virtual void Write(const void* data, std::size_t size) = 0;
    // Puts the file in place under the target's name and marks it as coming from the Internet (where the
    // platform offers that). Throws qm::FileError when the target cannot be replaced (open in another program).
    virtual void Commit() = 0;
};

class IncomingFiles {
public:
    virtual ~IncomingFiles() = default;
    // Throws qm::FileError with the platform's text when no temporary file can be made in the target's folder.
    virtual std::unique_ptr<IncomingFile> Begin(const std::wstring& target, const std::wstring& source) = 0;
    // The short (8.3) form of an existing path; the path itself otherwise.
    virtual std::wstring ShortPath(const std::wstring& path) = 0;
    virtual bool Exists(const std::wstring& path) = 0;
};

class DownloadShell {
public:
    virtual ~DownloadShell() = default;
    // Opens a file or folder with its default handler.
    virtual void Open(const std::wstring& path) = 0;
    // The shell's own test: programs, scripts, shortcuts, installers.
    virtual bool IsDangerous(const std::wstring& path) = 0;
    // Yes/No box captioned "Torvane - Quillmark" with No as the default button; true only for Yes.
    virtual bool ConfirmRisk(WindowRef owner, const std::wstring& text) = 0;
};

// The File Download dialog: its end code (1001, 1002, 1003, 1005 or 2); -1 when it could not be shown.
class FileDownloadPrompt {
public:
    virtual ~FileDownloadPrompt() = default;
    virtual int Run(WindowRef owner, const FileDownloadValues& values) = 0;
};

std::wstring OpenRiskText(const std::wstring& fileName);
std::wstring FolderRiskText(const std::wstring& fileName, const std::wstring& folder);
std::wstring ReplaceFileText(const std::wstring& path, const std::wstring& serverName);
// The question when a copy with changes not yet sent would be replaced: Yes keeps it, No fetches the stored
// copy after keeping the changes under asideName, Cancel does nothing.
std::wstring ConflictText(const std::wstring& path, const std::wstring& serverName, const std::wstring& asideName);
std::wstring ConflictCopyFailedText(const std::wstring& path);
// "Report (my edits 2026-12-09 14.05).docx"; from the second on, a number before the parenthesis closes.
std::wstring ConflictCopyName(const std::wstring& fileName, const CalendarTime& when, int n);

}  // namespace qm
