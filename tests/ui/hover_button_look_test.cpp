#include "ui/hover_button_look.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(GradientColour, FourTablesFromWhiteDown) {
    for (bool hover : {false, true})
        for (bool emphasised : {false, true}) EXPECT_EQ(GradientColour(0, hover, emphasised), (Rgb{255, 255, 255}));
    EXPECT_EQ(GradientColour(63, true, true), (Rgb{240, 240, 234}));
    EXPECT_EQ(GradientColour(63, true, false), (Rgb{240, 240, 243}));
    EXPECT_EQ(GradientColour(63, false, true), (Rgb{234, 234, 240}));
    EXPECT_EQ(GradientColour(63, false, false), (Rgb{234, 234, 243}));
    // Integer divisions: 11/4 = 2, 11/3 = 3, 11/5 = 2.
    EXPECT_EQ(GradientColour(11, true, true), (Rgb{253, 253, 252}));
    EXPECT_EQ(GradientColour(11, false, false), (Rgb{252, 252, 253}));
}

TEST(GradientBrushForRow, RowsPastTheTableTakeTheLastBrush) {
    // A 23-pixel button: inner height 19, rows 2..21.
    EXPECT_EQ(GradientBrushForRow(2, 19), 6);
    EXPECT_EQ(GradientBrushForRow(19, 19), 63);
    EXPECT_EQ(GradientBrushForRow(20, 19), 63);  // 66 unclamped
    EXPECT_EQ(GradientBrushForRow(21, 19), 63);  // 69 unclamped
    EXPECT_EQ(GradientBrushForRow(10, 19), 33);
    EXPECT_EQ(GradientBrushForRow(0, 0), 0);
    EXPECT_EQ(GradientBrushForRow(5, 0), 0);
}

// The shading a user sees on a standard 23-pixel button, row by row from the inner top to the bottom edge.
TEST(GradientBrushForRow, EveryRowOfAStandardButton) {
    const int expected[] = {6, 9, 13, 16, 19, 23, 26, 29, 33, 36, 39, 43, 46, 49, 53, 56, 59, 63, 63, 63};
    for (int y = 2; y <= 21; ++y) EXPECT_EQ(GradientBrushForRow(y, 19), expected[y - 2]) << "row " << y;
    // A taller button reaches the last brush only at its bottom row.
    EXPECT_EQ(GradientBrushForRow(63, 64), 62);
    EXPECT_EQ(GradientBrushForRow(64, 64), 63);
}

TEST(GradientRows, FromTheInnerTopToItsBottomEdge) {
    const Edges inner{2, 2, 78, 23};  // an 80 by 25 button with 2-pixel edges
    const GradientRows rows = GradientRowsFor(inner);
    EXPECT_EQ(rows.firstRow, 2);
    EXPECT_EQ(rows.lastRow, 23);
    EXPECT_EQ(rows.left, 2);
    EXPECT_EQ(rows.right, 78);
}

TEST(Border, FocusSetOnlyWithoutHover) {
    EXPECT_EQ(BorderFor(false, false), BorderSet::None);
    EXPECT_EQ(BorderFor(false, true), BorderSet::Focus);
    EXPECT_EQ(BorderFor(true, true), BorderSet::Hover);
    EXPECT_EQ(BorderFor(true, false), BorderSet::Hover);
    const auto hover = BorderPens(BorderSet::Hover);
    EXPECT_EQ(hover[0].width, 3);
    EXPECT_EQ(hover[0].colour, (Rgb{250, 196, 88}));
    EXPECT_EQ(hover[1].colour, (Rgb{251, 202, 106}));
    EXPECT_EQ(hover[2].width, 2);
    EXPECT_EQ(hover[2].colour, (Rgb{252, 210, 121}));
    EXPECT_EQ(hover[3].width, 2);
    EXPECT_EQ(hover[3].colour, (Rgb{229, 151, 0}));
    const auto focus = BorderPens(BorderSet::Focus);
    EXPECT_EQ(focus[0].colour, (Rgb{153, 198, 252}));
    EXPECT_EQ(focus[1].colour, (Rgb{162, 189, 252}));
    EXPECT_EQ(focus[2].colour, (Rgb{162, 201, 255}));
    EXPECT_EQ(focus[3].colour, (Rgb{162, 201, 255}));
}

TEST(Border, LinesOnTheInnerRectangle) {
    const auto lines = BorderLines(Edges{2, 2, 78, 23});
    EXPECT_EQ(lines[0].x1, 2);  // left: bottom - 1 up to top + 1
    EXPECT_EQ(lines[0].y1, 22);
    EXPECT_EQ(lines[0].x2, 2);
    EXPECT_EQ(lines[0].y2, 3);
    EXPECT_EQ(lines[1].x1, 77);  // right
    EXPECT_EQ(lines[1].y1, 22);
    EXPECT_EQ(lines[1].y2, 2);
    EXPECT_EQ(lines[2].x1, 1);  // top: from left - 1
    EXPECT_EQ(lines[2].y1, 2);
    EXPECT_EQ(lines[2].x2, 77);
    EXPECT_EQ(lines[3].x1, 2);  // bottom, on the bottom edge
    EXPECT_EQ(lines[3].y1, 23);
    EXPECT_EQ(lines[3].x2, 77);
    EXPECT_EQ(lines[3].y2, 23);
}

TEST(TextOriginFor, CentredWithIntegerHalvesAndPressedOffset) {
    const Edges inner{2, 2, 78, 23};
    const TextOrigin up = TextOriginFor(inner, 33, 13, false);
    EXPECT_EQ(up.x, 40 - 16);
    EXPECT_EQ(up.y, 12 - 6);
    const TextOrigin down = TextOriginFor(inner, 33, 13, true);
    EXPECT_EQ(down.x, up.x + 1);
    EXPECT_EQ(down.y, up.y + 1);
}

TEST(HighContrastLook, OnlyTheUsersColoursInEveryState) {
    using C = SystemColour;
    struct Row {
        bool hover, focused, pressed, disabled;
        ContrastLook look;
    };
    const Row rows[] = {
        {false, false, false, false, {C::ButtonFace, C::ButtonText, C::ButtonText, false, false}},
        {true, false, false, false, {C::ButtonFace, C::ButtonText, C::ButtonText, true, false}},
        {false, true, false, false, {C::ButtonFace, C::ButtonText, C::ButtonText, true, true}},
        {true, true, true, false, {C::Highlight, C::HighlightText, C::ButtonText, true, true}},
        {false, false, true, false, {C::Highlight, C::HighlightText, C::ButtonText, false, false}},
        // A disabled button shows neither hover nor focus, and its text in the grey the user chose.
        {true, true, true, true, {C::ButtonFace, C::GrayText, C::ButtonText, false, false}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(HighContrastLook(r.hover, r.focused, r.pressed, r.disabled), r.look)
            << r.hover << r.focused << r.pressed << r.disabled;
}

}  // namespace
}  // namespace qm
