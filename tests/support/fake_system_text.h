#pragma once
// The system text port: dates and error messages from tables the test fills.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "localfiles/file_helpers.h"
#include "localfiles/file_system.h"

namespace qm::testing {

class FakeSystemText : public SystemText {
public:
    std::map<std::wstring, CalendarTime> dates;
    std::map<std::uint32_t, std::wstring> messages;

    std::optional<CalendarTime> ParseUserDate(const std::wstring& text) override {
        auto it = dates.find(text);
        if (it == dates.end()) return std::nullopt;
        return it->second;
    }
    // The user's clock runs this far ahead of UTC.
    FileTime localOffset = 0;
    CalendarTime LocalCalendar(FileTime utc) override { return FileTimeToCalendar(utc + localOffset); }
    std::wstring ErrorMessage(std::uint32_t code) override {
        auto it = messages.find(code);
        return it == messages.end() ? std::wstring() : it->second;
    }
};

}  // namespace qm::testing
