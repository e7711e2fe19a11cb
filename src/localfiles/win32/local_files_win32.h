#pragma once
// The local-file ports on Windows: directory search, exclusive open, file times, folders, the temporary path,
// the automation date parser, the system message table and the per-user registry settings.
#include <windows.h>

#include <string>

#include "localfiles/edit_journal.h"
#include "localfiles/file_system.h"
#include "localfiles/settings.h"

namespace qm {

class Win32FileSystem : public FileSystem {
public:
    std::optional<DirectoryEntry> FindFirst(const std::wstring& path) override;
    ExclusiveOpenResult OpenExclusive(const std::wstring& path) override;
    std::optional<FileTimes> ReadTimes(const std::wstring& path) override;
    bool WriteTimes(const std::wstring& path, FileTime created, FileTime written) override;
    std::uint32_t ContentCrc(const std::wstring& path) override;
    bool IsFolder(const std::wstring& path) override;
    PathQuery QueryPath(const std::wstring& path) override;
    bool CreateFolder(const std::wstring& path) override;
    std::wstring TempPath() override;
    std::optional<FileIdentity> IdentityOf(const std::wstring& path) override;
    bool CopyNoReplace(const std::wstring& from, const std::wstring& to) override;
};

class Win32SystemText : public SystemText {
public:
    // VarDateFromStr in LOCALE_USER_DEFAULT, the parser behind COleDateTime::ParseDateTime.
    std::optional<CalendarTime> ParseUserDate(const std::wstring& text) override;
    std::wstring ErrorMessage(std::uint32_t code) override;
    CalendarTime LocalCalendar(FileTime utc) override;
};

// The edited-copy journal as UTF-8 text in the user's local application data, or at a path tests give.
class AppDataJournalFile : public JournalFile {
public:
    AppDataJournalFile();
    explicit AppDataJournalFile(std::wstring path) : path_(std::move(path)) {}
    std::optional<std::wstring> Read() override;
    bool Replace(const std::wstring& text) override;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// Values of a registry key under HKEY_CURRENT_USER; the key path can be changed for tests.
class RegistrySettingsStore : public SettingsStore {
public:
    explicit RegistrySettingsStore(std::wstring keyPath = kSettingsKeyPath);

    std::wstring ReadSetting(const std::wstring& valueName) override;
    void WriteSetting(const std::wstring& text, const std::wstring& valueName) override;
    // The shell's "Personal" folder record; the shell's own lookup when the record is missing.
    std::wstring PersonalFolder() override;

private:
    std::wstring keyPath_;
};

// Reads a text value; empty on any failure. The stored bytes need not end with a zero.
std::wstring ReadRegistryText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);

// The process's instances; the helpers are stateless.
FileSystem& LocalFileSystem();
SystemText& LocalSystemText();

// %NAME% references expanded, at most 1024 characters; the text itself when expansion fails.
std::wstring ExpandEnvironmentText(const std::wstring& text);

}  // namespace qm
