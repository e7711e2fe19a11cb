#pragma once
// The code page port as a Western ANSI code page: ISO 8859-1 with "?" for what it cannot hold.
#include <cstdint>
#include <string>

#include "protocol/code_page.h"

namespace qm::testing {

class Latin1CodePage : public CodePage {
public:
    using CodePage::FromAnsi;
    std::string ToAnsi(const std::wstring& text) const override {
        std::string out;
        for (wchar_t c : text) out += static_cast<std::uint32_t>(c) < 256 ? static_cast<char>(c) : '?';
        return out;
    }
    std::wstring FromAnsi(const char* bytes, std::size_t size) const override {
        std::wstring out;
        for (std::size_t i = 0; i < size; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
        return out;
    }
};

}  // namespace qm::testing
