#pragma once
// The hosting page's document object model behind the page ports.
#include <windows.h>
#include <mshtml.h>
#include <wrl/client.h>

#include "control/page.h"

namespace qm {

class HtmlPageElements : public PageElements {
public:
    explicit HtmlPageElements(IHTMLDocument3* document) : document_(document) {}
    std::unique_ptr<PageElement> FindElement(const std::wstring& id) override;

private:
    Microsoft::WRL::ComPtr<IHTMLDocument3> document_;
};

// The page's own address: document, parent window, location, href. Throws qm::Error on failure.
std::wstring PageAddress(IHTMLDocument2* document);

}  // namespace qm
