#pragma once
// The file system port in memory, with injectable states (in use, unreadable times, failing folders).
#include <map>
#include <set>
#include <string>
#include <vector>

#include "localfiles/file_system.h"

namespace qm::testing {

struct FakeFile {
    std::wstring name;
    std::uint64_t size = 0;
    FileTimes times;
    std::uint32_t crc = 0;
    ExclusiveOpenResult open = ExclusiveOpenResult::Opened;
    bool timesReadable = true;
    std::uint64_t index = 0;  // a new file gets a new one, as on a real volume
};

class FakeFileSystem : public FileSystem {
public:
    std::wstring tempPath = L"C:\\Temp\\";
    std::set<std::wstring> failCreate;  // keys of folders whose creation fails
    // Keys of folders another process makes just before this one tries: the creation fails, the folder is there.
    std::set<std::wstring> madeByOthers;
    std::vector<std::wstring> created;  // folders created, as asked
    std::vector<std::wstring> crcReads;
    int findCalls = 0;

    void AddFolder(const std::wstring& path) { folders_.insert(Key(path)); }
    FakeFile& AddFile(const std::wstring& path, std::uint64_t size) {
        FakeFile& f = files_[Key(path)];
        if (f.index == 0) f.index = ++lastIndex_;
        f.name = path.substr(path.find_last_of(L"\\/") + 1);
        f.size = size;
        return f;
    }
    // Deletes the file, as a program that saves by writing a new file and renaming it does.
    void RemoveFile(const std::wstring& path) { files_.erase(Key(path)); }
    bool HasFolder(const std::wstring& path) const { return folders_.count(Key(path)) != 0; }
    const FakeFile* File(const std::wstring& path) const {
        auto it = files_.find(Key(path));
        return it == files_.end() ? nullptr : &it->second;
    }

    std::optional<DirectoryEntry> FindFirst(const std::wstring& path) override {
        ++findCalls;
        const std::wstring key = Key(path);
        if (key.find_first_of(L"*?") == std::wstring::npos) {
            if (auto it = files_.find(key); it != files_.end()) return DirectoryEntry{it->second.name, it->second.size};
            if (folders_.count(key)) return DirectoryEntry{path.substr(path.find_last_of(L"\\/") + 1), 0};
            return std::nullopt;
        }
        const std::size_t cut = key.rfind(L'\\');
        const std::wstring folder = key.substr(0, cut + 1), pattern = key.substr(cut + 1);
        for (const auto& [k, f] : files_)
            if (k.compare(0, folder.size(), folder) == 0 && k.find(L'\\', folder.size()) == std::wstring::npos &&
                Matches(pattern.c_str(), k.c_str() + folder.size()))
                return DirectoryEntry{f.name, f.size};
        return std::nullopt;
    }
    ExclusiveOpenResult OpenExclusive(const std::wstring& path) override {
        auto it = files_.find(Key(path));
        return it == files_.end() ? ExclusiveOpenResult::Failed : it->second.open;
    }
    std::optional<FileTimes> ReadTimes(const std::wstring& path) override {
        auto it = files_.find(Key(path));
        if (it == files_.end() || !it->second.timesReadable) return std::nullopt;
        return it->second.times;
    }
    bool WriteTimes(const std::wstring& path, FileTime created, FileTime written) override {
        auto it = files_.find(Key(path));
        if (it == files_.end() || it->second.open != ExclusiveOpenResult::Opened) return false;
        it->second.times = {created, written};
        return true;
    }
    std::uint32_t ContentCrc(const std::wstring& path) override {
        crcReads.push_back(path);
        auto it = files_.find(Key(path));
        return it == files_.end() ? 0 : it->second.crc;
    }
    bool IsFolder(const std::wstring& path) override { return folders_.count(Key(path)) != 0; }
    PathQuery QueryPath(const std::wstring& path) override {
        const std::wstring key = Key(path);
        if (folders_.count(key) || files_.count(key)) return PathQuery::Exists;
        return folders_.count(Parent(key)) ? PathQuery::NotFound : PathQuery::OtherError;
    }
    bool CreateFolder(const std::wstring& path) override {
        const std::wstring key = Key(path);
        if (madeByOthers.count(key) && folders_.count(Parent(key))) folders_.insert(key);
        if (failCreate.count(key) || folders_.count(key) || files_.count(key) || !folders_.count(Parent(key)))
            return false;
        folders_.insert(key);
        created.push_back(path);
        return true;
    }
    std::wstring TempPath() override { return tempPath; }
    bool CopyNoReplace(const std::wstring& from, const std::wstring& to) override {
        auto it = files_.find(Key(from));
        if (it == files_.end() || files_.count(Key(to)) || !folders_.count(Parent(Key(to)))) return false;
        FakeFile copy = it->second;
        copy.name = to.substr(to.find_last_of(L"\\/") + 1);
        copy.index = ++lastIndex_;
        files_[Key(to)] = copy;
        return true;
    }
    std::optional<FileIdentity> IdentityOf(const std::wstring& path) override {
        auto it = files_.find(Key(path));
        if (it == files_.end() || it->second.open == ExclusiveOpenResult::Failed) return std::nullopt;
        return FileIdentity{0x1234, it->second.index};
    }

    // Lower case, forward slashes as backslashes, no trailing backslash.
    static std::wstring Key(std::wstring path) {
        for (auto& c : path) {
            if (c == L'/') c = L'\\';
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        while (path.size() > 1 && path.back() == L'\\') path.pop_back();
        // "." and ".." parts name what Windows resolves them to.
        std::vector<std::wstring> parts;
        std::size_t start = 0;
        for (;;) {
            const std::size_t cut = path.find(L'\\', start);
            const std::wstring part = path.substr(start, cut == std::wstring::npos ? std::wstring::npos : cut - start);
            if (part == L"..") {
                if (parts.size() > 1) parts.pop_back();
            } else if (part != L"." && !(part.empty() && !parts.empty() && !parts.back().empty())) {
                parts.push_back(part);
            }
            if (cut == std::wstring::npos) break;
            start = cut + 1;
        }
        std::wstring joined;
        for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? L"\\" : L"") + parts[i];
        return joined;
    }

private:
    static std::wstring Parent(const std::wstring& key) {
        const std::size_t cut = key.rfind(L'\\');
        return cut == std::wstring::npos ? std::wstring() : Key(key.substr(0, cut + 1));
    }
    static bool Matches(const wchar_t* p, const wchar_t* s) {
        if (!*p) return !*s;
        if (*p == L'*') return Matches(p + 1, s) || (*s && Matches(p, s + 1));
        return *s && (*p == L'?' || *p == *s) && Matches(p + 1, s + 1);
    }

    std::set<std::wstring> folders_;
    std::map<std::wstring, FakeFile> files_;
    std::uint64_t lastIndex_ = 0;
};

}  // namespace qm::testing
