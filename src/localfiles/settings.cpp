#include "localfiles/settings.h"

#include <vector>

namespace qm {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::vector<std::wstring> SplitPath(const std::wstring& path) {
    std::vector<std::wstring> parts(1);
    for (wchar_t c : path) {
        if (IsSeparator(c))
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

bool IsDriveSpec(const std::wstring& part) { return part.size() == 2 && part[1] == L':'; }

}  // namespace

std::wstring FolderOfPath(const std::wstring& path) {
    const std::size_t at = path.rfind(L'\\');
    return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

bool FolderExists(FileSystem& fs, const std::wstring& path) { return !path.empty() && fs.IsFolder(path); }

bool EnsureFolderChain(FileSystem& fs, const std::wstring& path) {
    std::wstring trimmed = path;
    if (!trimmed.empty() && IsSeparator(trimmed.back())) trimmed.pop_back();
    if (trimmed.empty()) return false;
    const std::vector<std::wstring> parts = SplitPath(trimmed);

    // The root is never created: a drive ("C:\"), the current drive's root ("\"), or a network share.
    std::wstring built;
    std::size_t next = 1;
    if (parts.size() >= 2 && parts[0].empty() && parts[1].empty()) {
        if (parts.size() < 4) return false;  // "\\server" alone names no share
        if (parts[2] == L"?" && IsDriveSpec(parts[3])) {
            built = L"\\\\?\\" + parts[3] + L"\\";  // long-path form of a drive
        } else {
            if (parts[2].empty() || parts[3].empty() || parts[2] == L"?" || parts[2] == L".") return false;
            built = L"\\\\" + parts[2] + L"\\" + parts[3] + L"\\";
        }
        next = 4;
    } else if (parts[0].empty() || IsDriveSpec(parts[0])) {
        built = parts[0] + L"\\";
    } else {
        next = 0;  // relative path: its first folder is created like the others
    }

    for (std::size_t i = next; i < parts.size(); ++i) {
        if (parts[i].empty()) continue;  // doubled separators
        built += parts[i] + L"\\";
        if (FolderExists(fs, built)) continue;
        // Someone else may have created it meanwhile; only a folder that is still missing is a failure.
        if (!fs.CreateFolder(built) && !FolderExists(fs, built)) return false;
    }
    return FolderExists(fs, built);
}

std::wstring RecordTempFolder(FileSystem& fs, const std::wstring& primKey) {
    const std::wstring path = fs.TempPath() + primKey;
    if (fs.QueryPath(path) == PathQuery::NotFound) return fs.CreateFolder(path) ? path : std::wstring();
    return path;
}

bool IsOpenAction(int action) { return action == 1002 || action == 1004 || action == 1005; }

std::wstring ResolveDownloadFolder(FileSystem& fs, SettingsStore& settings, Questions& questions, int action,
                                   const std::wstring& requestedPath, const std::wstring& primKey, bool prompt) {
    const std::wstring saveLocation = settings.ReadSetting(kSaveFileLocation);
    if (!requestedPath.empty()) {
        if (FolderExists(fs, requestedPath)) return requestedPath;
        const bool create =
            !prompt || questions.AskYesNo(L"Create folder?", L"\"" + requestedPath +
                                                                 L"\" does not exist in local system.\r\n"
                                                                 L"Do you want to create?");
        if (create && EnsureFolderChain(fs, requestedPath)) return requestedPath;
    }
    if (IsOpenAction(action)) return RecordTempFolder(fs, primKey);
    return saveLocation.empty() ? settings.PersonalFolder() : saveLocation;
}

}  // namespace qm
