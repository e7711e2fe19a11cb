#pragma once
// The upload runner port: records the job each run was given and either answers a prepared outcome or runs a
// worker body on a fake progress dialog whose script requests go to the test's handler.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/errors.h"
#include "support/fake_progress_dialog.h"
#include "upload/upload_ports.h"

namespace qm::testing {

class FakeUploadRunner : public UploadRunner {
public:
    struct Run {
        TransferMode mode;
        std::uint64_t totalBytes;
        std::uint32_t progressRange;
        std::int32_t executeScriptOnce;
        std::vector<std::wstring> fileList;
        FileDescriptor descriptor;
        std::wstring viewName, elementId, before, after;
        std::int32_t fileNameUtf8 = 0;
    };
    std::vector<Run> runs;
    UploadOutcome outcome;           // answered when no worker is set
    bool throwOnRun = false;
    // When set, runs on a fresh dialog; the outcome is read from its job.
    std::function<void(FakeProgressDialog&)> worker;
    std::function<void(FakeProgressDialog&)> onRequest;
    std::unique_ptr<FakeProgressDialog> last;

    UploadOutcome Run(const std::function<void(TransferJob&)>& fill) override {
        if (throwOnRun) throw Error(L"Cannot start the transfer.");
        last = std::make_unique<FakeProgressDialog>();
        TransferJob& job = last->Job();
        fill(job);
        runs.push_back({job.Mode, job.TotalBytes, job.ProgressRange, job.ExecuteScriptOnce,
                        job.FileList ? *job.FileList : std::vector<std::wstring>(), job.Descriptor, job.ViewName,
                        job.ElementId, job.BeforeUploadScript, job.AfterUploadScript, job.FileNameUtf8});
        if (!worker) return outcome;
        last->onRequest = onRequest;
        last->windowExists = true;
        worker(*last);
        return UploadOutcome{job.Cancelled, job.Succeeded, job.ResultList, job.Descriptor};
    }
};

}  // namespace qm::testing
