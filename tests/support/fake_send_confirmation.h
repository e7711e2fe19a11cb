#pragma once
// The send confirmation port: records each question and answers from a queue (No once it runs out).
#include <deque>
#include <string>
#include <vector>

#include "upload/upload_ports.h"

namespace qm::testing {

class FakeSendConfirmation : public SendConfirmation {
public:
    std::vector<std::wstring> asked;
    std::deque<bool> answers;
    bool Confirm(WindowRef, const std::wstring& text) override {
        asked.push_back(text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace qm::testing
