#pragma once
// The page scripts port: records each call of a page function and answers from a queue.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "control/page_script.h"

namespace qm::testing {

// Records each call and answers from a queue (nothing: the call failed).
class FakePageScripts : public PageScripts {
public:
    struct Call {
        std::wstring name;
        std::vector<std::wstring> arguments;
    };
    std::vector<Call> calls;
    std::deque<std::optional<ScriptValue>> answers;

    std::optional<ScriptValue> CallPageFunction(const std::wstring& name, const std::vector<std::wstring>& arguments) override {
        calls.push_back({name, arguments});
        if (answers.empty()) return ScriptValue{};
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace qm::testing
