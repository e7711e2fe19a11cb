#pragma once
// The user's edited copies kept across control objects, page loads and restarts: one small file per user, read
// when a page of a server sets the control up and rewritten whole after each operation.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "localfiles/file_system.h"
#include "localfiles/tracked_files.h"

namespace qm {

// One edited copy as the journal keeps it.
struct JournalEntry {
    std::wstring Server;  // "scheme://host:port" of the server the copy came from
    std::wstring ViewName;
    std::wstring PrimKey;
    std::wstring UploadViewName;
    std::wstring FileName;
    std::wstring LocalPath;
    std::wstring ElementId;
    std::wstring BeforeUploadScript;
    std::wstring AfterUploadScript;
    FileTime LastWriteTime = 0;  // the time last looked at (a "Don't save" moves it)
    FileTime WrittenTime = 0;    // the time the control left on the copy, or the copy's time when last sent
    FileTime ServerUpdated = 0;  // the stored copy's update time it was made from; 0 when not known
    std::optional<FileIdentity> Identity;
    FileTime Made = 0;  // when the journal first kept it (UTC)
    bool operator==(const JournalEntry&) const = default;
};

inline constexpr std::size_t kMostJournalEntries = 500;
// How long an entry is kept before the walk offers its changes one last time.
inline constexpr FileTime kJournalKeepTime = 30ull * 24 * 3600 * 10'000'000;

// The file's text: a version line, one line per entry, and a closing line with the count and a check value, so
// a file cut short or changed by hand is known as such.
std::wstring WriteJournal(const std::vector<JournalEntry>& entries);
// Nothing when the text is not a whole journal of this version.
std::optional<std::vector<JournalEntry>> ReadJournal(const std::wstring& text);

// Where the journal lives.
class JournalFile {
public:
    virtual ~JournalFile() = default;
    // Nothing when there is no journal yet or it cannot be read.
    virtual std::optional<std::wstring> Read() = 0;
    // Replaces the journal so that a crash leaves either the old text or the new one.
    virtual bool Replace(const std::wstring& text) = 0;
};

// "https://host:443" and the like: the key under which a server's copies are kept.
std::wstring ServerKey(bool secure, const std::wstring& host, std::uint16_t port);

// Loads the server's entries whose copies still exist into the list (the list's own entries for the same record
// or file win). A journal that cannot be read is left as it is and loads nothing.
// Entries kept longer than kJournalKeepTime before now come in stale.
void LoadEditedCopies(TrackedFileList& list, JournalFile& journal, FileSystem& fs, const std::wstring& server,
                      FileTime now);
// Writes the list's waiting entries as the server's, keeping other servers' entries, at most kMostJournalEntries
// (the oldest go first). A journal that cannot be read is replaced.
// Entries not kept before are stamped with now. Nothing is written when the text would not change, nor when there
// is nothing to keep and no journal yet.
bool SaveEditedCopies(TrackedFileList& list, JournalFile& journal, FileSystem& fs, const std::wstring& server,
                      FileTime now);

// The list's copies with edits the server has not had, for the page: per copy "ElementId?ViewName?PrimKey?
// FileName?YYYY-MM-DD HH:MM:SS" (the copy's last change on the user's clock), newest entry first, joined by "|".
std::wstring EditedCopiesText(const TrackedFileList& list, FileSystem& fs, SystemText& system);

}  // namespace qm
