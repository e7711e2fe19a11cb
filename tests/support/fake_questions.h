#pragma once
// The Yes/No question port, answered from a script; records what was asked.
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "localfiles/settings.h"

namespace qm::testing {

class ScriptedQuestions : public Questions {
public:
    std::deque<bool> answers;
    std::vector<std::pair<std::wstring, std::wstring>> asked;  // caption, text

    bool AskYesNo(const std::wstring& caption, const std::wstring& text) override {
        asked.emplace_back(caption, text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace qm::testing
