#pragma once
// The ports through which the local-file helpers reach the platform: the file system, and the platform's
// locale-aware date parser and error message table.
#include <cstdint>
#include <optional>
#include <string>

namespace qm {

// 100-nanosecond units since 1601-01-01 UTC.
using FileTime = std::uint64_t;

// A date and time as calendar fields, in no particular time zone.
struct CalendarTime {
    int year = 1601;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// The first entry that a directory search for a path finds.
struct DirectoryEntry {
    std::wstring name;       // without folder
    std::uint64_t size = 0;  // full length; callers keep the low 32 bits
};

struct FileTimes {
    FileTime created = 0;
    FileTime lastWritten = 0;
};

// Which file a path names now, whatever the path's spelling: a file deleted and made again under the same name,
// or replaced by another, is another file.
struct FileIdentity {
    std::uint32_t volume = 0;  // the volume's serial number
    std::uint64_t index = 0;   // the file's index on that volume
    bool operator==(const FileIdentity&) const = default;
};

enum class ExclusiveOpenResult { Opened, SharingViolation, Failed };

enum class PathQuery { Exists, NotFound, OtherError };

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Directory search on the path (wildcards allowed); nothing when no entry matches.
    virtual std::optional<DirectoryEntry> FindFirst(const std::wstring& path) = 0;
    // Opens the existing file for reading with no sharing and closes it again.
    virtual ExclusiveOpenResult OpenExclusive(const std::wstring& path) = 0;
    // Creation and last-write times of an existing file, opened with read sharing.
    virtual std::optional<FileTimes> ReadTimes(const std::wstring& path) = 0;
    // Sets creation time, and last-access and last-write times; false when the open or the setting failed.
    virtual bool WriteTimes(const std::wstring& path, FileTime created, FileTime written) = 0;
    // CRC-32 of the file's contents; the CRC of no bytes (0) when it cannot be read.
    virtual std::uint32_t ContentCrc(const std::wstring& path) = 0;
    // True when the path names an existing folder; never changes the process's current directory.
    virtual bool IsFolder(const std::wstring& path) = 0;
    // Attribute query of a path: exists, missing (file not found), or any other failure.
    virtual PathQuery QueryPath(const std::wstring& path) = 0;
    // Creates one folder level.
    virtual bool CreateFolder(const std::wstring& path) = 0;
    // The platform's temporary folder, ending with a backslash.
    virtual std::wstring TempPath() = 0;
    // The identity of the existing file the path names; nothing when it cannot be opened.
    virtual std::optional<FileIdentity> IdentityOf(const std::wstring& path) = 0;
    // Copies a file to a path where nothing is yet; false when something is there or the copy failed.
    virtual bool CopyNoReplace(const std::wstring& from, const std::wstring& to) = 0;
};

class SystemText {
public:
    virtual ~SystemText() = default;

    // Parses a date-time text in the user's default locale; nothing when it does not parse.
    virtual std::optional<CalendarTime> ParseUserDate(const std::wstring& text) = 0;
    // The system's message for an error code; empty when it has none.
    virtual std::wstring ErrorMessage(std::uint32_t code) = 0;
    // A time as the user's clock shows it.
    virtual CalendarTime LocalCalendar(FileTime utc) = 0;
};

}  // namespace qm
