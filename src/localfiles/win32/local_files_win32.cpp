#include "localfiles/win32/local_files_win32.h"

#include <oleauto.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "common/crc32.h"
#include "common/win32/owners.h"
#include "localfiles/file_helpers.h"

namespace qm {

namespace {

UniqueFileHandle OpenFile(const std::wstring& path, DWORD access, DWORD share) {
    return UniqueFileHandle(
        CreateFileW(LongPathForm(path).c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileTime ToFileTime(const FILETIME& ft) {
    return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME ToFILETIME(FileTime t) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

UniqueHkey OpenKey(HKEY root, const std::wstring& keyPath, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, access, &key) != ERROR_SUCCESS) return UniqueHkey();
    return UniqueHkey(key);
}

constexpr wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

std::optional<DirectoryEntry> Win32FileSystem::FindFirst(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    const UniqueFindHandle find(FindFirstFileW(LongPathForm(path).c_str(), &data));
    if (!find) return std::nullopt;
    return DirectoryEntry{data.cFileName, (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

ExclusiveOpenResult Win32FileSystem::OpenExclusive(const std::wstring& path) {
    if (OpenFile(path, GENERIC_READ, 0)) return ExclusiveOpenResult::Opened;
    return GetLastError() == ERROR_SHARING_VIOLATION ? ExclusiveOpenResult::SharingViolation
                                                     : ExclusiveOpenResult::Failed;
}

std::optional<FileTimes> Win32FileSystem::ReadTimes(const std::wstring& path) {
    UniqueFileHandle file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileTimes{ToFileTime(info.ftCreationTime), ToFileTime(info.ftLastWriteTime)};
}

bool Win32FileSystem::WriteTimes(const std::wstring& path, FileTime created, FileTime written) {
    UniqueFileHandle file = OpenFile(path, GENERIC_WRITE, 0);
    const FILETIME c = ToFILETIME(created), w = ToFILETIME(written);
    return file && SetFileTime(file.get(), &c, &w, &w);
}

std::uint32_t Win32FileSystem::ContentCrc(const std::wstring& path) { return Crc32OfFile(LongPathForm(path)); }

bool Win32FileSystem::IsFolder(const std::wstring& path) {
    // An attribute query, not a change of the current directory: the host's directory is not ours to move.
    const DWORD attributes = GetFileAttributesW(LongPathForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

PathQuery Win32FileSystem::QueryPath(const std::wstring& path) {
    if (GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES) return PathQuery::Exists;
    return GetLastError() == ERROR_FILE_NOT_FOUND ? PathQuery::NotFound : PathQuery::OtherError;
}

bool Win32FileSystem::CreateFolder(const std::wstring& path) {
    return CreateDirectoryW(LongPathForm(path).c_str(), nullptr);
}

std::wstring Win32FileSystem::TempPath() {
    std::vector<wchar_t> buffer(4097);
    const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size()) return std::wstring();
    return std::wstring(buffer.data(), length);
}

std::optional<FileIdentity> Win32FileSystem::IdentityOf(const std::wstring& path) {
    // Attributes only, shared every way: asking must not get in the way of the program editing the file.
    const UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool Win32FileSystem::CopyNoReplace(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(LongPathForm(from).c_str(), LongPathForm(to).c_str(), TRUE) != FALSE;
}

CalendarTime Win32SystemText::LocalCalendar(FileTime utc) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(utc);
    ft.dwHighDateTime = static_cast<DWORD>(utc >> 32);
    SYSTEMTIME universal, local;
    if (!FileTimeToSystemTime(&ft, &universal)) return FileTimeToCalendar(utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) local = universal;
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds};
}

AppDataJournalFile::AppDataJournalFile() {
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder)))
        path_ = std::wstring(folder) + L"\\Quillmark\\edited-copies.txt";
}

std::optional<std::wstring> AppDataJournalFile::Read() {
    constexpr LONGLONG kLargest = 16 << 20;  // far beyond what the entry limit lets it grow to
    if (path_.empty()) return std::nullopt;
    UniqueFileHandle file = OpenFile(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    if (!file) return std::nullopt;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargest) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
        return std::nullopt;
    if (bytes.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                           nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        length);
    return text;
}

bool AppDataJournalFile::Replace(const std::wstring& text) {
    if (path_.empty()) return false;
    CreateDirectoryW(path_.substr(0, path_.rfind(L'\\')).c_str(), nullptr);
    std::string bytes;
    if (!text.empty()) {
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        if (length <= 0) return false;
        bytes.resize(static_cast<std::size_t>(length));
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                            nullptr);
    }
    // Written beside and renamed over: a crash leaves the old journal or the new one, never half of one.
    const std::wstring fresh = path_ + L".new";
    {
        const UniqueFileHandle file(
            CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if ((!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                           nullptr) ||
                                written != bytes.size())) ||
            !FlushFileBuffers(file.get())) {
            return false;
        }
    }
    if (!MoveFileExW(fresh.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(fresh.c_str());
        return false;
    }
    return true;
}

std::optional<CalendarTime> Win32SystemText::ParseUserDate(const std::wstring& text) {
    std::vector<wchar_t> copy(text.begin(), text.end());
    copy.push_back(L'\0');
    DATE date = 0;
    SYSTEMTIME st;
    if (FAILED(VarDateFromStr(copy.data(), LOCALE_USER_DEFAULT, 0, &date)) || !VariantTimeToSystemTime(date, &st))
        return std::nullopt;
    return CalendarTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::wstring Win32SystemText::ErrorMessage(std::uint32_t code) {
    return SystemErrorText(code, nullptr, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT));
}

std::wstring ReadRegistryText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
    UniqueHkey key = OpenKey(root, keyPath, KEY_QUERY_VALUE);
    if (!key) return std::wstring();
    DWORD size = 0;
    LONG status = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, &size);
    // The value may grow between the size query and the read: ask again while it does.
    for (int attempt = 0; status == ERROR_SUCCESS && attempt < 4; ++attempt) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        status = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            status = ERROR_SUCCESS;
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        // The text ends at its first zero or with the stored bytes, whichever comes first.
        std::wstring text(buffer.data(), got / sizeof(wchar_t));
        const std::size_t zero = text.find(L'\0');
        if (zero != std::wstring::npos) text.resize(zero);
        return text;
    }
    return std::wstring();
}

RegistrySettingsStore::RegistrySettingsStore(std::wstring keyPath) : keyPath_(std::move(keyPath)) {}

std::wstring RegistrySettingsStore::ReadSetting(const std::wstring& valueName) {
    return ReadRegistryText(HKEY_CURRENT_USER, keyPath_, valueName);
}

void RegistrySettingsStore::WriteSetting(const std::wstring& text, const std::wstring& valueName) {
    UniqueHkey key = OpenKey(HKEY_CURRENT_USER, keyPath_, KEY_SET_VALUE);
    if (!key) {
        HKEY created = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &created, nullptr) != ERROR_SUCCESS)
            return;
        key.reset(created);
    }
    // The byte count includes the terminating zero.
    RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring RegistrySettingsStore::PersonalFolder() {
    // Query access is all a read needs; asking for full access fails for restricted users.
    std::wstring folder = ReadRegistryText(HKEY_CURRENT_USER, kShellFoldersKey, L"Personal");
    if (!folder.empty()) return folder;
    // The shell writes that record only once something has asked it for the folder.
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return path;
    return std::wstring();
}

FileSystem& LocalFileSystem() {
    static Win32FileSystem instance;
    return instance;
}

SystemText& LocalSystemText() {
    static Win32SystemText instance;
    return instance;
}

std::wstring ExpandEnvironmentText(const std::wstring& text) {
    wchar_t buffer[1024];
    const DWORD n = ExpandEnvironmentStringsW(text.c_str(), buffer, 1024);
    if (n == 0 || n > 1024) return text;
    return buffer;
}

}  // namespace qm
