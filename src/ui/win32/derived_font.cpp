#include "ui/win32/derived_font.h"

namespace qm {

FontHandle CreateDerivedFont(HWND window, unsigned flags) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    if (!font) return FontHandle();
    LOGFONTW description{};
    if (GetObjectW(font, sizeof description, &description) != sizeof description) return FontHandle();
    if (flags & kFontBold) description.lfWeight = FW_BOLD;
    if (flags & kFontItalic) description.lfItalic = TRUE;
    if (flags & kFontUnderline) description.lfUnderline = TRUE;
    if (flags & kFontDoubleHeight) description.lfHeight *= 2;
    return FontHandle(CreateFontIndirectW(&description));
}

}  // namespace qm
