#include "localfiles/file_helpers.h"

#include <climits>

#include "common/text_format.h"

namespace qm {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kSecondsPerDay = 86'400;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

const std::int64_t kDaysTo1601 = DaysFromCivil(1601, 1, 1);

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

std::vector<std::wstring> SplitText(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::wstring::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::wstring JoinText(const std::vector<std::wstring>& pieces, wchar_t separator) {
    std::wstring text;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) text.push_back(separator);
        text += pieces[i];
    }
    return text;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::wstring CanonicalPathText(const std::wstring& path) {
    std::wstring text = path;
    for (wchar_t& ch : text)
        if (ch == L'/') ch = L'\\';
    // The root that ".." cannot climb above: "C:\", "\\server\share\" or "\".
    std::wstring root;
    std::size_t rest = 0;
    if (text.size() >= 2 && text[0] == L'\\' && text[1] == L'\\') {
        std::size_t server = text.find(L'\\', 2);
        std::size_t share = server == std::wstring::npos ? std::wstring::npos : text.find(L'\\', server + 1);
        root = text.substr(0, share == std::wstring::npos ? text.size() : share) + L"\\";
        rest = share == std::wstring::npos ? text.size() : share + 1;
    } else if (text.size() >= 2 && text[1] == L':') {
        root = text.substr(0, 2);
        rest = 2;
        if (rest < text.size() && text[rest] == L'\\') {
            root += L"\\";
            ++rest;
        }
    } else if (!text.empty() && text[0] == L'\\') {
        root = L"\\";
        rest = 1;
    }
    std::vector<std::wstring> kept;
    for (const std::wstring& piece : SplitText(text.substr(rest), L'\\')) {
        if (piece.empty() || piece == L".") continue;
        if (piece == L"..") {
            if (!kept.empty() && kept.back() != L"..") kept.pop_back();
            else if (root.empty()) kept.push_back(piece);
            continue;
        }
        kept.push_back(piece);
    }
    return root + JoinText(kept, L'\\');
}

std::wstring LongPathForm(const std::wstring& path) {
    constexpr std::size_t kShortPathLimit = 260;
    constexpr std::size_t kLongPathLimit = 32767;  // beyond it no form opens, and the plain one fails as it always did
    if (path.size() < kShortPathLimit || path.size() >= kLongPathLimit || path.rfind(L"\\\\?\\", 0) == 0 ||
        path.rfind(L"\\\\.\\", 0) == 0)
        return path;
    const std::wstring full = CanonicalPathText(path);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\') return L"\\\\?\\UNC\\" + full.substr(2);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return EqualsNoCase(CanonicalPathText(a), CanonicalPathText(b));
}

std::uint32_t BlockCount(std::uint32_t size) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(size) + kBlockSize - 1) / kBlockSize);
}

bool FileExists(FileSystem& fs, const std::wstring& path) { return fs.FindFirst(path).has_value(); }

bool IsFileInUse(FileSystem& fs, const std::wstring& path) {
    return fs.OpenExclusive(path) == ExclusiveOpenResult::SharingViolation;
}

std::optional<FileTime> GetCreationTime(FileSystem& fs, const std::wstring& path) {
    if (auto times = fs.ReadTimes(path)) return times->created;
    return std::nullopt;
}

std::optional<FileTime> GetLastWriteTime(FileSystem& fs, const std::wstring& path) {
    if (auto times = fs.ReadTimes(path)) return times->lastWritten;
    return std::nullopt;
}

void SetFileTimes(FileSystem& fs, const std::wstring& path, FileTime created, FileTime written) {
    fs.WriteTimes(path, created, written);
}

namespace {

// Everything but the CRC: list texts and size sums need no pass over the contents.
std::optional<FileFacts> DescribeWithoutCrc(FileSystem& fs, const std::wstring& path) {
    auto entry = fs.FindFirst(path);
    if (!entry) return std::nullopt;
    FileFacts facts;
    facts.fileName = entry->name;
    facts.localPath = path;
    facts.fileSize = static_cast<std::uint32_t>(entry->size);
    facts.blockCount = BlockCount(facts.fileSize);
    return facts;
}

}  // namespace

std::optional<FileFacts> DescribeFile(FileSystem& fs, const std::wstring& path) {
    auto facts = DescribeWithoutCrc(fs, path);
    if (facts && !IsFileInUse(fs, path)) facts->fileCrc = fs.ContentCrc(path);
    return facts;
}

bool DescribeFile(FileSystem& fs, const std::wstring& path, FileDescriptor& descriptor) {
    auto facts = DescribeFile(fs, path);
    if (!facts) return false;
    descriptor.FileName = facts->fileName;
    descriptor.LocalPath = facts->localPath;
    descriptor.FileCrc = facts->fileCrc;
    descriptor.FileSize = facts->fileSize;
    descriptor.BlockCount = facts->blockCount;
    return true;
}

std::uint64_t TotalSize(FileSystem& fs, const std::vector<std::wstring>& paths) {
    std::uint64_t sum = 0;
    for (const auto& path : paths)
        if (auto entry = fs.FindFirst(path)) sum += entry->size;
    return sum;
}

std::optional<std::wstring> FirstTooLarge(FileSystem& fs, const std::vector<std::wstring>& paths) {
    for (const auto& path : paths)
        if (auto entry = fs.FindFirst(path); entry && entry->size > kLargestSendableSize) return path;
    return std::nullopt;
}

std::wstring TooLargeText(const std::wstring& path) {
    return L"\"" + path + L"\" is larger than 4 GB (4,294,967,295 bytes), the largest file the file store can "
           L"take.\r\n\r\nNothing was sent.";
}

std::optional<FileDates> FileDatesText(FileSystem& fs, const std::wstring& path) {
    if (IsFileInUse(fs, path)) return std::nullopt;
    FileDates dates;
    if (auto times = fs.ReadTimes(path)) {
        dates.created = FormatFileTimeUtc(times->created);
        dates.modified = FormatFileTimeUtc(times->lastWritten);
    }
    return dates;
}

std::optional<FileTime> CalendarToFileTime(const CalendarTime& t) {
    // The range of SYSTEMTIME that a FILETIME can hold.
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 ||
        t.second < 0 || t.second > 59 || t.milliseconds < 0 || t.milliseconds > 999)
        return std::nullopt;
    const std::int64_t days =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) - kDaysTo1601;
    const std::uint64_t seconds = static_cast<std::uint64_t>(days) * kSecondsPerDay +
                                  static_cast<std::uint64_t>(t.hour * 3600 + t.minute * 60 + t.second);
    return seconds * kTicksPerSecond + static_cast<std::uint64_t>(t.milliseconds) * 10'000;
}

CalendarTime FileTimeToCalendar(FileTime time) {
    CalendarTime c;
    const std::uint64_t totalSeconds = time / kTicksPerSecond;
    c.milliseconds = static_cast<int>((time % kTicksPerSecond) / 10'000);
    std::int64_t days = static_cast<std::int64_t>(totalSeconds / kSecondsPerDay) + kDaysTo1601;
    const std::uint64_t secondOfDay = totalSeconds % kSecondsPerDay;
    c.hour = static_cast<int>(secondOfDay / 3600);
    c.minute = static_cast<int>(secondOfDay / 60 % 60);
    c.second = static_cast<int>(secondOfDay % 60);
    // Inverse of DaysFromCivil.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (c.month <= 2));
    return c;
}

std::optional<FileTime> ParseServerDate(SystemText& system, const std::wstring& text) {
    auto fields = system.ParseUserDate(text);
    if (!fields) return std::nullopt;
    return CalendarToFileTime(*fields);
}

std::int32_t ParseDecimal(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<std::int64_t>(INT32_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

bool IsGuidText(const std::wstring& text) {
    static const std::size_t lengths[] = {8, 4, 4, 4, 12};
    const auto pieces = SplitText(text, L'-');
    if (pieces.size() != 5) return false;
    for (std::size_t i = 0; i < 5; ++i)
        if (pieces[i].size() != lengths[i]) return false;
    return true;
}

std::wstring SystemErrorText(SystemText& system, std::uint32_t code) {
    std::wstring text = system.ErrorMessage(code);
    return text.empty() ? L"Unknown error." : text;
}

std::wstring BuildFileListText(FileSystem& fs, const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const auto& path : paths) {
        auto facts = DescribeWithoutCrc(fs, path);
        if (!facts) continue;
        const FileDates dates = FileDatesText(fs, path).value_or(FileDates{});
        if (!list.empty()) list += L'|';
        list += facts->fileName + L'?' + facts->localPath + L'?' + std::to_wstring(facts->fileSize) + L'?' +
                dates.created + L'?' + dates.modified;
    }
    return list;
}

std::vector<std::wstring> KeyedListPaths(const std::wstring& listText) {
    std::vector<std::wstring> paths;
    for (const auto& entry : SplitText(listText, L'|')) {
        if (entry.empty()) continue;
        const auto fields = SplitText(entry, L'?');
        if (fields.size() > 1 && EqualsNoCase(fields[1], L"-1")) continue;
        paths.push_back(fields[0]);
    }
    return paths;
}

std::uint64_t SumListedSizes(FileSystem& fs, const std::wstring& listText) {
    return TotalSize(fs, KeyedListPaths(listText));
}

}  // namespace qm
