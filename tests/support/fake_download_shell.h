#pragma once
// The shell as the download side uses it: records what is opened and which risks are confirmed; a file is
// dangerous by its extension.
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "download/download_ports.h"

namespace qm::testing {

class FakeDownloadShell : public DownloadShell {
public:
    std::vector<std::wstring> opened;
    std::vector<std::wstring> risks;
    std::deque<bool> confirmations;  // No when empty
    std::set<std::wstring> dangerousExtensions = {L".exe", L".js", L".lnk", L".msi", L".bat"};

    void Open(const std::wstring& path) override { opened.push_back(path); }
    bool IsDangerous(const std::wstring& path) override {
        const std::size_t dot = path.rfind(L'.');
        return dot != std::wstring::npos && dangerousExtensions.count(path.substr(dot)) != 0;
    }
    bool ConfirmRisk(WindowRef, const std::wstring& text) override {
        risks.push_back(text);
        if (confirmations.empty()) return false;
        bool a = confirmations.front();
        confirmations.pop_front();
        return a;
    }
};

}  // namespace qm::testing
