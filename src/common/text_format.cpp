#include "common/text_format.h"

#include <cmath>
#include <cwchar>

namespace qm {

namespace {

constexpr std::size_t kTextBuffer = 260;

template <typename... Args>
std::wstring Printf(const wchar_t* format, Args... args) {
    wchar_t buffer[kTextBuffer];
    int n = std::swprintf(buffer, kTextBuffer, format, args...);
    if (n < 0) return std::wstring();
    return std::wstring(buffer, static_cast<std::size_t>(n) < kTextBuffer ? n : kTextBuffer - 1);
}

// Days since 1970-01-01 to a proleptic Gregorian date.
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

std::wstring FormatByteSize(double bytes) {
    if (!(bytes >= 1024.0)) return Printf(L"%.0f Bytes", bytes);
    if (bytes < 1048576.0) return Printf(L"%.2f KB", bytes / 1024.0);
    if (bytes < 1073741824.0) return Printf(L"%.2f MB", bytes / 1048576.0);
    return Printf(L"%.2f GB", bytes / 1073741824.0);
}

std::wstring FormatDuration(std::uint32_t s) {
    const auto d = [](std::uint32_t v) { return static_cast<int>(v); };
    if (s < 60) return Printf(L"%d sec", d(s));
    if (s < 3600) return Printf(L"%d min %d sec", d(s / 60), d(s % 60));
    if (s < 216000) return Printf(L"%d hrs %d min %d sec", d(s / 3600), d(s % 3600 / 60), d(s % 60));
    if (s < 5184000)
        return Printf(L"%d day(s) %d hrs %d min %d sec", d(s / 86400), d(s % 86400 / 3600), d(s % 3600 / 60), d(s % 60));
    return L"Unknown";
}

std::wstring FormatFileTimeUtc(std::uint64_t fileTime) {
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    constexpr std::uint64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
    constexpr std::uint64_t kLastSecond = 32535215999;        // 3000-12-31 23:59:59 since 1970
    std::uint64_t seconds = fileTime / kTicksPerSecond;
    std::uint64_t calendar = 0;
    if (seconds >= kUnixEpochSeconds && seconds - kUnixEpochSeconds <= kLastSecond) calendar = seconds - kUnixEpochSeconds;
    const std::int64_t days = static_cast<std::int64_t>(calendar / 86400);
    const unsigned secondOfDay = static_cast<unsigned>(calendar % 86400);
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    return Printf(L"%d-%d-%d %d:%d:%d", static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay % 3600 / 60),
                  static_cast<int>(secondOfDay % 60));
}

}  // namespace qm
