#include "ui/hover_button_look.h"

namespace qm {

Rgb GradientColour(int i, bool hover, bool emphasised) {
    const int rg = hover ? 255 - i / 4 : 255 - i / 3;
    int b;
    if (hover)
        b = emphasised ? 255 - i / 3 : 255 - i / 5;
    else
        b = emphasised ? 255 - i / 4 : 255 - i / 5;
    return Rgb{static_cast<std::uint8_t>(rg), static_cast<std::uint8_t>(rg), static_cast<std::uint8_t>(b)};
}

int GradientBrushForRow(int y, int innerHeight) {
    if (innerHeight <= 0 || y <= 0) return 0;
    const int index = 63 * y / innerHeight;
    return index > kGradientBrushes - 1 ? kGradientBrushes - 1 : index;
}

GradientRows GradientRowsFor(const Edges& inner) {
    return GradientRows{inner.top, inner.Height() + 2, inner.left, inner.Width() + 2};
}

BorderSet BorderFor(bool hover, bool focused) {
    if (hover) return BorderSet::Hover;
    if (focused) return BorderSet::Focus;
    return BorderSet::None;
}

std::array<LinePen, 4> BorderPens(BorderSet set) {
    if (set == BorderSet::Focus)
        return {LinePen{3, {153, 198, 252}}, LinePen{3, {162, 189, 252}}, LinePen{2, {162, 201, 255}},
                LinePen{2, {162, 201, 255}}};
    return {LinePen{3, {250, 196, 88}}, LinePen{3, {251, 202, 106}}, LinePen{2, {252, 210, 121}},
            LinePen{2, {229, 151, 0}}};
}

std::array<BorderLine, 4> BorderLines(const Edges& r) {
    return {BorderLine{r.left, r.bottom - 1, r.left, r.top + 1}, BorderLine{r.right - 1, r.bottom - 1, r.right - 1, r.top},
            BorderLine{r.left - 1, r.top, r.right - 1, r.top}, BorderLine{r.left, r.bottom, r.right - 1, r.bottom}};
}

TextOrigin TextOriginFor(const Edges& r, int textWidth, int textHeight, bool pressed) {
    TextOrigin o{(r.left + r.right) / 2 - textWidth / 2, (r.top + r.bottom) / 2 - textHeight / 2};
    if (pressed) {
        ++o.x;
        ++o.y;
    }
    return o;
}

ContrastLook HighContrastLook(bool hover, bool focused, bool pressed, bool disabled) {
    ContrastLook look{SystemColour::ButtonFace, SystemColour::ButtonText, SystemColour::ButtonText, false, false};
    if (disabled) {
        look.text = SystemColour::GrayText;
        return look;
    }
    if (pressed) {
        look.face = SystemColour::Highlight;
        look.text = SystemColour::HighlightText;
    }
    look.border = hover || focused;
    look.focusRectangle = focused;
    return look;
}

}  // namespace qm
