#pragma once
// The posted-files port: files served from memory; counts how many are open at once.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "common/errors.h"
#include "protocol/http_client.h"

namespace qm::testing {

class FakePostedFiles : public PostedFileSource {
public:
    std::map<std::wstring, std::string> files;
    int openCount = 0;
    int openNow = 0;       // files currently open
    int maxOpenNow = 0;

    class File : public PostedFile {
    public:
        File(FakePostedFiles& owner, const std::string& data) : owner_(owner), data_(data) {}
        ~File() override { --owner_.openNow; }
        std::size_t Read(void* buffer, std::size_t size) override {
            const std::size_t n = std::min(size, data_.size() - position_);
            std::memcpy(buffer, data_.data() + position_, n);
            position_ += n;
            return n;
        }

    private:
        FakePostedFiles& owner_;
        const std::string& data_;
        std::size_t position_ = 0;
    };

    std::unique_ptr<PostedFile> OpenExclusive(const std::wstring& path) override {
        auto it = files.find(path);
        if (it == files.end()) throw FileError(2, L"The system cannot find the file specified.");
        ++openCount;
        maxOpenNow = std::max(maxOpenNow, ++openNow);
        return std::make_unique<File>(*this, it->second);
    }
};

}  // namespace qm::testing
