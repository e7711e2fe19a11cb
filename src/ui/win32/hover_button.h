#pragma once
// An owner-drawn push button with a rounded outline, a vertical gradient, an orange border while the mouse
// rests on it and a blue one while it has the focus. The dialog reflects WM_DRAWITEM to it (message + 0x2000).
#include <windows.h>

#include <array>

#include "common/win32/owners.h"

namespace qm {

// The dialog sends WM_DRAWITEM back to the button under this value.
inline constexpr UINT kReflectedMessageBase = 0x2000;

// Whether the system is in a high-contrast theme. Wine answers SPI_GETHIGHCONTRAST with the theme always off and
// cannot switch it, so tests set the answer here; null asks the system again.
using HighContrastProbe = bool (*)();
void SetHighContrastProbe(HighContrastProbe probe);
bool HighContrastOn();

class HoverButton {
public:
    HoverButton();
    ~HoverButton();
    HoverButton(const HoverButton&) = delete;
    HoverButton& operator=(const HoverButton&) = delete;

    // Subclasses the button and makes it owner-drawn. The button stays bound until it is destroyed.
    void Bind(HWND button);
    void DrawItem(const DRAWITEMSTRUCT& item);

    HWND Window() const { return window_; }
    bool Hover() const { return hover_ != 0; }
    bool Tracking() const { return tracking_ != 0; }
    bool Focused() const { return focused_ != 0; }
    bool Emphasised() const { return emphasised_ != 0; }
    // The dialog's default button: the one Enter presses when the focus is not on another button.
    bool IsDefault() const { return default_; }
    // How often the button has been drawn.
    unsigned DrawCount() const { return drawCount_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void DrawHighContrast(HDC dc, const DRAWITEMSTRUCT& item, const RECT& clip, const wchar_t* text);

    HWND window_ = nullptr;
    int hover_ = 0;
    int tracking_ = 0;
    int focused_ = 0;
    int emphasised_ = 0;
    bool default_ = false;
    unsigned drawCount_ = 0;
    UniqueHpen outlinePen_;
    std::array<UniqueHpen, 4> hoverPens_;  // left, right, top, bottom
    std::array<UniqueHpen, 4> focusPens_;
};

}  // namespace qm
