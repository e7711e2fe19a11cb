#include "ui/win32/hover_button.h"

#include <gtest/gtest.h>

#include "ui/hover_button_look.h"
#include "ui/win32/capture.h"

namespace qm {
namespace {

using testing::Image;

constexpr int kWidth = 80;
constexpr int kHeight = 25;

LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM) {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        return SendMessageW(item->hwndItem, kReflectedMessageBase + WM_DRAWITEM, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Pump(DWORD milliseconds) {
    const DWORD until = GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (static_cast<LONG>(until - GetTickCount()) > 0);
}

// A top-level window holding one bound button, as a dialog holds its buttons.
class ButtonHost : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ParentProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QmHoverButtonHost";
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        RegisterClassW(&wc);
        parent_ = CreateWindowExW(0, wc.lpszClassName, L"Hover", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr,
                                  nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(parent_);
        button_ = CreateWindowExW(0, L"BUTTON", L"&Cancel", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 60, 40, kWidth,
                                  kHeight, parent_, reinterpret_cast<HMENU>(2), wc.hInstance, nullptr);
        ASSERT_TRUE(button_);
        hover_.Bind(button_);
        Pump(50);
    }
    void TearDown() override {
        if (parent_) DestroyWindow(parent_);
    }

    // Draws the button in a state into an off-screen bitmap and returns its pixels.
    Image Draw(UINT state, const wchar_t* text = nullptr) {
        if (text) SetWindowTextW(button_, text);
        HDC screen = GetDC(nullptr);
        const UniqueMemoryDc dc(CreateCompatibleDC(screen));
        const UniqueHbitmap bitmap(CreateCompatibleBitmap(screen, kWidth, kHeight));
        Image image;
        {
            const SelectedObject selected(dc.get(), bitmap.get());
            SetBkColor(dc.get(), GetSysColor(COLOR_BTNFACE));
            DRAWITEMSTRUCT item{ODT_BUTTON, 2, 0, ODA_DRAWENTIRE, state, button_, dc.get(), RECT{0, 0, kWidth, kHeight}, 0};
            hover_.DrawItem(item);
            image = testing::CaptureDc(dc.get(), 0, 0, kWidth, kHeight);
        }
        ReleaseDC(nullptr, screen);
        if (text) SetWindowTextW(button_, L"&Cancel");
        return image;
    }

    // Bounding box of dark (text) pixels inside the inner rectangle.
    static RECT TextBox(const Image& image, int threshold = 128) {
        RECT box{kWidth, kHeight, -1, -1};
        for (int y = 3; y < kHeight - 3; ++y)
            for (int x = 4; x < kWidth - 4; ++x) {
                const COLORREF c = image.At(x, y);
                if (GetRValue(c) < threshold && GetGValue(c) < threshold && GetBValue(c) < threshold) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x);
                    box.bottom = std::max<LONG>(box.bottom, y);
                }
            }
        return box;
    }

    static bool RowHas(const Image& image, int y, COLORREF colour) {
        for (int x = 8; x < kWidth - 8; ++x)
            if (image.At(x, y) != colour) return false;
        return true;
    }
    static bool ColumnHas(const Image& image, int x, COLORREF colour) {
        for (int y = 6; y < kHeight - 6; ++y)
            if (image.At(x, y) != colour) return false;
        return true;
    }

    HWND parent_ = nullptr;
    HWND button_ = nullptr;
    HoverButton hover_;
};

COLORREF Colour(Rgb c) { return RGB(c.r, c.g, c.b); }

TEST_F(ButtonHost, BindingMakesTheButtonOwnerDrawn) {
    EXPECT_EQ(GetWindowLongPtrW(button_, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_EQ(hover_.Window(), button_);
    // The platform draws it through the parent, which reflects the drawing to the button.
    const unsigned before = hover_.DrawCount();
    InvalidateRect(button_, nullptr, TRUE);
    UpdateWindow(button_);
    EXPECT_GT(hover_.DrawCount(), before);
}

TEST_F(ButtonHost, GradientFirstAndLastRows) {
    const Image normal = Draw(0);
    testing::SaveArtifact(normal, L"button-normal");
    const int edgeX = GetSystemMetrics(SM_CXEDGE), edgeY = GetSystemMetrics(SM_CYEDGE);
    const int innerHeight = kHeight - 2 * edgeY;
    const int x = edgeX + 3;
    EXPECT_EQ(normal.At(x, edgeY), Colour(GradientColour(GradientBrushForRow(edgeY, innerHeight), false, false)));
    // The last row lies on the inner bottom edge and takes brush 63.
    EXPECT_EQ(normal.At(x, innerHeight + 2), Colour(GradientColour(63, false, false)));
    EXPECT_EQ(normal.At(x, innerHeight + 2), RGB(234, 234, 243));
    // No border without hover or focus: the left inner column is gradient, not a pen colour.
    EXPECT_EQ(normal.At(edgeX, kHeight / 2),
              Colour(GradientColour(GradientBrushForRow(kHeight / 2, innerHeight), false, false)));
    // The outline is black.
    EXPECT_EQ(normal.At(kWidth / 2, 0), RGB(0, 0, 0));
}

TEST_F(ButtonHost, FocusBorderIsBlueAndHoverReplacesItWithOrange) {
    const Image focus = Draw(ODS_FOCUS);
    testing::SaveArtifact(focus, L"button-focus");
    const int edgeX = GetSystemMetrics(SM_CXEDGE);
    EXPECT_TRUE(ColumnHas(focus, edgeX, RGB(153, 198, 252))) << "left line of the focus border";
    EXPECT_TRUE(hover_.Focused());
    EXPECT_TRUE(hover_.Emphasised());

    SendMessageW(button_, WM_MOUSEHOVER, 0, 0);
    ASSERT_TRUE(hover_.Hover());
    const Image hover = Draw(ODS_FOCUS);
    testing::SaveArtifact(hover, L"button-hover");
    const int bottom = kHeight - GetSystemMetrics(SM_CYEDGE);
    EXPECT_TRUE(RowHas(hover, bottom, RGB(229, 151, 0)) || RowHas(hover, bottom - 1, RGB(229, 151, 0)))
        << "bottom line of the hover border";
    EXPECT_FALSE(ColumnHas(hover, edgeX, RGB(153, 198, 252)));
    EXPECT_TRUE(ColumnHas(hover, edgeX, RGB(250, 196, 88)));
    // Hover and emphasised: the gradient's last row uses the hover table.
    EXPECT_EQ(hover.At(kWidth / 2 + 30, bottom - 3), Colour(GradientColour(
        GradientBrushForRow(bottom - 3, kHeight - 2 * GetSystemMetrics(SM_CYEDGE)), true, true)));
    SendMessageW(button_, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(hover_.Hover());
}

TEST_F(ButtonHost, PressedTextMovesOnePixelRightAndDown) {
    const RECT up = TextBox(Draw(ODS_FOCUS));
    const Image pressedImage = Draw(ODS_FOCUS | ODS_SELECTED);
    testing::SaveArtifact(pressedImage, L"button-pressed");
    const RECT down = TextBox(pressedImage);
    ASSERT_GE(up.right, up.left) << "text drawn";
    EXPECT_EQ(down.left, up.left + 1);
    EXPECT_EQ(down.top, up.top + 1);
    EXPECT_EQ(down.right, up.right + 1);
    EXPECT_EQ(down.bottom, up.bottom + 1);
}

TEST_F(ButtonHost, AmpersandUnderlinesInsteadOfShowing) {
    const RECT prefixed = TextBox(Draw(0, L"&Cancel"));
    const RECT plain = TextBox(Draw(0, L"Cancel"));
    const RECT literal = TextBox(Draw(0, L"&&Cancel"));
    ASSERT_GE(plain.right, plain.left);
    EXPECT_EQ(prefixed.right - prefixed.left, plain.right - plain.left) << "the ampersand takes no room" << testing::FontNote();
    EXPECT_GT(prefixed.bottom, plain.bottom) << "an underline below the C" << testing::FontNote();
    EXPECT_GT(literal.right - literal.left, plain.right - plain.left) << "a doubled ampersand is drawn" << testing::FontNote();
}

TEST_F(ButtonHost, DisabledTextIsEmbossedWithoutBorder) {
    const Image disabled = Draw(ODS_DISABLED);
    testing::SaveArtifact(disabled, L"button-disabled");
    const RECT dark = TextBox(disabled, 40);
    EXPECT_LT(dark.right, dark.left) << "no black text";
    const RECT grey = TextBox(disabled, 200);
    EXPECT_GE(grey.right, grey.left) << "the embossed shadow is drawn";
    const COLORREF highlight = GetSysColor(COLOR_3DHILIGHT);
    bool sawHighlight = false;
    for (int y = grey.top; y <= grey.bottom + 1; ++y)
        for (int x = grey.left; x <= grey.right + 1; ++x) sawHighlight |= disabled.At(x, y) == highlight;
    EXPECT_TRUE(sawHighlight) << "the embossed highlight is drawn";
    EXPECT_FALSE(ColumnHas(disabled, GetSystemMetrics(SM_CXEDGE), RGB(153, 198, 252)));
}

TEST_F(ButtonHost, ReflectedDrawingIsHandledOtherReflectionsGoToTheDefault) {
    const unsigned before = hover_.DrawCount();
    HDC dc = GetDC(button_);
    DRAWITEMSTRUCT item{ODT_BUTTON, 2, 0, ODA_DRAWENTIRE, 0, button_, dc, RECT{0, 0, kWidth, kHeight}, 0};
    EXPECT_EQ(SendMessageW(button_, kReflectedMessageBase + WM_DRAWITEM, 2, reinterpret_cast<LPARAM>(&item)), TRUE);
    ReleaseDC(button_, dc);
    EXPECT_EQ(hover_.DrawCount(), before + 1);
    EXPECT_EQ(SendMessageW(button_, kReflectedMessageBase + WM_COMMAND, 0, 0), 0);
}

TEST_F(ButtonHost, MouseRestingThenLeavingRepaintsTwice) {
    RECT r;
    GetWindowRect(button_, &r);
    SetCursorPos(r.left - 40, r.top - 40);
    Pump(100);
    ASSERT_FALSE(hover_.Hover());
    const unsigned before = hover_.DrawCount();
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Pump(30);
    for (int i = 0; i < 40 && !hover_.Hover(); ++i) Pump(10);
    EXPECT_TRUE(hover_.Hover());
    EXPECT_TRUE(hover_.Tracking());
    EXPECT_EQ(hover_.DrawCount(), before + 1) << "hover on";
    testing::SaveArtifact(testing::CaptureWindow(button_), L"button-hover-live");

    SetCursorPos(r.left - 40, r.top - 40);
    for (int i = 0; i < 40 && hover_.Hover(); ++i) Pump(10);
    Pump(30);
    EXPECT_FALSE(hover_.Hover());
    EXPECT_FALSE(hover_.Tracking());
    EXPECT_EQ(hover_.DrawCount(), before + 2) << "hover off";
}

// The user's high-contrast colours, set for the process while a test runs and put back after. Wine cannot switch
// the theme itself, so the button is told the theme is on.
class HighContrast {
public:
    static constexpr COLORREF kFace = RGB(0, 0, 0), kText = RGB(255, 255, 0), kHighlight = RGB(0, 160, 0),
                              kHighlightText = RGB(255, 255, 255), kGray = RGB(0, 128, 255);
    HighContrast() {
        for (int i = 0; i < 5; ++i) saved_[i] = GetSysColor(kElements[i]);
        const COLORREF colours[5] = {kFace, kText, kHighlight, kHighlightText, kGray};
        SetSysColors(5, kElements, colours);
        SetHighContrastProbe([] { return true; });
    }
    ~HighContrast() {
        SetHighContrastProbe(nullptr);
        SetSysColors(5, kElements, saved_);
    }

private:
    static constexpr INT kElements[5] = {COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT,
                                         COLOR_GRAYTEXT};
    COLORREF saved_[5] = {};
};

int CountOf(const testing::Image& image, COLORREF colour) {
    int n = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) n += image.At(x, y) == colour;
    return n;
}

// Pixels of the light blue-grey the gradient and its borders are made of.
int GradientLike(const testing::Image& image) {
    int n = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const COLORREF c = image.At(x, y);
            n += GetRValue(c) == GetGValue(c) && GetRValue(c) >= 200 && GetBValue(c) >= GetRValue(c) &&
                 GetRValue(c) < 255;
        }
    return n;
}

TEST_F(ButtonHost, HighContrastPaintsWithTheUsersColoursOnly) {
    HighContrast theme;
    ASSERT_EQ(GetSysColor(COLOR_BTNFACE), HighContrast::kFace) << "the platform did not take the colours";
    const int edge = GetSystemMetrics(SM_CXEDGE);
    const testing::Image plain = Draw(0);
    testing::SaveArtifact(plain, L"button-high-contrast");
    EXPECT_EQ(plain.At(edge + 4, kHeight / 2), HighContrast::kFace);
    EXPECT_GT(CountOf(plain, HighContrast::kText), 20) << "outline and text in the text colour";
    EXPECT_EQ(CountOf(plain, HighContrast::kHighlight), 0) << "no border at rest";
    EXPECT_EQ(GradientLike(plain), 0) << "no gradient";

    const testing::Image focused = Draw(ODS_FOCUS);
    testing::SaveArtifact(focused, L"button-high-contrast-focus");
    EXPECT_GT(CountOf(focused, HighContrast::kHighlight), 2 * (kWidth - 8)) << "a highlight border shows the focus";
    EXPECT_EQ(GradientLike(focused), 0);

    const testing::Image pressed = Draw(ODS_SELECTED);
    EXPECT_EQ(pressed.At(edge + 4, kHeight / 2), HighContrast::kHighlight) << "pressed fills with the highlight";
    EXPECT_GT(CountOf(pressed, HighContrast::kHighlightText), 10);

    const testing::Image disabled = Draw(ODS_DISABLED);
    EXPECT_GT(CountOf(disabled, HighContrast::kGray), 10) << "disabled text in the user's grey";
    EXPECT_EQ(CountOf(disabled, HighContrast::kText) > 0, true) << "the outline stays";
}

}  // namespace
}  // namespace qm
