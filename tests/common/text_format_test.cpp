#include "common/text_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace qm {
namespace {

TEST(FormatByteSize, ThresholdsBelongToTheHigherRow) {
    EXPECT_EQ(FormatByteSize(0), L"0 Bytes");
    EXPECT_EQ(FormatByteSize(1023), L"1023 Bytes");
    EXPECT_EQ(FormatByteSize(1024), L"1.00 KB");
    EXPECT_EQ(FormatByteSize(1048575), L"1024.00 KB");
    EXPECT_EQ(FormatByteSize(1048576), L"1.00 MB");
    EXPECT_EQ(FormatByteSize(1073741823), L"1024.00 MB");
    EXPECT_EQ(FormatByteSize(1073741824), L"1.00 GB");
    EXPECT_EQ(FormatByteSize(1536), L"1.50 KB");
    EXPECT_EQ(FormatByteSize(10.0 * 1073741824), L"10.00 GB");
}

TEST(FormatByteSize, NotANumberTakesTheBytesRow) {
    const std::wstring text = FormatByteSize(std::numeric_limits<double>::quiet_NaN());
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(text.substr(text.size() - 6), L" Bytes");
}

TEST(FormatDuration, RowsAndTheirEdges) {
    EXPECT_EQ(FormatDuration(0), L"0 sec");
    EXPECT_EQ(FormatDuration(59), L"59 sec");
    EXPECT_EQ(FormatDuration(60), L"1 min 0 sec");
    EXPECT_EQ(FormatDuration(3599), L"59 min 59 sec");
    EXPECT_EQ(FormatDuration(3600), L"1 hrs 0 min 0 sec");
    EXPECT_EQ(FormatDuration(86400), L"24 hrs 0 min 0 sec");
    EXPECT_EQ(FormatDuration(215999), L"59 hrs 59 min 59 sec");
    EXPECT_EQ(FormatDuration(216000), L"2 day(s) 12 hrs 0 min 0 sec");
    EXPECT_EQ(FormatDuration(5183999), L"59 day(s) 23 hrs 59 min 59 sec");
    EXPECT_EQ(FormatDuration(5184000), L"Unknown");
    EXPECT_EQ(FormatDuration(0xFFFFFFFFu), L"Unknown");
}

TEST(FormatFileTimeUtc, CalendarFieldsWithoutPadding) {
    EXPECT_EQ(FormatFileTimeUtc(128175590400000000ull), L"2007-3-5 9:4:0");
    EXPECT_EQ(FormatFileTimeUtc(125963423990000000ull), L"2000-2-29 23:59:59");
    EXPECT_EQ(FormatFileTimeUtc(133800768070000000ull), L"2024-12-31 0:0:7");
    // Parts of a second are dropped.
    EXPECT_EQ(FormatFileTimeUtc(128175590400000000ull + 9999999), L"2007-3-5 9:4:0");
}

TEST(FormatFileTimeUtc, TimesOutsideTheCalendarGiveItsStart) {
    EXPECT_EQ(FormatFileTimeUtc(116444736000000000ull), L"1970-1-1 0:0:0");
    EXPECT_EQ(FormatFileTimeUtc(0), L"1970-1-1 0:0:0");
    EXPECT_EQ(FormatFileTimeUtc(116444735990000000ull), L"1970-1-1 0:0:0");
    EXPECT_EQ(FormatFileTimeUtc(441796895990000000ull), L"3000-12-31 23:59:59");
    EXPECT_EQ(FormatFileTimeUtc(441796895990000000ull + 10000000), L"1970-1-1 0:0:0");
    EXPECT_EQ(FormatFileTimeUtc(0xFFFFFFFFFFFFFFFFull), L"1970-1-1 0:0:0");
}

}  // namespace
}  // namespace qm
