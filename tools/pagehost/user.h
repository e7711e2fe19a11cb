#pragma once
// The scripted user: a thread that watches the process's dialogs and message boxes (top-level windows of class
// "#32770"), records each one it sees, and answers it with the first unused answer that matches it.
//
// One answer a line; "#" starts a comment. A line is "[when TEXT =>] ACTION [; ACTION]...", where TEXT must occur
// (without regard to case) in the caption or in a control's text as whole words, with no letter or digit right
// before or after it; without "when" the answer fits any dialog.
// Actions: click ID | check ID | uncheck ID | type ID TEXT | escape | files PATH[|PATH...] | folder PATH |
// wait MS | shot NAME. Choosers are the platform's dialogs, answered through their windows.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace qm::pagehost {

struct UserAction {
    std::wstring verb;
    int id = 0;
    std::wstring text;
};

struct UserAnswer {
    std::wstring line;
    std::wstring when;
    std::vector<UserAction> actions;
    bool used = false;
    bool optional = false;  // "maybe ...": for a dialog that may or may not come; unused is no failure
};

// Throws HostError naming the line when it cannot be read.
UserAnswer ParseAnswer(const std::wstring& line);

class ScriptedUser {
public:
    explicit ScriptedUser(std::vector<UserAnswer> answers);
    ~ScriptedUser();
    void Start();
    void Stop();
    // Answers not used by the end of the run.
    std::vector<std::wstring> UnusedAnswers() const;

private:
    void Watch();
    void Handle(HWND dialog);
    std::vector<UserAnswer> answers_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace qm::pagehost
