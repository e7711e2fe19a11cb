#pragma once
// What a keyboard or screen-reader user would find wrong in a dialog: a tab order that jumps against the reading
// order, and buttons whose accessible name is not their text.
#include <windows.h>
#include <oleacc.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/win32/owners.h"
#include "ui/win32/layout_check.h"

namespace qm::testing {

// The library's IID_IAccessible symbol does not hold IAccessible's identity; the interface's own is used.
inline constexpr GUID kAccessibleId = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The controls a Tab walk visits from the first tab stop, in order, once each.
inline std::vector<HWND> TabWalk(HWND dialog) {
    std::vector<HWND> walk;
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND at = first; at; at = GetNextDlgTabItem(dialog, at, FALSE)) {
        if (!walk.empty() && at == first) break;
        walk.push_back(at);
        if (walk.size() > 64) break;
    }
    return walk;
}

// One line per step of the walk that goes back up, or left along a row.
inline std::vector<std::string> TabOrderProblems(HWND dialog) {
    std::vector<std::string> problems;
    const auto walk = TabWalk(dialog);
    for (std::size_t i = 1; i < walk.size(); ++i) {
        RECT a{}, b{};
        GetWindowRect(walk[i - 1], &a);
        GetWindowRect(walk[i], &b);
        const bool sameRow = b.top < a.bottom && a.top < b.bottom;
        const bool forward = sameRow ? b.left > a.left : b.top >= a.bottom;
        if (!forward) {
            wchar_t from[128] = {}, to[128] = {};
            GetWindowTextW(walk[i - 1], from, 128);
            GetWindowTextW(walk[i], to, 128);
            problems.push_back("Tab goes from \"" + Narrow(from) + "\" back to \"" + Narrow(to) + "\"");
        }
    }
    return problems;
}

// A text a screen reader gets for the window from its accessible object: its name or its value.
inline std::wstring AccessibleText(HWND window, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
    Microsoft::WRL::ComPtr<IAccessible> object;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kAccessibleId,
                                          reinterpret_cast<void**>(object.GetAddressOf()))))
        return L"(no accessible object)";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    Bstr text;
    if ((object.Get()->*get)(self, text.out()) != S_OK || !text.get()) return L"(none)";
    return text.get();
}
inline std::wstring AccessibleName(HWND window) { return AccessibleText(window, &IAccessible::get_accName); }
// Such as a progress bar's percentage.
inline std::wstring AccessibleValue(HWND window) { return AccessibleText(window, &IAccessible::get_accValue); }

// Every shown button must be read out as the text it shows (its mnemonic marker left out).
inline std::vector<std::string> ButtonNameProblems(HWND dialog) {
    std::vector<std::string> problems;
    for (const ShownControl& c : ShownControls(dialog)) {
        const LONG type = c.style & BS_TYPEMASK;
        if (_wcsicmp(c.kind.c_str(), L"Button") != 0 || type == BS_GROUPBOX || c.text.empty()) continue;
        std::wstring shown;
        for (std::size_t i = 0; i < c.text.size(); ++i) {
            if (c.text[i] == L'&' && i + 1 < c.text.size()) ++i;
            shown += c.text[i];
        }
        const std::wstring name = AccessibleName(c.window);
        if (name != shown) problems.push_back("\"" + Narrow(c.text) + "\" is read as \"" + Narrow(name) + "\"");
    }
    return problems;
}

// Keys as the dialog's message loop receives them: posted to the control with the focus.
inline void PostKey(HWND dialog, WPARAM key) {
    HWND focus = GetFocus();
    PostMessageW(focus ? focus : dialog, WM_KEYDOWN, key, 0);
}
inline void PostAltKey(HWND dialog, wchar_t letter) {
    HWND focus = GetFocus();
    PostMessageW(focus ? focus : dialog, WM_SYSCHAR, letter, 1 << 29);
}

}  // namespace qm::testing
