#include "ui/win32/hover_button.h"

#include <commctrl.h>

#include "ui/hover_button_look.h"

namespace qm {

namespace {

constexpr UINT_PTR kSubclassId = 0x4842;  // "HB"

COLORREF ToColorRef(Rgb c) { return RGB(c.r, c.g, c.b); }

HighContrastProbe highContrastProbe = nullptr;

COLORREF SystemColourRef(SystemColour colour) {
    switch (colour) {
        case SystemColour::ButtonFace: return GetSysColor(COLOR_BTNFACE);
        case SystemColour::ButtonText: return GetSysColor(COLOR_BTNTEXT);
        case SystemColour::GrayText: return GetSysColor(COLOR_GRAYTEXT);
        case SystemColour::Highlight: return GetSysColor(COLOR_HIGHLIGHT);
        case SystemColour::HighlightText: return GetSysColor(COLOR_HIGHLIGHTTEXT);
    }
    return GetSysColor(COLOR_BTNTEXT);
}

// The button's own font, which is the dialog's and so follows its size and the display's scaling.
HGDIOBJ ButtonFont(HWND button) {
    const auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(button, WM_GETFONT, 0, 0));
    return font ? font : GetStockObject(DEFAULT_GUI_FONT);
}

std::array<UniqueHpen, 4> CreatePens(BorderSet set) {
    std::array<UniqueHpen, 4> pens;
    const auto specs = BorderPens(set);
    for (std::size_t i = 0; i < pens.size(); ++i)
        pens[i].reset(CreatePen(PS_INSIDEFRAME, specs[i].width, ToColorRef(specs[i].colour)));
    return pens;
}

bool IsReflectedNotification(UINT message) {
    if (message < kReflectedMessageBase) return false;
    switch (message - kReflectedMessageBase) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_PARENTNOTIFY:
        case WM_MEASUREITEM:
        case WM_DELETEITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_COMPAREITEM:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

}  // namespace

void SetHighContrastProbe(HighContrastProbe probe) { highContrastProbe = probe; }

bool HighContrastOn() {
    if (highContrastProbe) return highContrastProbe();
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

HoverButton::HoverButton()
    : outlinePen_(CreatePen(PS_INSIDEFRAME, 1, ToColorRef(kOutlineColour))),
      hoverPens_(CreatePens(BorderSet::Hover)),
      focusPens_(CreatePens(BorderSet::Focus)) {}

HoverButton::~HoverButton() {
    if (window_ && IsWindow(window_)) RemoveWindowSubclass(window_, &HoverButton::Procedure, kSubclassId);
}

void HoverButton::Bind(HWND button) {
    if (!button) return;
    window_ = button;
    const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    default_ = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    SetWindowSubclass(button, &HoverButton::Procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    SetWindowLongPtrW(button, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
}

LRESULT CALLBACK HoverButton::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self) {
    auto* button = reinterpret_cast<HoverButton*>(self);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, &HoverButton::Procedure, kSubclassId);
        button->window_ = nullptr;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    return button->Handle(message, wParam, lParam);
}

LRESULT HoverButton::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            if (!tracking_) {
                TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, window_, 1};
                tracking_ = TrackMouseEvent(&track) ? 1 : 0;
            }
            break;
        case WM_MOUSEHOVER:
            hover_ = 1;
            InvalidateRect(window_, nullptr, TRUE);
            return 0;
        case WM_MOUSELEAVE:
            hover_ = 0;
            tracking_ = 0;
            InvalidateRect(window_, nullptr, FALSE);
            return 0;
        case WM_GETDLGCODE:
            // An owner-drawn button would otherwise not count as a push button: Enter would press the dialog's
            // first button instead of the focused one, and the default would not follow the focus.
            // The focused button counts as the default even where the dialog manager did not make it one.
            return DLGC_BUTTON | (default_ || GetFocus() == window_ ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        case BM_SETSTYLE:
            // The dialog manager moves the default this way; the button stays owner-drawn.
            if ((wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON || (wParam & BS_TYPEMASK) == BS_PUSHBUTTON) {
                default_ = (wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
                if (lParam) InvalidateRect(window_, nullptr, FALSE);
                return 0;
            }
            break;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
        case WM_THEMECHANGED:
            InvalidateRect(window_, nullptr, FALSE);
            break;
        case kReflectedMessageBase + WM_DRAWITEM:
            DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        default:
            if (IsReflectedNotification(message))
                return DefWindowProcW(window_, message - kReflectedMessageBase, wParam, lParam);
            break;
    }
    return DefSubclassProc(window_, message, wParam, lParam);
}

void HoverButton::DrawItem(const DRAWITEMSTRUCT& item) {
    ++drawCount_;
    HDC target = item.hDC;
    RECT clip;
    if (GetClipBox(target, &clip) == ERROR) clip = item.rcItem;
    const int clipWidth = clip.right - clip.left;
    const int clipHeight = clip.bottom - clip.top;
    if (clipWidth <= 0 || clipHeight <= 0) return;

    // Off-screen copy of the clip box in the item's own coordinates.
    const UniqueMemoryDc dc(CreateCompatibleDC(target));
    const UniqueHbitmap bitmap(CreateCompatibleBitmap(target, clipWidth, clipHeight));
    if (!dc || !bitmap) return;
    const SelectedObject bitmapIn(dc.get(), bitmap.get());
    SetWindowOrgEx(dc.get(), clip.left, clip.top, nullptr);
    {
        const UniqueHbrush background(CreateSolidBrush(GetBkColor(target)));
        FillRect(dc.get(), &clip, background.get());
    }

    wchar_t text[261] = {};
    GetWindowTextW(item.hwndItem, text, 261);

    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    focused_ = (item.itemState & ODS_FOCUS) ? 1 : 0;
    emphasised_ = (focused_ || pressed || default_ || (item.itemState & ODS_DEFAULT)) ? 1 : 0;

    if (HighContrastOn()) {
        DrawHighContrast(dc.get(), item, clip, text);
        BitBlt(target, clip.left, clip.top, clipWidth, clipHeight, dc.get(), clip.left, clip.top, SRCCOPY);
        return;
    }

    RECT innerRect = item.rcItem;
    InflateRect(&innerRect, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    const Edges inner{innerRect.left, innerRect.top, innerRect.right, innerRect.bottom};

    {
        const SelectedObject penIn(dc.get(), outlinePen_.get());
        RoundRect(dc.get(), item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom,
                  kCornerEllipse, kCornerEllipse);

        // Gradient: 64 brushes made for this drawing only.
        std::array<UniqueHbrush, kGradientBrushes> brushes;
        for (int i = 0; i < kGradientBrushes; ++i)
            brushes[i].reset(CreateSolidBrush(ToColorRef(GradientColour(i, hover_ != 0, emphasised_ != 0))));
        const GradientRows rows = GradientRowsFor(inner);
        for (int y = rows.firstRow; y <= rows.lastRow; ++y) {
            RECT row{rows.left, y, rows.right, y + 1};
            FillRect(dc.get(), &row, brushes[GradientBrushForRow(y, inner.Height())].get());
        }

        const BorderSet border = BorderFor(hover_ != 0, focused_ != 0);
        if (border != BorderSet::None) {
            const auto& pens = border == BorderSet::Focus ? focusPens_ : hoverPens_;
            const auto lines = BorderLines(inner);
            for (std::size_t i = 0; i < lines.size(); ++i) {
                SelectObject(dc.get(), pens[i].get());
                MoveToEx(dc.get(), lines[i].x1, lines[i].y1, nullptr);
                LineTo(dc.get(), lines[i].x2, lines[i].y2);
            }
        }
    }

    {
        const SelectedObject fontIn(dc.get(), ButtonFont(item.hwndItem));
        RECT measure{0, 0, 0, 0};
        DrawTextW(dc.get(), text, -1, &measure, DT_SINGLELINE | DT_CALCRECT);
        const int textWidth = measure.right - measure.left;
        const int textHeight = measure.bottom - measure.top;
        const TextOrigin origin = TextOriginFor(inner, textWidth, textHeight, pressed);
        SetBkMode(dc.get(), TRANSPARENT);
        if (item.itemState & ODS_DISABLED) {
            DrawStateW(dc.get(), nullptr, nullptr, reinterpret_cast<LPARAM>(text), 0, origin.x, origin.y, textWidth,
                       textHeight, DST_PREFIXTEXT | DSS_DISABLED);
        } else {
            SetTextColor(dc.get(), GetSysColor(COLOR_BTNTEXT));
            RECT place{origin.x, origin.y, origin.x + textWidth, origin.y + textHeight};
            DrawTextW(dc.get(), text, -1, &place, DT_SINGLELINE | DT_NOCLIP);
        }
    }

    BitBlt(target, clip.left, clip.top, clipWidth, clipHeight, dc.get(), clip.left, clip.top, SRCCOPY);
}

void HoverButton::DrawHighContrast(HDC dc, const DRAWITEMSTRUCT& item, const RECT& clip, const wchar_t* text) {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const ContrastLook look = HighContrastLook(hover_ != 0, focused_ != 0, pressed, disabled);
    {
        const UniqueHbrush around(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
        FillRect(dc, &clip, around.get());
    }
    {
        const UniqueHpen outline(CreatePen(PS_INSIDEFRAME, 1, SystemColourRef(look.outline)));
        const UniqueHbrush face(CreateSolidBrush(SystemColourRef(look.face)));
        const SelectedObject penIn(dc, outline.get());
        const SelectedObject brushIn(dc, face.get());
        RoundRect(dc, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom, kCornerEllipse,
                  kCornerEllipse);
    }
    RECT inner = item.rcItem;
    InflateRect(&inner, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    if (look.border) {
        const UniqueHpen border(CreatePen(PS_INSIDEFRAME, 2, GetSysColor(COLOR_HIGHLIGHT)));
        const SelectedObject penIn(dc, border.get());
        const SelectedObject brushIn(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, inner.left, inner.top, inner.right, inner.bottom);
    }
    if (look.focusRectangle) {
        RECT focus = inner;
        InflateRect(&focus, -3, -3);
        SetTextColor(dc, SystemColourRef(look.text));
        SetBkColor(dc, SystemColourRef(look.face));
        DrawFocusRect(dc, &focus);
    }
    const SelectedObject fontIn(dc, ButtonFont(item.hwndItem));
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, text, -1, &measure, DT_SINGLELINE | DT_CALCRECT);
    const Edges edges{inner.left, inner.top, inner.right, inner.bottom};
    const TextOrigin origin =
        TextOriginFor(edges, measure.right - measure.left, measure.bottom - measure.top, pressed);
    RECT place{origin.x, origin.y, origin.x + measure.right - measure.left, origin.y + measure.bottom - measure.top};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, SystemColourRef(look.text));
    DrawTextW(dc, text, -1, &place, DT_SINGLELINE | DT_NOCLIP);
}

}  // namespace qm
