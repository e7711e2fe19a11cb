#pragma once
// The page as the host understands it: an XHTML document parsed with MSXML into elements with ids, script
// blocks and the scripted user's answers written into the page.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::pagehost {

// A failure the host reports and stops for.
struct HostError : std::runtime_error {
    explicit HostError(const std::wstring& text) : std::runtime_error("host error"), message(text) {}
    std::wstring message;
};

// Attributes named in the element's pagehost:numbers list are numbers, all others are text.
inline constexpr wchar_t kPageHostNamespace[] = L"urn:quillmark:pagehost";

struct AttributeValue {
    enum class Kind { Text, Integer, Real };
    Kind kind = Kind::Text;
    std::wstring text;  // as written in the page
    long long integer = 0;
    double real = 0;
};

struct PageElement {
    std::wstring id;
    std::wstring tag;
    std::vector<std::pair<std::wstring, AttributeValue>> attributes;
    std::wstring innerText;
};

struct PageModel {
    std::wstring title;
    std::vector<std::shared_ptr<PageElement>> elements;  // those with an id, in document order
    std::vector<std::wstring> scripts;                   // text/javascript (or untyped) blocks, in order
    std::vector<std::wstring> userLines;                 // lines of text/x-pagehost-user blocks
};

// Reads an http(s) address through WinInet or a local file; href becomes the page's own address
// (the file: address of a local page).
std::vector<std::uint8_t> FetchPage(const std::wstring& source, std::wstring& href);

// Parses the page; throws HostError with MSXML's reason and position when it is not well-formed.
PageModel ParsePage(const std::vector<std::uint8_t>& bytes);

// A number attribute value: integer when it is one, real otherwise; throws HostError when it is not a number.
AttributeValue NumberValue(const std::wstring& text);

}  // namespace qm::pagehost
