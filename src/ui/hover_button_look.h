#pragma once
// What an owner-drawn hover button looks like: gradient, borders, pens and text placement, in the button's
// client pixels. The Windows button (ui/win32/hover_button.h) draws exactly this.
#include <array>
#include <cstdint>

namespace qm {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Edges {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

inline constexpr int kGradientBrushes = 64;

// Colour of gradient brush i (0..63): red equals green, both lighter on hover, blue bluer when emphasised.
Rgb GradientColour(int index, bool hover, bool emphasised);

// Brush number for row y of an inner rectangle of height h: 63 * y / h, the last rows past 63 taking brush 63.
int GradientBrushForRow(int y, int innerHeight);

struct GradientRows {
    int firstRow;  // the inner rectangle's top
    int lastRow;   // h + 2, inclusive
    int left;      // the inner rectangle's left edge
    int right;     // w + 2, exclusive
};
GradientRows GradientRowsFor(const Edges& inner);

struct LinePen {
    int width;
    Rgb colour;
};

struct BorderLine {
    int x1, y1, x2, y2;  // the end point is not drawn
};

enum class BorderSet { None, Focus, Hover };

// Focus set when focused and not hovered, hover set when hovered, else no border.
BorderSet BorderFor(bool hover, bool focused);

// Pens of a set in the order left, right, top, bottom.
std::array<LinePen, 4> BorderPens(BorderSet set);
inline constexpr Rgb kOutlineColour{0, 0, 0};
inline constexpr int kCornerEllipse = 5;

// The four lines on the inner rectangle in the order left, right, top, bottom.
std::array<BorderLine, 4> BorderLines(const Edges& inner);

// Where text of the measured size starts: centred in the inner rectangle, one pixel right and down while pressed.
struct TextOrigin {
    int x, y;
};
TextOrigin TextOriginFor(const Edges& inner, int textWidth, int textHeight, bool pressed);

// In a high-contrast theme the button paints with the user's colours only.
enum class SystemColour { ButtonFace, ButtonText, GrayText, Highlight, HighlightText };
struct ContrastLook {
    SystemColour face;     // the inside
    SystemColour text;
    SystemColour outline;  // the rounded outline
    bool border;           // a thicker inner border in the highlight colour, while hovered or focused
    bool focusRectangle;   // the dotted focus rectangle inside the border
    friend bool operator==(const ContrastLook&, const ContrastLook&) = default;
};
ContrastLook HighContrastLook(bool hover, bool focused, bool pressed, bool disabled);

}  // namespace qm
