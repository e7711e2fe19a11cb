#include "localfiles/file_helpers.h"

#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "support/fake_system_text.h"

namespace qm {
namespace {

using testing::FakeFile;
using testing::FakeFileSystem;
using testing::FakeSystemText;
using Pieces = std::vector<std::wstring>;

TEST(SplitText, KeepsEveryPieceIncludingEmptyOnes) {
    EXPECT_EQ(SplitText(L"a|b|c", L'|'), (Pieces{L"a", L"b", L"c"}));
    EXPECT_EQ(SplitText(L"abc", L'|'), (Pieces{L"abc"}));
    EXPECT_EQ(SplitText(L"", L'|'), (Pieces{L""}));
    EXPECT_EQ(SplitText(L"|a||b|", L'|'), (Pieces{L"", L"a", L"", L"b", L""}));
    EXPECT_EQ(SplitText(L"|", L'|'), (Pieces{L"", L""}));
    EXPECT_EQ(JoinText(SplitText(L"|a||b|", L'|'), L'|'), L"|a||b|");
}

TEST(ParseDecimal, ReadsALeadingSignedNumber) {
    EXPECT_EQ(ParseDecimal(L"12ab"), 12);
    EXPECT_EQ(ParseDecimal(L"  -42"), -42);
    EXPECT_EQ(ParseDecimal(L"+7 8"), 7);
    EXPECT_EQ(ParseDecimal(L"ab12"), 0);
    EXPECT_EQ(ParseDecimal(L""), 0);
    EXPECT_EQ(ParseDecimal(L"-"), 0);
    EXPECT_EQ(ParseDecimal(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseDecimal(L"-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseDecimal(L"99999999999999999999"), INT32_MAX);
    EXPECT_EQ(ParseDecimal(L"-99999999999999999999"), INT32_MIN);
}

TEST(IsGuidText, LooksOnlyAtThePieceLengths) {
    EXPECT_TRUE(IsGuidText(L"01234567-89ab-cdef-0123-456789abcdef"));
    EXPECT_FALSE(IsGuidText(L"01234567-89ab-cdef-0123-456789abcde"));
    EXPECT_TRUE(IsGuidText(L"zzzzzzzz-?!?!-    -....-!!!!!!!!!!!!"));
    EXPECT_FALSE(IsGuidText(L"0123456789ab-cdef-0123-456789abcdef-"));  // 36 characters, hyphens misplaced
    EXPECT_FALSE(IsGuidText(L"01234567-89ab-cdef-0123-456789abcdef-"));
    EXPECT_FALSE(IsGuidText(L""));
    EXPECT_FALSE(IsGuidText(L"-1"));
}

TEST(CanonicalPathText, WritesEveryPathOneWay) {
    const std::vector<std::pair<std::wstring, std::wstring>> rows = {
        {L"C:\\Temp\\4711\\Plan.doc", L"C:\\Temp\\4711\\Plan.doc"},
        {L"C:/Temp/4711/../../Users/ann/secret.txt", L"C:\\Users\\ann\\secret.txt"},
        {L"C:\\Temp\\.\\4711\\\\Plan.doc\\", L"C:\\Temp\\4711\\Plan.doc"},
        {L"C:\\..\\..\\Windows", L"C:\\Windows"},                      // never above the drive
        {L"\\\\srv\\share\\..\\..\\x", L"\\\\srv\\share\\x"},       // nor above the share
        {L"\\Temp\\a\\..\\b", L"\\Temp\\b"},
        {L"a\\..\\..\\b", L"..\\b"},                                    // a relative path keeps what it climbs
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(CanonicalPathText(in), out) << in;
    EXPECT_TRUE(SamePath(L"c:/temp/4711/x/../PLAN.doc", L"C:\\Temp\\4711\\Plan.doc"));
    EXPECT_FALSE(SamePath(L"C:\\Temp\\4711\\Plan.doc", L"C:\\Temp\\4712\\Plan.doc"));
}

TEST(BlockCount, RoundsUpToWholeBlocks) {
    EXPECT_EQ(BlockCount(0), 0u);
    EXPECT_EQ(BlockCount(1), 1u);
    EXPECT_EQ(BlockCount(4096), 1u);
    EXPECT_EQ(BlockCount(4097), 2u);
    EXPECT_EQ(BlockCount(0xFFFFFFFFu), 0x100000u);  // no wrap near the 32-bit limit
}

TEST(FileTimeConversion, CalendarFieldsAreTakenAsUtc) {
    EXPECT_EQ(CalendarToFileTime({1601, 1, 1, 0, 0, 0, 0}), FileTime{0});
    // 1970-01-01 is 11644473600 seconds after 1601-01-01.
    EXPECT_EQ(CalendarToFileTime({1970, 1, 1, 0, 0, 0, 0}), FileTime{116444736000000000});
    EXPECT_EQ(CalendarToFileTime({2024, 2, 29, 13, 5, 9, 250}),
              FileTime{116444736000000000} + FileTime{1709211909} * 10'000'000 + 2'500'000);
    EXPECT_FALSE(CalendarToFileTime({2023, 2, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(CalendarToFileTime({1600, 12, 31, 0, 0, 0, 0}));
    EXPECT_FALSE(CalendarToFileTime({2024, 13, 1, 0, 0, 0, 0}));

    const CalendarTime back = FileTimeToCalendar(*CalendarToFileTime({2024, 2, 29, 13, 5, 9, 250}));
    EXPECT_EQ(back.year, 2024);
    EXPECT_EQ(back.month, 2);
    EXPECT_EQ(back.day, 29);
    EXPECT_EQ(back.hour, 13);
    EXPECT_EQ(back.minute, 5);
    EXPECT_EQ(back.second, 9);
    EXPECT_EQ(back.milliseconds, 250);
}

// A server date on 29 February of a century year: 2000 and 2400 have it, 1900 and 2100 do not.
TEST(FileTimeConversion, CenturyLeapDays) {
    for (int year : {1600 + 400, 2400}) {
        const auto leapDay = CalendarToFileTime({year, 2, 29, 12, 0, 0, 0});
        ASSERT_TRUE(leapDay) << year;
        EXPECT_EQ(*CalendarToFileTime({year, 3, 1, 12, 0, 0, 0}) - *leapDay, FileTime{86400} * 10'000'000) << year;
        const CalendarTime back = FileTimeToCalendar(*leapDay);
        EXPECT_EQ(back.year, year);
        EXPECT_EQ(back.month, 2);
        EXPECT_EQ(back.day, 29);
        const CalendarTime yearEnd = FileTimeToCalendar(*CalendarToFileTime({year, 12, 31, 23, 59, 59, 0}));
        EXPECT_EQ(yearEnd.month, 12) << year;
        EXPECT_EQ(yearEnd.day, 31) << year;
    }
    for (int year : {1700, 1900, 2100})
        EXPECT_FALSE(CalendarToFileTime({year, 2, 29, 0, 0, 0, 0})) << year;
    EXPECT_EQ(*CalendarToFileTime({2100, 3, 1, 0, 0, 0, 0}) - *CalendarToFileTime({2100, 2, 28, 0, 0, 0, 0}),
              FileTime{86400} * 10'000'000);
}

TEST(ParseServerDate, UsesTheParsersFieldsAsUtcAndNothingOnFailure) {
    FakeSystemText text;
    text.dates[L"3/7/2009 4:05:06 PM"] = {2009, 3, 7, 16, 5, 6, 0};
    EXPECT_EQ(ParseServerDate(text, L"3/7/2009 4:05:06 PM"), CalendarToFileTime({2009, 3, 7, 16, 5, 6, 0}));
    EXPECT_FALSE(ParseServerDate(text, L"not a date"));
}

TEST(SystemErrorText, FallsBackWhenTheSystemHasNoText) {
    FakeSystemText text;
    text.messages[5] = L"Access is denied.\r\n";
    EXPECT_EQ(SystemErrorText(text, 5), L"Access is denied.\r\n");
    EXPECT_EQ(SystemErrorText(text, 123456), L"Unknown error.");
}

class FileHelpersTest : public ::testing::Test {
protected:
    FakeFileSystem fs;
    const FileTimes times{*CalendarToFileTime({2020, 1, 2, 3, 4, 5, 0}), *CalendarToFileTime({2021, 6, 7, 8, 9, 10, 0})};
};

TEST_F(FileHelpersTest, DescribeFileFillsNameSizeBlocksAndCrc) {
    fs.AddFolder(L"C:\\data");
    fs.AddFile(L"C:\\data\\Report.docx", 4097).crc = 0xCAFEBABE;
    auto facts = DescribeFile(fs, L"C:\\data\\Report.docx");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileName, L"Report.docx");
    EXPECT_EQ(facts->localPath, L"C:\\data\\Report.docx");
    EXPECT_EQ(facts->fileSize, 4097u);
    EXPECT_EQ(facts->blockCount, 2u);
    EXPECT_EQ(facts->fileCrc, 0xCAFEBABEu);

    FileDescriptor descriptor;
    descriptor.PrimKey = L"kept";
    ASSERT_TRUE(DescribeFile(fs, L"C:\\data\\Report.docx", descriptor));
    EXPECT_EQ(descriptor.FileName, L"Report.docx");
    EXPECT_EQ(descriptor.LocalPath, L"C:\\data\\Report.docx");
    EXPECT_EQ(descriptor.FileCrc, 0xCAFEBABEu);
    EXPECT_EQ(descriptor.FileSize, 4097u);
    EXPECT_EQ(descriptor.BlockCount, 2u);
    EXPECT_EQ(descriptor.PrimKey, L"kept");
    EXPECT_FALSE(DescribeFile(fs, L"C:\\data\\none", descriptor));
    EXPECT_EQ(descriptor.FileName, L"Report.docx");
}

TEST_F(FileHelpersTest, AFileInUseIsDescribedWithoutReadingItsContents) {
    FakeFile& f = fs.AddFile(L"C:\\busy.txt", 10);
    f.crc = 0x1234;
    f.open = ExclusiveOpenResult::SharingViolation;
    EXPECT_TRUE(IsFileInUse(fs, L"C:\\busy.txt"));
    auto facts = DescribeFile(fs, L"C:\\busy.txt");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileCrc, 0u);
    EXPECT_TRUE(fs.crcReads.empty());
    EXPECT_FALSE(FileDatesText(fs, L"C:\\busy.txt"));
}

TEST_F(FileHelpersTest, OnlyASharingViolationCountsAsInUse) {
    fs.AddFile(L"C:\\denied.txt", 1).open = ExclusiveOpenResult::Failed;
    EXPECT_FALSE(IsFileInUse(fs, L"C:\\denied.txt"));
    EXPECT_FALSE(IsFileInUse(fs, L"C:\\missing.txt"));
    EXPECT_FALSE(FileExists(fs, L"C:\\missing.txt"));
    EXPECT_FALSE(DescribeFile(fs, L"C:\\missing.txt"));
}

// The descriptor's slot holds 32 bits; a sum must not, or a 4 GiB file adds nothing.
TEST_F(FileHelpersTest, DescriptorsKeepTheLow32BitsAndSumsKeepThemAll) {
    fs.AddFile(L"C:\\big.iso", 0x1'0000'0005ull);
    fs.AddFile(L"C:\\small.txt", 7);
    EXPECT_EQ(DescribeFile(fs, L"C:\\big.iso")->fileSize, 5u);
    EXPECT_EQ(TotalSize(fs, {L"C:\\big.iso", L"C:\\missing", L"C:\\small.txt"}), 0x1'0000'000Cull);
    EXPECT_EQ(SumListedSizes(fs, L"C:\\big.iso?k|C:\\small.txt?-1"), 0x1'0000'0005ull);
}

TEST_F(FileHelpersTest, FilesBeyondTheHeadersSizeFieldAreFound) {
    fs.AddFile(L"C:\\edge.bin", 0xFFFF'FFFFull);
    fs.AddFile(L"C:\\four.bin", 0x1'0000'0000ull);
    fs.AddFile(L"C:\\five.bin", 0x1'4000'0000ull);
    EXPECT_FALSE(FirstTooLarge(fs, {L"C:\\edge.bin", L"C:\\missing"}));
    EXPECT_EQ(FirstTooLarge(fs, {L"C:\\edge.bin", L"C:\\four.bin", L"C:\\five.bin"}), L"C:\\four.bin");
    EXPECT_NE(TooLargeText(L"C:\\four.bin").find(L"\"C:\\four.bin\""), std::wstring::npos);
}

TEST_F(FileHelpersTest, FileDatesTextFormatsBothTimesInUtc) {
    fs.AddFile(L"C:\\a.txt", 1).times = times;
    auto dates = FileDatesText(fs, L"C:\\a.txt");
    ASSERT_TRUE(dates);
    EXPECT_EQ(dates->created, L"2020-1-2 3:4:5");
    EXPECT_EQ(dates->modified, L"2021-6-7 8:9:10");

    // Not in use but times unreadable (the file vanished): success with empty texts.
    auto missing = FileDatesText(fs, L"C:\\gone.txt");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->created, L"");
    EXPECT_EQ(missing->modified, L"");
}

TEST_F(FileHelpersTest, BuildFileListTextJoinsRecordsAndSkipsMissingFiles) {
    fs.AddFile(L"C:\\in\\one.txt", 3).times = times;
    FakeFile& busy = fs.AddFile(L"C:\\in\\two.bin", 4096);
    busy.times = times;
    busy.open = ExclusiveOpenResult::SharingViolation;
    EXPECT_EQ(BuildFileListText(fs, {L"C:\\in\\one.txt", L"C:\\in\\nothing", L"C:\\in\\two.bin"}),
              L"one.txt?C:\\in\\one.txt?3?2020-1-2 3:4:5?2021-6-7 8:9:10|two.bin?C:\\in\\two.bin?4096??");
    EXPECT_EQ(BuildFileListText(fs, {L"C:\\in\\nothing"}), L"");
    EXPECT_TRUE(fs.crcReads.empty());  // the list needs no CRC
}

TEST_F(FileHelpersTest, SumListedSizesLeavesOutSkippedAndMissingFiles) {
    fs.AddFile(L"C:\\in\\one.txt", 300);
    fs.AddFile(L"C:\\in\\two.txt", 5000);
    EXPECT_EQ(SumListedSizes(fs, L"C:\\in\\one.txt?01234567-89ab-cdef-0123-456789abcdef|C:\\in\\two.txt?-1"), 300u);
    EXPECT_EQ(SumListedSizes(fs, L"C:\\in\\one.txt?-1|C:\\in\\two.txt?k"), 5000u);
    EXPECT_EQ(SumListedSizes(fs, L"||C:\\in\\two.txt?k||C:\\in\\missing?k|"), 5000u);
    EXPECT_EQ(SumListedSizes(fs, L"C:\\in\\one.txt"), 300u);  // no key field: not a skip
    EXPECT_EQ(SumListedSizes(fs, L""), 0u);
}

TEST_F(FileHelpersTest, WildcardsDescribeTheFirstMatch) {
    fs.AddFile(L"C:\\w\\b.log", 2);
    fs.AddFile(L"C:\\w\\a.log", 1);
    fs.AddFile(L"C:\\w\\c.txt", 3);
    EXPECT_TRUE(FileExists(fs, L"C:\\w\\*.log"));
    auto facts = DescribeFile(fs, L"C:\\w\\*.log");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->fileName, L"a.log");
    EXPECT_EQ(facts->localPath, L"C:\\w\\*.log");
    EXPECT_FALSE(FileExists(fs, L"C:\\w\\*.doc"));
}

TEST_F(FileHelpersTest, TimesCanBeSetAndReadBackAndFailuresAreSilent) {
    fs.AddFile(L"C:\\t.txt", 1);
    SetFileTimes(fs, L"C:\\t.txt", times.created, times.lastWritten);
    EXPECT_EQ(GetCreationTime(fs, L"C:\\t.txt"), times.created);
    EXPECT_EQ(GetLastWriteTime(fs, L"C:\\t.txt"), times.lastWritten);
    SetFileTimes(fs, L"C:\\none.txt", 1, 2);
    EXPECT_FALSE(GetLastWriteTime(fs, L"C:\\none.txt"));
}

TEST(LongPathForm, OnlyFullPathsOfTwoHundredSixtyCharactersOrMoreGetThePrefixResolvedFirst) {
    const std::wstring deep = L"C:\\" + std::wstring(250, L'd') + L"\\file.txt";
    EXPECT_EQ(LongPathForm(deep), L"\\\\?\\" + deep);
    EXPECT_EQ(LongPathForm(L"C:/" + std::wstring(250, L'd') + L"/./x/../file.txt"), L"\\\\?\\" + deep);
    EXPECT_EQ(LongPathForm(L"\\\\server\\share\\" + std::wstring(250, L's')),
              L"\\\\?\\UNC\\server\\share\\" + std::wstring(250, L's'));
    const std::wstring shorter = L"C:\\" + std::wstring(255, L'd');
    ASSERT_EQ(shorter.size(), 258u);
    EXPECT_EQ(LongPathForm(shorter), shorter);
    EXPECT_EQ(LongPathForm(L"\\\\?\\" + deep), L"\\\\?\\" + deep);
    const std::wstring relative = std::wstring(300, L'r');
    EXPECT_EQ(LongPathForm(relative), relative);
    const std::wstring huge = L"C:\\" + std::wstring(40000, L'h');
    EXPECT_EQ(LongPathForm(huge), huge) << "past the long form's limit the platform refuses it as before";
}

}  // namespace
}  // namespace qm
