#pragma once
// Layout arithmetic of the progress dialog: what each transfer mode shows, the compact layout of uploads,
// centring and the progress bar's range.
#include <cstdint>

#include "common/transfer_job.h"

namespace qm {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

struct ProgressLayout {
    bool compact = false;          // uploads: rate and Cancel moved up, window shortened
    bool showCloseCheckBox = false;
    bool checkCloseCheckBox = false;
    bool hideOpenButton = false;
};

ProgressLayout LayoutForMode(TransferMode mode);

// The compact layout, in client pixels; the window itself becomes 398 by 178 pixels at its position.
inline constexpr PixelRect kCompactRateLabel{13, 90, 100, 20};
inline constexpr PixelRect kCompactRateField{105, 90, 367, 18};
inline constexpr PixelRect kCompactCancelButton{294, 113, 80, 25};
inline constexpr int kCompactWindowWidth = 398;
inline constexpr int kCompactWindowHeight = 178;

// Top-left corner of a window of the given size centred over the owner (when there is one that is visible
// and not minimised) or else over the work area, moved back inside the work area where it sticks out.
PixelPoint CentredPosition(int width, int height, const PixelRect* owner, const PixelRect& workArea);

// The progress bar uses only the low 16 bits of a range.
inline std::uint32_t ProgressBarUpper(std::uint32_t range) { return range & 0xFFFFu; }

}  // namespace qm
