#include "ui/progress_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

namespace qm {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

ProgressNumbers Numbers(double bytesDone, double bytesTotal, double seconds, std::wstring name = L"report.doc") {
    return ProgressNumbers{std::move(name), bytesDone, bytesDone, bytesTotal, bytesTotal, seconds * kSecond};
}

TEST(ComputeProgressTexts, RateAndTimeLeftOfASlowTransfer) {
    const ProgressTexts texts = ComputeProgressTexts(Numbers(2048, 10240, 2));
    EXPECT_EQ(texts.caption, L"20% of report.doc completed");
    EXPECT_EQ(texts.rate, L"1.0 KB/sec");
    EXPECT_EQ(texts.timeLeft, L"8 sec (2.00 KB of 10.00 KB)");
}

TEST(ComputeProgressTexts, RateBelowOneIsRaisedToOne) {
    const ProgressTexts texts = ComputeProgressTexts(Numbers(512, 10240, 1));
    EXPECT_EQ(texts.rate, L"1.0 KB/sec");
    EXPECT_EQ(texts.timeLeft, L"9 sec (512 Bytes of 10.00 KB)");
    EXPECT_EQ(ComputeProgressTexts(Numbers(0, 10240, 5)).rate, L"1.0 KB/sec");
}

TEST(ComputeProgressTexts, KilobytesUpTo999ThenMegabytes) {
    EXPECT_EQ(ComputeProgressTexts(Numbers(999.0 * 1024, 1e9, 1)).rate, L"999.0 KB/sec");
    EXPECT_EQ(ComputeProgressTexts(Numbers(999.5 * 1024, 1e9, 1)).rate, L"1.0 MB/sec");
    EXPECT_EQ(ComputeProgressTexts(Numbers(20.0 * 1048576, 1e9, 2)).rate, L"10.0 MB/sec");
}

TEST(ComputeProgressTexts, CaptionPercentComesFromThePartPair) {
    ProgressNumbers n{L"b.txt", 45, 10, 100, 100, 3 * kSecond};
    EXPECT_EQ(ComputeProgressTexts(n).caption, L"45% of b.txt completed");
    n.partDone = 99.99;
    EXPECT_EQ(ComputeProgressTexts(n).caption, L"99% of b.txt completed");
}

TEST(ComputeProgressTexts, ElapsedAHairBelowAWholeSecondCountsAsThatSecond) {
    // 2 s expressed in days is not exact; without the addend this would be 1 s and a rate of 2.0.
    ProgressNumbers n = Numbers(2048, 10240, 0);
    n.elapsedDays = 2.0 / 86400.0 - 1e-12;
    EXPECT_EQ(ComputeProgressTexts(n).rate, L"1.0 KB/sec");
}

TEST(ComputeProgressTexts, TimeLeftEdges) {
    // Done: 0 seconds left shows as 1.
    EXPECT_EQ(ComputeProgressTexts(Numbers(10240, 10240, 2)).timeLeft, L"1 sec (10.00 KB of 10.00 KB)");
    // More done than expected: the negative time shows as Unknown.
    const std::wstring over = ComputeProgressTexts(Numbers(20480, 10240, 2)).timeLeft;
    EXPECT_EQ(over.rfind(L"Unknown", 0), 0u) << std::string(over.begin(), over.end());
    EXPECT_EQ(over, L"Unknown (20.00 KB of 10.00 KB)");
    // Far too long to tell, and beyond 32 bits.
    EXPECT_EQ(ComputeProgressTexts(Numbers(0, 1e18, 1)).timeLeft.rfind(L"Unknown", 0), 0u);
}

TEST(ComputeProgressTexts, EmptyPartAndZeroElapsed) {
    ProgressNumbers empty{L"empty.txt", 0, 0, 0, 0, 0};
    const ProgressTexts texts = ComputeProgressTexts(empty);
    EXPECT_EQ(texts.caption, L"100% of empty.txt completed");
    EXPECT_EQ(texts.rate, L"1.0 KB/sec");
    EXPECT_EQ(texts.timeLeft, L"1 sec (0 Bytes of 0 Bytes)");
    // Within the first second the rate is taken over one second.
    EXPECT_EQ(ComputeProgressTexts(Numbers(5000.0 * 1024, 1e9, 0.5)).rate, L"4.9 MB/sec");
}

TEST(TruncateToInt32, TowardZeroAndOutOfRange) {
    EXPECT_EQ(TruncateToInt32(2.9), 2);
    EXPECT_EQ(TruncateToInt32(-2.9), -2);
    EXPECT_EQ(TruncateToInt32(2147483647.5), 2147483647);
    EXPECT_EQ(TruncateToInt32(2147483648.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(TruncateToInt32(-1e20), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::quiet_NaN()), std::numeric_limits<std::int32_t>::min());
}

TEST(ProgressTextBoard, HandsOverOnlyTheLatestReportAndOnlyChangedTexts) {
    ProgressTextBoard board;
    EXPECT_FALSE(board.Pending());
    EXPECT_FALSE(board.Take().Any());

    board.Post(L"a.doc", 10, 1024, 10240, 100, 2 * kSecond);
    board.Post(L"a.doc", 45, 2048, 10240, 100, 2 * kSecond);
    ASSERT_TRUE(board.Pending());
    auto first = board.Take();
    ASSERT_TRUE(first.caption && first.rate && first.timeLeft);
    EXPECT_EQ(*first.caption, L"45% of a.doc completed");
    EXPECT_EQ(*first.timeLeft, L"8 sec (2.00 KB of 10.00 KB)");
    EXPECT_FALSE(board.Pending());
    EXPECT_FALSE(board.Take().Any());

    // Same percentage and rate, different sizes: only the time-left text changes.
    board.Post(L"a.doc", 45, 2100, 10240, 100, 2 * kSecond);
    auto second = board.Take();
    EXPECT_FALSE(second.caption);
    EXPECT_FALSE(second.rate);
    ASSERT_TRUE(second.timeLeft);
    EXPECT_EQ(*second.timeLeft, L"7 sec (2.05 KB of 10.00 KB)");

    // Identical report: nothing to write.
    board.Post(L"a.doc", 45, 2100, 10240, 100, 2 * kSecond);
    EXPECT_FALSE(board.Take().Any());
}

TEST(ProgressTextBoard, TextsWrittenByOtherMeansCountAsShown) {
    ProgressTextBoard board;
    board.Shown(ProgressField::Rate, L"1.0 KB/sec");
    board.Shown(ProgressField::Caption, L"Save to Server");
    board.Post(L"a.doc", 50, 2048, 10240, 100, 2 * kSecond);
    auto changes = board.Take();
    EXPECT_FALSE(changes.rate);
    ASSERT_TRUE(changes.caption);
    EXPECT_EQ(board.ShownText(ProgressField::Caption), L"50% of a.doc completed");
    // A message overwrote the caption: the same report must write it again.
    board.Shown(ProgressField::Caption, L"a.doc to host");
    board.Post(L"a.doc", 50, 2048, 10240, 100, 2 * kSecond);
    EXPECT_TRUE(board.Take().caption);
}

TEST(ProgressTextBoard, ConcurrentPostsAndTakesEndWithTheLastReport) {
    ProgressTextBoard board;
    std::thread worker([&] {
        for (int i = 1; i <= 20000; ++i) board.Post(L"big.bin", i, i * 1024.0, 20000 * 1024.0, 20000, 10 * kSecond);
    });
    std::wstring lastCaption;
    for (int i = 0; i < 2000; ++i)
        if (auto c = board.Take(); c.caption) lastCaption = *c.caption;
    worker.join();
    if (auto c = board.Take(); c.caption) lastCaption = *c.caption;
    EXPECT_EQ(lastCaption, L"100% of big.bin completed");
    EXPECT_EQ(board.ShownText(ProgressField::TimeLeft), L"1 sec (19.53 MB of 19.53 MB)");
}

}  // namespace
}  // namespace qm
