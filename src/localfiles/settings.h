#pragma once
// Per-user folder settings and the choice of local folders for downloads and edited copies.
#include <string>

#include "localfiles/file_system.h"

namespace qm {

inline constexpr wchar_t kSettingsKeyPath[] = L"Software\\Velmar\\Quillmark";
inline constexpr wchar_t kOpenFileLocation[] = L"OpenFileLocation";
inline constexpr wchar_t kSaveFileLocation[] = L"SaveFileLocation";

// The per-user settings and the user's documents folder. Failures never surface: reads give an empty text,
// writes are dropped.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::wstring ReadSetting(const std::wstring& valueName) = 0;
    virtual void WriteSetting(const std::wstring& text, const std::wstring& valueName) = 0;
    virtual std::wstring PersonalFolder() = 0;
};

// The Yes/No question the folder choice may ask.
class Questions {
public:
    virtual ~Questions() = default;
    // A Yes/No box without owner; true only for Yes.
    virtual bool AskYesNo(const std::wstring& caption, const std::wstring& text) = 0;
};

// The folder of a chosen file: the path up to, not including, its last backslash; empty without one.
std::wstring FolderOfPath(const std::wstring& path);

bool FolderExists(FileSystem& fs, const std::wstring& path);

// Creates every missing folder of a path (drive or \\server\share root); true when the whole path is a
// folder afterwards.
bool EnsureFolderChain(FileSystem& fs, const std::wstring& path);

// The temporary path followed by the primary key, created when missing; empty when creating it failed.
std::wstring RecordTempFolder(FileSystem& fs, const std::wstring& primKey);

// Download action codes that open the downloaded file (or its folder); the others save it.
bool IsOpenAction(int action);

// The destination folder of a download, or empty when none can be had. requestedPath is the element's
// expanded and trimmed LocalPath; prompt asks "Create folder?" before a missing one is created.
std::wstring ResolveDownloadFolder(FileSystem& fs, SettingsStore& settings, Questions& questions, int action,
                                   const std::wstring& requestedPath, const std::wstring& primKey, bool prompt);

}  // namespace qm
