#pragma once
// The journal file port in memory: its text, how often it was written, and injectable failures.
#include <optional>
#include <string>

#include "localfiles/edit_journal.h"

namespace qm::testing {

class FakeJournalFile : public JournalFile {
public:
    std::optional<std::wstring> text;
    int writes = 0;
    bool failWrite = false;

    std::optional<std::wstring> Read() override { return text; }
    bool Replace(const std::wstring& newText) override {
        ++writes;
        if (failWrite) return false;
        text = newText;
        return true;
    }
};

}  // namespace qm::testing
