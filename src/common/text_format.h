#pragma once
// Texts for sizes, durations and file times as the dialogs show them. Usable from any thread.
#include <cstdint>
#include <string>

namespace qm {

// "1023 Bytes", "1.00 KB", "1024.00 KB", "1.00 MB", "1.00 GB"; a value that is not a number takes the bytes row.
std::wstring FormatByteSize(double bytes);

// "59 sec", "1 min 0 sec", "59 hrs 59 min 59 sec", "2 day(s) 12 hrs 0 min 0 sec", and "Unknown" from 60 days on.
std::wstring FormatDuration(std::uint32_t seconds);

// "2007-3-5 9:4:0": the UTC calendar time of a file time, without zero padding. A file time outside the
// calendar range (before 1970 or after 3000) is shown as the start of 1970.
std::wstring FormatFileTimeUtc(std::uint64_t fileTime);

}  // namespace qm
