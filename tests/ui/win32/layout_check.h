#pragma once
// What a person would see wrong in a dialog: visible controls on top of each other, a control outside the
// client area, a text its control cannot show whole (measured with the control's own font).
#include <windows.h>

#include <string>
#include <vector>

#include "common/win32/owners.h"

namespace qm::testing {

struct ShownControl {
    HWND window = nullptr;
    RECT rect{};  // in the dialog's client coordinates
    std::wstring text;
    std::wstring kind;
    LONG style = 0;
};

inline std::vector<ShownControl> ShownControls(HWND dialog) {
    std::vector<ShownControl> shown;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        ShownControl c;
        c.window = child;
        GetWindowRect(child, &c.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
        wchar_t text[512] = {};
        SendMessageW(child, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
        c.text = text;
        wchar_t kind[64] = {};
        GetClassNameW(child, kind, 64);
        c.kind = kind;
        c.style = GetWindowLongW(child, GWL_STYLE);
        shown.push_back(c);
    }
    return shown;
}

inline std::string Narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// The size the text needs in the control's font: broken only at its line ends, or also wrapped at the width.
inline SIZE TextNeeds(HWND control, const std::wstring& text, int wrapWidth) {
    const HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | (wrapWidth > 0 ? DT_WORDBREAK : 0));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// One line per fault; empty when the dialog reads right.
inline std::vector<std::string> LayoutProblems(HWND dialog) {
    std::vector<std::string> problems;
    RECT client{};
    GetClientRect(dialog, &client);
    const auto shown = ShownControls(dialog);
    const auto name = [](const ShownControl& c) { return Narrow(c.kind) + " \"" + Narrow(c.text) + "\""; };
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const ShownControl& c = shown[i];
        if (c.rect.left < 0 || c.rect.top < 0 || c.rect.right > client.right || c.rect.bottom > client.bottom)
            problems.push_back(name(c) + " lies outside the client area");
        for (std::size_t j = i + 1; j < shown.size(); ++j) {
            RECT both{};
            if (IntersectRect(&both, &c.rect, &shown[j].rect))
                problems.push_back(name(c) + " overlaps " + name(shown[j]));
        }
        if (c.text.empty()) continue;
        const int width = c.rect.right - c.rect.left, height = c.rect.bottom - c.rect.top;
        const bool button = _wcsicmp(c.kind.c_str(), L"Button") == 0;
        const LONG type = c.style & BS_TYPEMASK;
        if (button && type == BS_GROUPBOX) continue;
        if (button) {
            const bool box = type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
                             type == BS_RADIOBUTTON;
            const SIZE need = TextNeeds(c.window, c.text, 0);
            const int room = width - (box ? GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE) * 2 : 4);
            if (need.cx > room) problems.push_back(name(c) + " is cut: needs " + std::to_string(need.cx) +
                                                   " pixels, has " + std::to_string(room));
        } else if (_wcsicmp(c.kind.c_str(), L"Static") == 0 && (c.style & SS_TYPEMASK) <= SS_RIGHT) {
            const SIZE need = TextNeeds(c.window, c.text, width);
            if (need.cx > width || need.cy > height)
                problems.push_back(name(c) + " is cut: needs " + std::to_string(need.cx) + "x" +
                                   std::to_string(need.cy) + ", has " + std::to_string(width) + "x" +
                                   std::to_string(height));
        } else if (_wcsicmp(c.kind.c_str(), L"Static") == 0 && (c.style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP) {
            const SIZE need = TextNeeds(c.window, c.text, 0);
            if (need.cx > width || need.cy > height)
                problems.push_back(name(c) + " is cut: needs " + std::to_string(need.cx) + "x" +
                                   std::to_string(need.cy) + ", has " + std::to_string(width) + "x" +
                                   std::to_string(height));
        }
    }
    return problems;
}

}  // namespace qm::testing
