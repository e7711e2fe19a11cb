#pragma once
// Port: the local ANSI code page, through which file names and reply bodies cross between text and bytes.
#include <cstddef>
#include <string>

namespace qm {

class CodePage {
public:
    virtual ~CodePage() = default;
    // Characters the code page cannot represent become its default character.
    virtual std::string ToAnsi(const std::wstring& text) const = 0;
    virtual std::wstring FromAnsi(const char* bytes, std::size_t size) const = 0;

    std::wstring FromAnsi(const std::string& bytes) const { return FromAnsi(bytes.data(), bytes.size()); }
};

}  // namespace qm
