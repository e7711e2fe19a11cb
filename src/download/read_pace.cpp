#include "download/read_pace.h"

namespace qm {

void ReadPace::Read(std::size_t bytes, double start, double end, bool blind) {
    // A read without asking that waited long says at once that the link has slowed.
    if (blind && end - start > 2 * kBlindReadSeconds) {
        Choose(static_cast<double>(bytes) / (end - start));
        spanOpen_ = false;
        return;
    }
    if (!spanOpen_) {
        spanOpen_ = true;
        spanStart_ = start;
        spanBytes_ = 0;
    }
    spanBytes_ += bytes;
    if (end - spanStart_ < kPaceSpanSeconds) return;
    Choose(static_cast<double>(spanBytes_) / (end - spanStart_));
    spanOpen_ = false;
}

void ReadPace::Choose(double bytesPerSecond) {
    const double size = bytesPerSecond * kBlindReadSeconds;
    if (size < static_cast<double>(kSmallestBlindRead)) {
        blind_ = 0;
        return;
    }
    // Powers of two from the smallest: a piece the pace would bring a little late is never asked for.
    std::size_t chosen = kSmallestBlindRead;
    while (chosen < kLargestBlindRead && static_cast<double>(chosen * 2) <= size) chosen *= 2;
    blind_ = chosen;
}

}  // namespace qm
