#include "ui/progress_layout.h"

namespace qm {

ProgressLayout LayoutForMode(TransferMode mode) {
    ProgressLayout layout;
    switch (mode) {
        case TransferMode::ReUpload:
        case TransferMode::Upload:
            layout.compact = true;
            break;
        case TransferMode::MultiDownload:
            layout.hideOpenButton = true;
            [[fallthrough]];
        case TransferMode::Download:
            layout.showCloseCheckBox = true;
            layout.checkCloseCheckBox = true;
            break;
    }
    return layout;
}

PixelPoint CentredPosition(int width, int height, const PixelRect* owner, const PixelRect& workArea) {
    const PixelRect& over = owner ? *owner : workArea;
    PixelPoint p{over.x + (over.width - width) / 2, over.y + (over.height - height) / 2};
    // Right and bottom first, so that a window larger than the work area keeps its top-left corner visible.
    if (p.x + width > workArea.x + workArea.width) p.x = workArea.x + workArea.width - width;
    if (p.y + height > workArea.y + workArea.height) p.y = workArea.y + workArea.height - height;
    if (p.x < workArea.x) p.x = workArea.x;
    if (p.y < workArea.y) p.y = workArea.y;
    return p;
}

}  // namespace qm
