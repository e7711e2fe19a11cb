#pragma once
// The upload ports on Windows: the worker run under the progress dialog with WinInet and MSXML, and the
// confirmation box for a file the page named.
#include <windows.h>

#include "control/page_script.h"
#include "localfiles/file_system.h"
#include "upload/upload_ports.h"

namespace qm {

class Win32UploadRunner : public UploadRunner {
public:
    // Script requests of the worker run the page's functions through these, on the calling thread.
    Win32UploadRunner(PageScripts& scripts, FileSystem& fs) : scripts_(scripts), fs_(fs) {}
    UploadOutcome Run(const std::function<void(TransferJob&)>& fill) override;

private:
    PageScripts& scripts_;
    FileSystem& fs_;
};

class Win32SendConfirmation : public SendConfirmation {
public:
    bool Confirm(WindowRef owner, const std::wstring& text) override;
};

}  // namespace qm
