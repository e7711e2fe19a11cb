#pragma once
// The settings store port: values in a map and a fixed personal folder.
#include <map>
#include <string>

#include "localfiles/settings.h"

namespace qm::testing {

class FakeSettingsStore : public SettingsStore {
public:
    std::map<std::wstring, std::wstring> values;
    std::wstring personal = L"C:\\Users\\me\\Documents";

    std::wstring ReadSetting(const std::wstring& name) override {
        auto it = values.find(name);
        return it == values.end() ? std::wstring() : it->second;
    }
    void WriteSetting(const std::wstring& text, const std::wstring& name) override { values[name] = text; }
    std::wstring PersonalFolder() override { return personal; }
};

}  // namespace qm::testing
