#pragma once
// A font derived from a window's font with other styles (the File Download dialog's bold question line).
#include <windows.h>

#include "common/win32/owners.h"

namespace qm {

enum FontStyleFlags : unsigned {
    kFontBold = 1,
    kFontItalic = 2,
    kFontUnderline = 4,
    kFontDoubleHeight = 8,
};

using FontHandle = UniqueHfont;

// The window's font (WM_GETFONT) with the styles of flags; empty when the window has no font or its
// description cannot be read.
FontHandle CreateDerivedFont(HWND window, unsigned flags);

}  // namespace qm
