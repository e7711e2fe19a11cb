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

// The compact layout, in dialog units so that it follows the dialog's font and the display's scaling: every row
// stays where the template has it, Cancel moves up under the rate row into the place of the check box, the
// check box and the Open buttons are hidden, and the client area ends below Cancel.
inline constexpr PixelRect kCompactCancelUnits{208, 78, 50, 14};
inline constexpr int kCompactClientHeightUnits = 99;

// Top-left corner of a window of the given size centred over the owner (when there is one that is visible
// and not minimised) or else over the work area, moved back inside the work area where it sticks out.
PixelPoint CentredPosition(int width, int height, const PixelRect* owner, const PixelRect& workArea);

// The progress bar uses only the low 16 bits of a range.
inline std::uint32_t ProgressBarUpper(std::uint32_t range) { return range & 0xFFFFu; }

}  // namespace qm
