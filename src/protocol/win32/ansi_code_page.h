#pragma once
#include "protocol/code_page.h"

namespace qm {

// The system's ANSI code page (CP_ACP); unrepresentable characters become its default character.
class AnsiCodePage : public CodePage {
public:
    using CodePage::FromAnsi;
    std::string ToAnsi(const std::wstring& text) const override;
    std::wstring FromAnsi(const char* bytes, std::size_t size) const override;
};

// One stateless instance for the whole process.
const CodePage& SystemAnsiCodePage();

}  // namespace qm
