#pragma once
// The elements of the hosting page, found by id; each lookup hands out a fresh element with the attributes the
// test set for that id.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/page.h"
#include "support/fake_page_element.h"

namespace qm::testing {

class FakePageElements : public PageElements {
public:
    std::map<std::wstring, std::map<std::wstring, std::wstring>> elements;  // text attributes by element id
    std::vector<std::wstring> lookups;
    std::unique_ptr<PageElement> FindElement(const std::wstring& id) override {
        lookups.push_back(id);
        auto it = elements.find(id);
        if (it == elements.end()) return nullptr;
        auto e = std::make_unique<FakePageElement>();
        e->text = it->second;
        return e;
    }
};

}  // namespace qm::testing
