#pragma once
// The File Download dialog: records the values it shows and answers the action the test set.
#include <vector>

#include "download/download_ports.h"
#include "download/download_decision.h"

namespace qm::testing {

class FakeFileDownloadPrompt : public FileDownloadPrompt {
public:
    int answer = kActionDialogCancelled;
    std::vector<FileDownloadValues> shown;
    int Run(WindowRef, const FileDownloadValues& values) override {
        shown.push_back(values);
        return answer;
    }
};

}  // namespace qm::testing
