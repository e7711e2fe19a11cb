#pragma once
// The transfer runner port of the download side: runs nothing, keeps the job as filled and answers a prepared
// outcome; on success it puts the file on the pretend disk as a worker would.
#include <cstdint>
#include <functional>
#include <vector>

#include "download/download_operation.h"
#include "support/fake_file_system.h"
#include "support/fake_progress_dialog.h"

namespace qm::testing {

class FakeTransferRunner : public TransferRunner {
public:
    FakeProgressDialog dialog;
    TransferOutcome outcome{1, false, true};
    FakeFileSystem* fs = nullptr;
    int runs = 0;
    std::uint64_t expected = 0;
    std::vector<ListedFile> listed;

    TransferOutcome RunSingle(const std::function<void(TransferJob&)>& fill, std::uint64_t size) override {
        ++runs;
        fill(dialog.Job());
        expected = size;
        if (outcome.succeeded && fs) {
            // A commit puts a new file in the old one's place.
            fs->RemoveFile(dialog.Job().Descriptor.LocalPath);
            fs->AddFile(dialog.Job().Descriptor.LocalPath, size).times = {1, 1};
        }
        return outcome;
    }
    TransferOutcome RunMulti(const std::function<void(TransferJob&)>& fill, std::vector<ListedFile> files) override {
        ++runs;
        fill(dialog.Job());
        listed = std::move(files);
        return outcome;
    }
};

}  // namespace qm::testing
