#pragma once
// Questions asked of local files, the texts in which file facts reach page scripts, and small text helpers.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/transfer_job.h"
#include "localfiles/file_system.h"

namespace qm {

inline constexpr std::uint32_t kBlockSize = 4096;

// What a directory search and a read tell about one local file (the first five descriptor slots).
struct FileFacts {
    std::wstring fileName;   // name on disk, without folder
    std::wstring localPath;  // the path asked for
    std::uint32_t fileCrc = 0;
    std::uint32_t fileSize = 0;  // low 32 bits of the length
    std::uint32_t blockCount = 0;
};

// Creation and last-write time texts of a file.
struct FileDates {
    std::wstring created;
    std::wstring modified;
};

// Splits at a one-character separator, keeping empty pieces (a text without separator is one piece).
std::vector<std::wstring> SplitText(const std::wstring& text, wchar_t separator);
std::wstring JoinText(const std::vector<std::wstring>& pieces, wchar_t separator);

// Case-insensitive comparison of ASCII letters, as for "true" and "-1".
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

// A path written the one way Windows resolves it: "/" as "\", repeated separators, "." and ".." parts resolved
// (never above the drive or share), no trailing separator. Compare such forms, never the raw texts of a page.
std::wstring CanonicalPathText(const std::wstring& path);
// Both paths name the same place once canonical (ASCII letters in any case).
bool SamePath(const std::wstring& a, const std::wstring& b);
// The form the platform opens whatever its length: a full path of 260 characters or more gets the "\\?\" (or
// "\\?\UNC\") prefix, after "." and ".." are resolved and "/" became "\" (the prefix turns that off);
// shorter, relative, already prefixed paths and those past the long form's own limit stay as they are.
std::wstring LongPathForm(const std::wstring& path);

// Number of 4096-byte blocks, rounded up.
std::uint32_t BlockCount(std::uint32_t size);

bool FileExists(FileSystem& fs, const std::wstring& path);
bool IsFileInUse(FileSystem& fs, const std::wstring& path);
std::optional<FileTime> GetCreationTime(FileSystem& fs, const std::wstring& path);
std::optional<FileTime> GetLastWriteTime(FileSystem& fs, const std::wstring& path);
// Failures are silent by design: a download whose times cannot be set still counts as done.
void SetFileTimes(FileSystem& fs, const std::wstring& path, FileTime created, FileTime written);

// Nothing when the path is not found. The CRC stays 0 while another program holds the file.
std::optional<FileFacts> DescribeFile(FileSystem& fs, const std::wstring& path);
// Fills the name, path, CRC, size and block slots of a descriptor; false (nothing changed) when not found.
bool DescribeFile(FileSystem& fs, const std::wstring& path, FileDescriptor& descriptor);
// Full lengths summed in 64 bits: a 32-bit sum of a 4 GiB file is 0.
std::uint64_t TotalSize(FileSystem& fs, const std::vector<std::wstring>& paths);

// The upload header carries a size in 32 bits: a longer file cannot be stored and is refused before it is read.
inline constexpr std::uint64_t kLargestSendableSize = 0xFFFFFFFFull;
// The first of the paths whose file is longer than that; nothing when none is (missing files are not).
std::optional<std::wstring> FirstTooLarge(FileSystem& fs, const std::vector<std::wstring>& paths);
std::wstring TooLargeText(const std::wstring& path);

// The two times as FormatFileTimeUtc writes them. Nothing while the file is in use; times that cannot be read
// (a missing file) give empty texts.
std::optional<FileDates> FileDatesText(FileSystem& fs, const std::wstring& path);

// Calendar fields taken as UTC; nothing for fields outside the calendar.
std::optional<FileTime> CalendarToFileTime(const CalendarTime& time);
CalendarTime FileTimeToCalendar(FileTime time);

// A server date text in the user's locale, its calendar fields taken as UTC. Nothing when the text does not
// parse, so that callers can tell "no time" from a real one.
std::optional<FileTime> ParseServerDate(SystemText& system, const std::wstring& text);

// Signed decimal from the start of the text (blanks and a sign allowed); 0 without digits. Saturates at
// the 32-bit limits.
std::int32_t ParseDecimal(const std::wstring& text);

// Five "-"-separated pieces of 8, 4, 4, 4 and 12 characters; the characters are not examined.
bool IsGuidText(const std::wstring& text);

std::wstring SystemErrorText(SystemText& system, std::uint32_t code);

// Records "name?path?size?created?modified" joined by "|"; paths that are not found are left out.
std::wstring BuildFileListText(FileSystem& fs, const std::vector<std::wstring>& paths);

// Sum of the sizes of the "path?key" entries of an upload list whose key is not "-1" and that are found.
std::uint64_t SumListedSizes(FileSystem& fs, const std::wstring& listText);
// The paths of the entries of such a list whose key is not "-1".
std::vector<std::wstring> KeyedListPaths(const std::wstring& listText);

}  // namespace qm
