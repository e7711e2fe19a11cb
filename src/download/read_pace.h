#pragma once
// How much a read of a reply body may ask for. A read of more than has arrived waits until it is all there,
// so a body that trickles would hold the worker far past a Cancel; asking what has arrived first costs a
// WinInet call of its own, and Wine answers at most its 8 KiB buffer. So reads ask what has arrived until
// the link has shown a pace at which a large piece comes within a moment; then they read such pieces
// without asking, and go back to asking as soon as the pace drops.
#include <cstddef>
#include <cstdint>

namespace qm {

// The largest read without asking. Measured with reads alone through WinInet under Wine, 256 MiB from the
// reference store: 830 ms in 64 KiB reads, 280-350 ms in 256 KiB, 220-330 ms in 1 MiB, 240-340 ms in 4 MiB.
inline constexpr std::size_t kLargestBlindRead = 1 << 20;
// A smaller read without asking saves too little over asking first.
inline constexpr std::size_t kSmallestBlindRead = 64 * 1024;
// How long a read without asking may wait at the link's pace, so a Cancel is seen soon.
inline constexpr double kBlindReadSeconds = 0.05;
// The pace is measured over spans of at least this long.
inline constexpr double kPaceSpanSeconds = 0.02;

class ReadPace {
public:
    // 0: ask what has arrived and read no more; otherwise read this many bytes without asking.
    std::size_t BlindSize() const { return blind_; }
    // A read of `bytes` ran from `start` to `end` (seconds on one steady clock); `blind` when it did not ask.
    void Read(std::size_t bytes, double start, double end, bool blind);

private:
    void Choose(double bytesPerSecond);
    std::size_t blind_ = 0;
    bool spanOpen_ = false;
    double spanStart_ = 0;
    std::uint64_t spanBytes_ = 0;
};

}  // namespace qm
