#pragma once
// An element of the hosting page whose attributes the test sets.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "control/page.h"

namespace qm::testing {

// An element whose attributes are text or, like a number, of another kind (absent to the reader).
class FakePageElement : public PageElement {
public:
    std::map<std::wstring, std::wstring> text;
    std::vector<std::wstring> asked;
    std::optional<std::wstring> TextAttribute(const std::wstring& name) override {
        asked.push_back(name);
        auto found = text.find(name);
        if (found == text.end()) return std::nullopt;
        return found->second;
    }
};

}  // namespace qm::testing
