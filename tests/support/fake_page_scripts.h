#pragma once
// The page scripts port: records each call of a page function and answers from a queue, then by name.
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "control/page_script.h"

namespace qm::testing {

// A call answers the front of `answers`; once that is empty, the answer prepared for its name; otherwise
// `unanswered` (nothing: the call failed, as with a function the page does not have).
class FakePageScripts : public PageScripts {
public:
    struct Call {
        std::wstring name;
        std::vector<std::wstring> arguments;
    };
    std::vector<Call> calls;
    std::deque<std::optional<ScriptValue>> answers;
    std::map<std::wstring, ScriptValue> answersByName;
    std::optional<ScriptValue> unanswered = ScriptValue{};

    std::optional<ScriptValue> CallPageFunction(const std::wstring& name, const std::vector<std::wstring>& arguments) override {
        calls.push_back({name, arguments});
        if (!answers.empty()) {
            auto answer = answers.front();
            answers.pop_front();
            return answer;
        }
        auto byName = answersByName.find(name);
        if (byName != answersByName.end()) return byName->second;
        return unanswered;
    }
};

}  // namespace qm::testing
