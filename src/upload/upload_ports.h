#pragma once
// Ports of the upload side: running the worker under the progress dialog, the Save to Server question and the
// confirmation of a file the page named.
#include <functional>
#include <string>

#include "common/transfer_job.h"
#include "ui/dialogs.h"

namespace qm {

// What the operation reads back after the progress dialog has ended.
struct UploadOutcome {
    bool cancelled = false;
    bool succeeded = false;
    std::wstring resultList;
    FileDescriptor descriptor;
};

// Runs the upload worker under the modal progress dialog; fill() prepares the job before the worker starts.
// Script requests of the worker are carried out on the calling thread while the dialog runs.
// Throws qm::Error when the worker or the dialog cannot be started.
class UploadRunner {
public:
    virtual ~UploadRunner() = default;
    virtual UploadOutcome Run(const std::function<void(TransferJob&)>& fill) = 0;
};

// The Save to Server dialog: kSaveToServerSave, 2 (Cancel) or -1 when it could not be shown.
class SaveToServerPrompt {
public:
    virtual ~SaveToServerPrompt() = default;
    virtual int Run(WindowRef owner, const std::wstring& fileName) = 0;
};

// A Yes/No box captioned "Torvane - Quillmark" with No as the default button; true only for Yes.
class SendConfirmation {
public:
    virtual ~SendConfirmation() = default;
    virtual bool Confirm(WindowRef owner, const std::wstring& text) = 0;
};

}  // namespace qm
