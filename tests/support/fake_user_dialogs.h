#pragma once
#include <algorithm>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialogs.h"

namespace qm::testing {

// The dialogs port: records every box, question, folder request and file dialog; answers from what the test
// prepared.
class FakeUserDialogs : public UserDialogs {
public:
    struct Shown {
        WindowRef owner;
        MessageKind kind;
        std::wstring text;
    };
    std::vector<Shown> shown;

    std::vector<std::wstring> asked;  // question texts
    std::vector<WindowRef> questionOwners;
    std::deque<Answer> answers;       // then `unanswered` once they run out
    Answer unanswered = Answer::Cancel;

    std::vector<std::pair<WindowRef, std::wstring>> folderRequests;
    std::optional<std::wstring> folder;
    bool throwOnFolder = false;

    // The file dialog writes result (terminators included) into the buffer, or fills it to the end.
    std::wstring result;
    bool confirm = true;
    bool fillToTheEnd = false;
    std::vector<FileDialogRequest> requests;
    std::vector<std::wstring> initialNames;
    std::size_t bufferSize = 0;

    // The user picks this one file in the file dialog and confirms.
    void Choose(const std::wstring& path) {
        result = path + L'\0';
        confirm = true;
    }
    std::vector<std::wstring> MessageTexts() const {
        std::vector<std::wstring> texts;
        for (const auto& m : shown) texts.push_back(m.text);
        return texts;
    }
    std::vector<std::wstring> FolderTitles() const {
        std::vector<std::wstring> titles;
        for (const auto& r : folderRequests) titles.push_back(r.second);
        return titles;
    }

    void Message(WindowRef owner, MessageKind kind, const std::wstring& text) override {
        shown.push_back({owner, kind, text});
    }
    Answer Ask(WindowRef owner, const std::wstring& text, bool) override {
        asked.push_back(text);
        questionOwners.push_back(owner);
        if (answers.empty()) return unanswered;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::wstring> ChooseFolder(WindowRef owner, const std::wstring& title) override {
        folderRequests.emplace_back(owner, title);
        if (throwOnFolder) throw std::runtime_error("shell failure");
        return folder;
    }
    bool RunFileDialog(const FileDialogRequest& request, std::vector<wchar_t>& buffer) override {
        requests.push_back(request);
        bufferSize = buffer.size();
        initialNames.emplace_back(buffer.data());
        if (fillToTheEnd) std::fill(buffer.begin(), buffer.end(), L'x');
        else std::copy(result.begin(), result.end(), buffer.begin());
        return confirm;
    }
};

}  // namespace qm::testing
