#include "user.h"

#include <shlobj.h>

#include <chrono>
#include <cwctype>
#include <map>
#include <set>
#include <sstream>

#include "hooks.h"
#include "page.h"
#include "record.h"
#include "screenshot.h"

namespace qm::pagehost {

namespace {

constexpr int kFileNameCombo = 0x47c;  // cmb13 of the common file dialogs
constexpr int kFileNameEdit = 0x480;   // edt1 of the old-style ones
constexpr int kMessageText = 0xFFFF;   // the message box's text

std::wstring Trim(const std::wstring& text) {
    size_t start = text.find_first_not_of(L" \t");
    if (start == std::wstring::npos) return {};
    size_t end = text.find_last_not_of(L" \t");
    return text.substr(start, end - start + 1);
}

std::wstring Lower(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

// Whether `words` occurs in `text`, without regard to case, as whole words: no letter or digit right before or
// after it. A bare substring would let "OK" answer a box whose path holds "aBokQ1".
bool ShowsWords(const std::wstring& text, const std::wstring& words) {
    if (words.empty()) return false;
    const std::wstring haystack = Lower(text), needle = Lower(words);
    for (size_t at = haystack.find(needle); at != std::wstring::npos; at = haystack.find(needle, at + 1)) {
        const size_t end = at + needle.size();
        if ((at == 0 || !iswalnum(haystack[at - 1])) && (end == haystack.size() || !iswalnum(haystack[end])))
            return true;
    }
    return false;
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[4096] = L"";
    DWORD_PTR copied = 0;
    // A bounded wait: a window whose thread is stuck must not stop the watcher.
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 1000, &copied))
        return {};
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

struct Control {
    HWND window;
    int id;
    std::wstring className;
    std::wstring text;
    bool visible;
    bool enabled;
    int checked;  // -1 when not a check box or radio button
};

BOOL CALLBACK AddControl(HWND child, LPARAM param) {
    auto* list = reinterpret_cast<std::vector<Control>*>(param);
    Control control{child, GetDlgCtrlID(child), ClassOf(child), WindowText(child), IsWindowVisible(child) != FALSE,
                    IsWindowEnabled(child) != FALSE, -1};
    if (_wcsicmp(control.className.c_str(), L"Button") == 0) {
        LONG style = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
        if (style == BS_CHECKBOX || style == BS_AUTOCHECKBOX || style == BS_RADIOBUTTON || style == BS_AUTORADIOBUTTON ||
            style == BS_3STATE || style == BS_AUTO3STATE) {
            DWORD_PTR state = 0;
            SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 1000, &state);
            control.checked = static_cast<int>(state);
        }
    }
    list->push_back(control);
    return TRUE;
}

std::vector<Control> Controls(HWND dialog) {
    std::vector<Control> controls;
    EnumChildWindows(dialog, AddControl, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

// Until the dialog or one of its controls shows the text (a minute at most); false when it never does.
bool WaitForText(HWND dialog, const std::wstring& text) {
    for (int waited = 0; waited < 60000 && IsWindow(dialog); waited += 50) {
        if (ShowsWords(WindowText(dialog), text)) return true;
        for (auto& control : Controls(dialog))
            if (control.visible && ShowsWords(control.text, text)) return true;
        Sleep(50);
    }
    return false;
}

struct Search {
    DWORD process;
    std::vector<HWND>* found;
};

BOOL CALLBACK AddDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && IsWindowVisible(window) && ClassOf(window) == L"#32770") search->found->push_back(window);
    return TRUE;
}

void PressEscape(HWND dialog) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus)))
        target = info.hwndFocus;
    PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void Click(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    // Posted: the click may open another modal window, which must not block the watcher.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

void SetText(HWND window, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 2000, &ignored);
}

bool SetFileName(HWND dialog, const std::wstring& text) {
    HWND field = GetDlgItem(dialog, kFileNameCombo);
    if (!field) field = GetDlgItem(dialog, kFileNameEdit);
    if (!field) return false;
    SetText(field, text);
    return true;
}

std::vector<std::wstring> SplitBar(const std::wstring& text) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : text + L"|") {
        if (c == L'|') {
            if (!Trim(part).empty()) parts.push_back(Trim(part));
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

bool ChooseFiles(HWND dialog, const std::wstring& list) {
    std::vector<std::wstring> files = SplitBar(list);
    if (files.empty()) return false;
    if (files.size() == 1) {
        if (!SetFileName(dialog, files[0])) return false;
        Click(dialog, IDOK);
        return true;
    }
    // Several files: go to their folder first, then name them quoted, as a user types them.
    std::wstring folder = files[0].substr(0, files[0].find_last_of(L"\\/"));
    if (!SetFileName(dialog, folder)) return false;
    Click(dialog, IDOK);
    Sleep(400);
    std::wstring names;
    for (auto& file : files) names += L"\"" + file.substr(file.find_last_of(L"\\/") + 1) + L"\" ";
    if (!SetFileName(dialog, names)) return false;
    Click(dialog, IDOK);
    return true;
}

bool ChooseFolder(HWND dialog, const std::wstring& path) {
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()),
                             SMTO_ABORTIFHUNG, 3000, &ignored))
        return false;
    Sleep(200);
    Click(dialog, IDOK);
    return true;
}

}  // namespace

UserAnswer ParseAnswer(const std::wstring& line) {
    UserAnswer answer;
    answer.line = line;
    std::wstring rest = Trim(line);
    if (_wcsnicmp(rest.c_str(), L"maybe ", 6) == 0) {
        answer.optional = true;
        rest = Trim(rest.substr(6));
    }
    if (_wcsnicmp(rest.c_str(), L"when ", 5) == 0) {
        size_t arrow = rest.find(L"=>");
        if (arrow == std::wstring::npos) throw HostError(L"answer without \"=>\": " + line);
        answer.when = Trim(rest.substr(5, arrow - 5));
        rest = rest.substr(arrow + 2);
    }
    std::wstring piece;
    std::wistringstream pieces(rest);
    while (std::getline(pieces, piece, L';')) {
        piece = Trim(piece);
        if (piece.empty()) continue;
        UserAction action;
        size_t space = piece.find(L' ');
        action.verb = Lower(piece.substr(0, space));
        std::wstring argument = space == std::wstring::npos ? L"" : Trim(piece.substr(space + 1));
        if (action.verb == L"click" || action.verb == L"check" || action.verb == L"uncheck" || action.verb == L"type") {
            wchar_t* end = nullptr;
            action.id = static_cast<int>(std::wcstol(argument.c_str(), &end, 0));
            if (end == argument.c_str()) throw HostError(L"answer needs a control id: " + line);
            if (action.verb == L"type") action.text = Trim(end);
        } else if (action.verb == L"wait") {
            action.id = _wtoi(argument.c_str());
        } else if (action.verb == L"files" || action.verb == L"folder" || action.verb == L"shot" ||
                   action.verb == L"waitfor") {
            if (argument.empty()) throw HostError(L"answer needs an argument: " + line);
            action.text = argument;
        } else if (action.verb != L"escape") {
            throw HostError(L"unknown answer action \"" + action.verb + L"\" in: " + line);
        }
        answer.actions.push_back(action);
    }
    if (answer.actions.empty()) throw HostError(L"answer without an action: " + line);
    return answer;
}

ScriptedUser::ScriptedUser(std::vector<UserAnswer> answers) : answers_(std::move(answers)) {}

ScriptedUser::~ScriptedUser() { Stop(); }

void ScriptedUser::Start() { thread_ = std::thread([this] { Watch(); }); }

void ScriptedUser::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<std::wstring> ScriptedUser::UnusedAnswers() const {
    std::vector<std::wstring> unused;
    for (auto& answer : answers_)
        if (!answer.used && !answer.optional) unused.push_back(answer.line);
    return unused;
}

void ScriptedUser::Watch() {
    using Clock = std::chrono::steady_clock;
    std::map<HWND, Clock::time_point> firstSeen;
    std::set<HWND> handled;
    const DWORD process = GetCurrentProcessId();
    while (!stop_) {
        std::vector<HWND> dialogs;
        Search search{process, &dialogs};
        EnumWindows(AddDialog, reinterpret_cast<LPARAM>(&search));
        for (auto it = handled.begin(); it != handled.end();)
            it = IsWindow(*it) ? std::next(it) : handled.erase(it);
        for (auto it = firstSeen.begin(); it != firstSeen.end();)
            it = IsWindow(it->first) ? std::next(it) : firstSeen.erase(it);
        for (HWND dialog : dialogs) {
            if (handled.count(dialog)) continue;
            auto seen = firstSeen.emplace(dialog, Clock::now()).first;
            // Let the dialog settle, and leave it while a window it opened is in front of it.
            if (Clock::now() - seen->second < std::chrono::milliseconds(150) || !IsWindowEnabled(dialog)) continue;
            handled.insert(dialog);
            Handle(dialog);
        }
        Sleep(50);
    }
}

void ScriptedUser::Handle(HWND dialog) {
    const std::wstring caption = WindowText(dialog);
    std::vector<Control> controls = Controls(dialog);
    std::wstring text;
    for (auto& control : controls)
        if (control.id == kMessageText && _wcsicmp(control.className.c_str(), L"Static") == 0) text = control.text;
    if (text.empty())
        for (auto& control : controls)
            if (_wcsicmp(control.className.c_str(), L"Static") == 0 && control.visible && !control.text.empty())
                text += (text.empty() ? L"" : L"\n") + control.text;

    UserAnswer* answer = nullptr;
    for (auto& candidate : answers_) {
        if (candidate.used) continue;
        bool fits = candidate.when.empty() || ShowsWords(caption, candidate.when);
        for (auto& control : controls) fits = fits || ShowsWords(control.text, candidate.when);
        if (fits) {
            answer = &candidate;
            break;
        }
    }

    std::string buttons = "[", checks = "[";
    for (auto& control : controls) {
        if (_wcsicmp(control.className.c_str(), L"Button") != 0 || !control.visible) continue;
        std::string entry = "{\"id\":" + std::to_string(control.id) + ",\"text\":" + JsonString(control.text) +
                            ",\"enabled\":" + (control.enabled ? "true" : "false");
        if (control.checked >= 0) {
            checks += (checks.size() > 1 ? "," : "") + entry + ",\"checked\":" + std::to_string(control.checked) + "}";
        } else {
            buttons += (buttons.size() > 1 ? "," : "") + entry + "}";
        }
    }
    buttons += "]";
    checks += "]";
    TheRecord().Add(JsonObject().Text("kind", L"dialog").Text("caption", caption).Text("text", text)
                        .Raw("buttons", buttons).Raw("checks", checks)
                        .Text("owner", OwnerName(GetWindow(dialog, GW_OWNER)))
                        .Text("answer", answer ? answer->line : L""));
    TheRecord().Say(L"dialog \"" + caption + L"\": " + (answer ? answer->line : L"(no answer)"));
    if (!answer) return;
    answer->used = true;

    for (auto& action : answer->actions) {
        bool ok = true;
        if (action.verb == L"click") {
            HWND control = GetDlgItem(dialog, action.id);
            ok = control != nullptr || action.id == IDOK || action.id == IDCANCEL;
            if (ok) Click(dialog, action.id);
        } else if (action.verb == L"check" || action.verb == L"uncheck") {
            HWND control = GetDlgItem(dialog, action.id);
            ok = control != nullptr;
            if (ok) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(control, BM_SETCHECK, action.verb == L"check" ? BST_CHECKED : BST_UNCHECKED, 0,
                                    SMTO_ABORTIFHUNG, 1000, &ignored);
                Click(dialog, action.id);
            }
        } else if (action.verb == L"type") {
            HWND control = GetDlgItem(dialog, action.id);
            ok = control != nullptr;
            if (ok) SetText(control, action.text);
        } else if (action.verb == L"escape") {
            PressEscape(dialog);
        } else if (action.verb == L"files") {
            ok = ChooseFiles(dialog, action.text);
        } else if (action.verb == L"folder") {
            ok = ChooseFolder(dialog, action.text);
        } else if (action.verb == L"wait") {
            Sleep(static_cast<DWORD>(action.id));
        } else if (action.verb == L"waitfor") {
            ok = WaitForText(dialog, action.text);
        } else if (action.verb == L"shot") {
            TakeShot(action.text);
        }
        if (!ok) TheRecord().Fail(L"dialog \"" + caption + L"\" has no control for \"" + answer->line + L"\"");
        Sleep(30);
    }
}

}  // namespace qm::pagehost
