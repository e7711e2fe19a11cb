#include "protocol/win32/ansi_code_page.h"

#include <windows.h>

#include <climits>

namespace qm {

std::string AnsiCodePage::ToAnsi(const std::wstring& text) const {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring AnsiCodePage::FromAnsi(const char* bytes, std::size_t size) const {
    if (size == 0 || size > INT_MAX) return {};
    const int length = static_cast<int>(size);
    const int count = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    if (count <= 0) return {};
    std::wstring text(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, length, text.data(), count);
    return text;
}

const CodePage& SystemAnsiCodePage() {
    static const AnsiCodePage codePage;
    return codePage;
}

}  // namespace qm
