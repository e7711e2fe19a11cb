#pragma once
// The download ports on Windows: files received beside their target and moved in place, the shell, and the
// workers run under the progress dialog.
#include <windows.h>

#include <memory>
#include <string>

#include "download/download_operation.h"

namespace qm {

class Win32IncomingFiles : public IncomingFiles {
public:
    std::unique_ptr<IncomingFile> Begin(const std::wstring& target, const std::wstring& source) override;
    std::wstring ShortPath(const std::wstring& path) override;
    bool Exists(const std::wstring& path) override;
};

// Marks a file as coming from the Internet through the shell's attachment services (which also hand it to the
// user's virus scanner); false where the platform has none, which is not an error.
bool MarkFromInternet(const std::wstring& path, const std::wstring& source);

class Win32DownloadShell : public DownloadShell {
public:
    void Open(const std::wstring& path) override;
    bool IsDangerous(const std::wstring& path) override;
    bool ConfirmRisk(WindowRef owner, const std::wstring& text) override;
};

// Runs the workers under Win32ProgressDialog with WinInet, MSXML and the platform's dialogs.
class Win32TransferRunner : public TransferRunner {
public:
    TransferOutcome RunSingle(const std::function<void(TransferJob&)>& fill, std::uint64_t expected) override;
    TransferOutcome RunMulti(const std::function<void(TransferJob&)>& fill, std::vector<ListedFile> files) override;
};

// The Yes/No questions without owner ("Create folder?", "Use local version?").
class PlatformQuestions : public Questions {
public:
    bool AskYesNo(const std::wstring& caption, const std::wstring& text) override;
};

}  // namespace qm
