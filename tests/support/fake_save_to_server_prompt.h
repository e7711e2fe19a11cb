#pragma once
// The Save to Server prompt port: records the file names it was shown and answers from a queue.
#include <deque>
#include <string>
#include <vector>

#include "upload/upload_ports.h"

namespace qm::testing {

class FakeSaveToServerPrompt : public SaveToServerPrompt {
public:
    std::vector<std::wstring> shown;
    std::deque<int> answers;  // Cancel (2) once they run out
    int Run(WindowRef, const std::wstring& fileName) override {
        shown.push_back(fileName);
        if (answers.empty()) return 2;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace qm::testing
