#pragma once
// The incoming-files port of the download side: files on a pretend disk.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/errors.h"
#include "download/download_ports.h"

namespace qm::testing {

// Begin makes a temporary file beside the target; Commit replaces the target.
class FakeIncomingFiles : public IncomingFiles {
public:
    std::map<std::wstring, std::string> disk;     // committed files by path
    std::set<std::wstring> temporaries;           // temporary files that still exist
    std::set<std::wstring> failBegin;             // targets whose folder refuses a temporary file
    std::set<std::wstring> failCommit;            // targets that are held open by another program
    std::optional<std::uint64_t> writeLimit;      // a write beyond this many bytes of one file fails
    std::vector<std::wstring> sources;
    std::vector<std::wstring> begun;
    std::uint64_t mostWritten = 0;                // the most bytes one temporary file ever held
    int made = 0;

    class File : public IncomingFile {
    public:
        File(FakeIncomingFiles& owner, std::wstring target, std::wstring temp)
            : owner_(owner), target_(std::move(target)), temp_(std::move(temp)) {}
        ~File() override { owner_.temporaries.erase(temp_); }
        void Write(const void* data, std::size_t size) override {
            if (owner_.writeLimit && bytes_.size() + size > *owner_.writeLimit)
                throw FileError(112, L"There is not enough space on the disk.");
            bytes_.append(static_cast<const char*>(data), size);
            owner_.mostWritten = std::max<std::uint64_t>(owner_.mostWritten, bytes_.size());
        }
        void Commit() override {
            if (owner_.failCommit.count(target_))
                throw FileError(32, L"The process cannot access the file because it is being used by another process.");
            owner_.disk[target_] = bytes_;
            owner_.temporaries.erase(temp_);
        }

    private:
        FakeIncomingFiles& owner_;
        std::wstring target_, temp_;
        std::string bytes_;
    };

    std::unique_ptr<IncomingFile> Begin(const std::wstring& target, const std::wstring& source) override {
        begun.push_back(target);
        sources.push_back(source);
        if (failBegin.count(target)) throw FileError(5, L"Access is denied.");
        std::wstring temp = target + L".~" + std::to_wstring(++made);
        temporaries.insert(temp);
        return std::make_unique<File>(*this, target, temp);
    }
    std::wstring ShortPath(const std::wstring& path) override { return path; }
    bool Exists(const std::wstring& path) override { return disk.count(path) != 0; }
};

}  // namespace qm::testing
