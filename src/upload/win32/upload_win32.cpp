#include "upload/win32/upload_win32.h"

#include <objbase.h>

#include <memory>

#include "common/win32/owners.h"
#include "common/win32/steady_clock.h"
#include "localfiles/win32/local_files_win32.h"
#include "protocol/win32/ansi_code_page.h"
#include "protocol/win32/msxml_document.h"
#include "protocol/win32/wininet_client.h"
#include "ui/win32/dialogs_win32.h"
#include "ui/win32/progress_dialog.h"
#include "upload/upload_worker.h"

namespace qm {
namespace {

// What the worker uses, kept alive by the worker itself.
struct PlatformUploadServices {
    WinInetClient http;
    ExclusiveFileSource files;
    UploadWorkerServices services{http,
                                  files,
                                  LocalFileSystem(),
                                  LocalSystemText(),
                                  PlatformDialogs(),
                                  SystemAnsiCodePage(),
                                  [] { return std::make_unique<MsxmlDocument>(); },
                                  [] { return static_cast<double>(GetTickCount64()) / 86400000.0; },
                                  [](unsigned ms) { Sleep(ms); },
                                  &SteadySeconds};
};

}  // namespace

UploadOutcome Win32UploadRunner::Run(const std::function<void(TransferJob&)>& fill) {
    auto dialog = Win32ProgressDialog::Create();
    fill(dialog->Job());
    PageScripts* scripts = &scripts_;
    FileSystem* fs = &fs_;
    dialog->SetScriptRequestHandler([scripts, fs](ProgressDialog& d) { HandleScriptRequest(d.Job(), *scripts, *fs); });
    auto services = std::make_shared<PlatformUploadServices>();
    dialog->StartWorker([services](ProgressDialog& d) {
        const ComInitScope com;
        RunUploadJob(d, services->services);
    });
    dialog->Run(GetActiveWindow());
    // The handler points at the operation's objects, which go when it returns; the dialog may outlive them.
    dialog->SetScriptRequestHandler(nullptr);
    const TransferJob& job = dialog->Job();
    UploadOutcome outcome;
    outcome.cancelled = job.Cancelled;
    outcome.succeeded = job.Succeeded;
    if (!outcome.cancelled) {
        // The worker has ended the dialog, so it writes nothing more to the job.
        outcome.resultList = job.ResultList;
        outcome.descriptor = job.Descriptor;
    }
    return outcome;
}

bool Win32SendConfirmation::Confirm(WindowRef owner, const std::wstring& text) {
    return MessageBoxW(ToHwnd(owner), text.c_str(), kCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

}  // namespace qm
