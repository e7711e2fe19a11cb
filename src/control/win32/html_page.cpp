#include "control/win32/html_page.h"

#include "common/errors.h"
#include "common/win32/owners.h"

namespace qm {
namespace {

class HtmlElement : public PageElement {
public:
    explicit HtmlElement(Microsoft::WRL::ComPtr<IHTMLElement> element) : element_(std::move(element)) {}

    std::optional<std::wstring> TextAttribute(const std::wstring& name) override {
        Bstr attributeName(name);
        Variant value;
        if (FAILED(element_->getAttribute(attributeName.get(), 0, value.get()))) return std::nullopt;
        if ((*value).vt != VT_BSTR) return std::nullopt;
        BSTR text = (*value).bstrVal;
        return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    }

private:
    Microsoft::WRL::ComPtr<IHTMLElement> element_;
};

}  // namespace

std::unique_ptr<PageElement> HtmlPageElements::FindElement(const std::wstring& id) {
    if (!document_) return nullptr;
    Bstr elementId(id);
    Microsoft::WRL::ComPtr<IHTMLElement> element;
    if (FAILED(document_->getElementById(elementId.get(), &element)) || !element) return nullptr;
    return std::make_unique<HtmlElement>(std::move(element));
}

std::wstring PageAddress(IHTMLDocument2* document) {
    Microsoft::WRL::ComPtr<IHTMLWindow2> window;
    if (FAILED(document->get_parentWindow(&window)) || !window) throw Error(L"Cannot get the page's window.");
    Microsoft::WRL::ComPtr<IHTMLLocation> location;
    if (FAILED(window->get_location(&location)) || !location) throw Error(L"Cannot get the page's location.");
    Bstr href;
    if (FAILED(location->get_href(href.out()))) throw Error(L"Cannot get the page's address.");
    return href.text();
}

}  // namespace qm
