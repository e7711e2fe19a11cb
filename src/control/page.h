#pragma once
// The hosting page as the operations see it: elements found by id and their attributes read as text.
#include <memory>
#include <optional>
#include <string>

namespace qm {

class PageElement {
public:
    virtual ~PageElement() = default;
    // The attribute's value when it is text; nothing when it is absent or of another kind.
    virtual std::optional<std::wstring> TextAttribute(const std::wstring& name) = 0;
};

class PageElements {
public:
    virtual ~PageElements() = default;
    // Nothing when the page has no element with that id or the lookup failed.
    virtual std::unique_ptr<PageElement> FindElement(const std::wstring& id) = 0;
};

// "true" in any letter case.
bool IsTrueText(const std::wstring& text);

// An attribute read as a boolean: true only for a text "true"; absent or other texts give the default.
bool BoolAttribute(PageElement& element, const std::wstring& name, bool whenAbsent = false);

// An attribute's text, or the given text when absent.
std::wstring TextAttributeOr(PageElement& element, const std::wstring& name, const std::wstring& whenAbsent = {});

}  // namespace qm
