#include "control/page.h"

#include <cwctype>

namespace qm {

bool IsTrueText(const std::wstring& text) {
    static const wchar_t kTrue[] = L"true";
    if (text.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (static_cast<wchar_t>(std::towlower(text[i])) != kTrue[i]) return false;
    return true;
}

bool BoolAttribute(PageElement& element, const std::wstring& name, bool whenAbsent) {
    auto value = element.TextAttribute(name);
    if (!value) return whenAbsent;
    return IsTrueText(*value);
}

std::wstring TextAttributeOr(PageElement& element, const std::wstring& name, const std::wstring& whenAbsent) {
    auto value = element.TextAttribute(name);
    return value ? *value : whenAbsent;
}

}  // namespace qm
