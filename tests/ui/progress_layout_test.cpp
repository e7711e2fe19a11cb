#include "ui/progress_layout.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(LayoutForMode, UploadsAreCompactAndDownloadsCloseWhenDone) {
    for (TransferMode mode : {TransferMode::ReUpload, TransferMode::Upload}) {
        const ProgressLayout layout = LayoutForMode(mode);
        EXPECT_TRUE(layout.compact);
        EXPECT_FALSE(layout.showCloseCheckBox);
        EXPECT_FALSE(layout.hideOpenButton);
    }
    const ProgressLayout single = LayoutForMode(TransferMode::Download);
    EXPECT_FALSE(single.compact);
    EXPECT_TRUE(single.showCloseCheckBox);
    EXPECT_TRUE(single.checkCloseCheckBox);
    EXPECT_FALSE(single.hideOpenButton);
    const ProgressLayout multi = LayoutForMode(TransferMode::MultiDownload);
    EXPECT_FALSE(multi.compact);
    EXPECT_TRUE(multi.showCloseCheckBox);
    EXPECT_TRUE(multi.checkCloseCheckBox);
    EXPECT_TRUE(multi.hideOpenButton);
}

TEST(CentredPosition, OverTheOwnerOrTheWorkAreaAndInsideIt) {
    const PixelRect work{0, 0, 1024, 738};
    EXPECT_EQ(CentredPosition(400, 200, nullptr, work), (PixelPoint{312, 269}));
    const PixelRect owner{100, 100, 600, 400};
    EXPECT_EQ(CentredPosition(400, 200, &owner, work), (PixelPoint{200, 200}));
    // An owner near the right edge would push the dialog out: it stops at the edge.
    const PixelRect rightOwner{900, 600, 300, 200};
    EXPECT_EQ(CentredPosition(400, 200, &rightOwner, work), (PixelPoint{624, 538}));
    const PixelRect leftOwner{-500, -300, 100, 100};
    EXPECT_EQ(CentredPosition(400, 200, &leftOwner, work), (PixelPoint{0, 0}));
    // A work area that does not start at the origin (taskbar on the left or top).
    const PixelRect shifted{60, 30, 964, 738};
    EXPECT_EQ(CentredPosition(400, 200, nullptr, shifted), (PixelPoint{342, 299}));
    // Larger than the work area: the top-left corner stays visible.
    EXPECT_EQ(CentredPosition(2000, 1000, nullptr, shifted), (PixelPoint{60, 30}));
}

// With the taskbar on the left or at the top, a dialog over an owner near that edge must not slide under it.
TEST(CentredPosition, StaysOffATaskbarOnTheLeftOrTop) {
    const PixelRect work{60, 30, 964, 738};
    const PixelRect nearLeft{100, 200, 200, 300};  // centring would put the dialog at x = 0
    EXPECT_EQ(CentredPosition(400, 200, &nearLeft, work), (PixelPoint{60, 250}));
    const PixelRect nearTop{300, 50, 400, 100};  // centring would put it at y = 0
    EXPECT_EQ(CentredPosition(400, 200, &nearTop, work), (PixelPoint{300, 30}));
    const PixelRect inside{70, 35, 400, 200};  // just inside the work area: kept as centred
    EXPECT_EQ(CentredPosition(380, 190, &inside, work), (PixelPoint{80, 40}));
}

TEST(ProgressBarUpper, OnlyTheLow16BitsCount) {
    EXPECT_EQ(ProgressBarUpper(100), 100u);
    EXPECT_EQ(ProgressBarUpper(65535), 65535u);
    EXPECT_EQ(ProgressBarUpper(65536), 0u);
    EXPECT_EQ(ProgressBarUpper(70000), 4464u);
    EXPECT_EQ(ProgressBarUpper(0xFFFFFFFFu), 65535u);
}

}  // namespace
}  // namespace qm
