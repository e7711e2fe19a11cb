#include "download/read_pace.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

// Reads of `piece` bytes, asked for after the reply told what had arrived, at `bytesPerSecond`, for `seconds`.
void AskedReads(ReadPace& pace, double& now, std::size_t piece, double bytesPerSecond, double seconds) {
    for (const double end = now + seconds; now < end;) {
        const double start = now;
        now += static_cast<double>(piece) / bytesPerSecond;
        pace.Read(piece, start, now, false);
    }
}

TEST(ReadPace, AsksWhatHasArrivedUntilThePaceIsKnown) {
    ReadPace pace;
    EXPECT_EQ(pace.BlindSize(), 0u);
    double now = 0;
    // Less than one span of reads, however fast, says nothing yet.
    AskedReads(pace, now, 8192, 1e9, kPaceSpanSeconds / 2);
    EXPECT_EQ(pace.BlindSize(), 0u);
}

TEST(ReadPace, AFastLinkGetsTheLargestReadsWithoutAsking) {
    ReadPace pace;
    double now = 0;
    AskedReads(pace, now, 8192, 200e6, 2 * kPaceSpanSeconds);
    EXPECT_EQ(pace.BlindSize(), kLargestBlindRead);
}

// A read without asking waits for its bytes: at the link's pace it must come within kBlindReadSeconds.
TEST(ReadPace, AMiddlingLinkGetsReadsItFillsInTime) {
    for (const double rate : {1.4e6, 4e6, 10e6}) {
        ReadPace pace;
        double now = 0;
        AskedReads(pace, now, 8192, rate, 2 * kPaceSpanSeconds);
        const std::size_t size = pace.BlindSize();
        ASSERT_GE(size, kSmallestBlindRead) << rate;
        EXPECT_LE(static_cast<double>(size) / rate, kBlindReadSeconds) << rate;
        EXPECT_GT(static_cast<double>(2 * size) / rate, kBlindReadSeconds) << "not needlessly small at " << rate;
    }
}

TEST(ReadPace, ATrickleKeepsAskingWhatHasArrived) {
    for (const double rate : {64.0, 200.0, 20000.0, 1e6}) {
        ReadPace pace;
        double now = 0;
        AskedReads(pace, now, 64, rate, 1.0);
        EXPECT_EQ(pace.BlindSize(), 0u) << rate;
    }
}

TEST(ReadPace, AReadWithoutAskingThatWaitedLongGoesBackToAskingAtOnce) {
    ReadPace pace;
    double now = 0;
    AskedReads(pace, now, 8192, 200e6, 2 * kPaceSpanSeconds);
    ASSERT_EQ(pace.BlindSize(), kLargestBlindRead);
    // The link stalls: the read got its bytes only after a second.
    pace.Read(kLargestBlindRead, now, now + 1.0, true);
    EXPECT_EQ(pace.BlindSize(), 0u);
}

TEST(ReadPace, ALinkThatSlowsIsFollowedSpanBySpan) {
    ReadPace pace;
    double now = 0;
    AskedReads(pace, now, 8192, 200e6, 2 * kPaceSpanSeconds);
    ASSERT_EQ(pace.BlindSize(), kLargestBlindRead);
    // Reads that each take a little under the long-wait mark lower the size step by step, down to asking.
    std::size_t last = pace.BlindSize();
    for (int i = 0; i < 10 && pace.BlindSize() > 0; ++i) {
        const double start = now;
        now += 0.09;
        pace.Read(pace.BlindSize(), start, now, true);
        EXPECT_LE(pace.BlindSize(), last);
        last = pace.BlindSize();
    }
    EXPECT_EQ(pace.BlindSize(), 0u);
}

}  // namespace
}  // namespace qm
