#include "protocol/win32/msxml_document.h"

#include <wrl/client.h>

#include <cwctype>

#include "common/errors.h"
#include "common/win32/guids.h"
#include "common/win32/owners.h"
#include "protocol/win32/ansi_code_page.h"

using Microsoft::WRL::ComPtr;

namespace qm {

namespace {

// A finished string load does not need longer; past it the load counts as failed rather than hanging.
constexpr DWORD kLoadWaitLimitMs = 30000;

// The document cannot go on without its texts: a failed allocation is an error here.
Bstr RequiredBstr(const std::wstring& text) {
    Bstr value(text);
    if (!value) throw Error(L"Out of memory.");
    return value;
}

void Check(HRESULT hr, const wchar_t* what) {
    if (FAILED(hr)) throw Error(std::wstring(what) + L" failed (0x" + [hr] {
        wchar_t hex[16];
        wsprintfW(hex, L"%08X", static_cast<unsigned>(hr));
        return std::wstring(hex);
    }() + L").");
}

class MsxmlElement : public XmlElement {
public:
    explicit MsxmlElement(ComPtr<IXMLDOMElement> element) : element_(std::move(element)) {}

    void SetAttribute(const std::wstring& name, const std::wstring& value) override {
        const Bstr n = RequiredBstr(name);
        Variant v;
        V_VT(v.get()) = VT_BSTR;
        V_BSTR(v.get()) = RequiredBstr(value).release();
        Check(element_->setAttribute(n.get(), *v), L"setAttribute");
    }

    void AppendChild(XmlElement& child) override {
        ComPtr<IXMLDOMNode> appended;
        Check(element_->appendChild(static_cast<MsxmlElement&>(child).element_.Get(), &appended), L"appendChild");
    }

    std::optional<std::wstring> GetAttribute(const std::wstring& name) override {
        const Bstr n = RequiredBstr(name);
        Variant v;
        Check(element_->getAttribute(n.get(), v.get()), L"getAttribute");
        const VARIANT& got = *v;
        if (got.vt != VT_BSTR) return std::nullopt;
        return got.bstrVal ? std::wstring(got.bstrVal, SysStringLen(got.bstrVal)) : std::wstring();
    }

    IXMLDOMElement* get() const { return element_.Get(); }

private:
    ComPtr<IXMLDOMElement> element_;
};

void DispatchQueuedMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            // Keep the quit request for the thread's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A reply comes from the server and is untrusted: no DTD (so no entity expansion without bound), no fetching of
// external resources (which would send the user's credentials elsewhere), no validation. MSXML 3 resolves
// externals by default. Where a property is not supported the others still hold.
void RefuseDocumentTypes(IXMLDOMDocument* document) {
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    static const IID kIidDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
    ComPtr<IXMLDOMDocument2> document2;
    if (SUCCEEDED(document->QueryInterface(kIidDomDocument2, reinterpret_cast<void**>(document2.GetAddressOf()))) &&
        document2) {
        const Bstr name(L"ProhibitDTD");
        VARIANT on;
        VariantInit(&on);
        on.vt = VT_BOOL;
        on.boolVal = VARIANT_TRUE;
        if (name) document2->setProperty(name.get(), on);
    }
}

bool HasDocumentType(const std::wstring& text) {
    static const wchar_t kMark[] = L"<!doctype";
    for (std::size_t i = 0; i + 9 <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < 9 && std::towlower(text[i + k]) == kMark[k]) ++k;
        if (k == 9) return true;
    }
    return false;
}

}  // namespace

MsxmlDocument::MsxmlDocument() {
    IXMLDOMDocument* created = nullptr;
    creation_ = CoCreateInstance(QM_CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IXMLDOMDocument),
                                 reinterpret_cast<void**>(&created));
    if (SUCCEEDED(creation_)) *document_.ReleaseAndGetAddressOf() = created;
}

MsxmlDocument::~MsxmlDocument() = default;

bool MsxmlDocument::Created() const { return SUCCEEDED(creation_) && document_.Get() != nullptr; }

std::unique_ptr<XmlElement> MsxmlDocument::CreateElement(const std::wstring& name) {
    VARIANT type;
    VariantInit(&type);
    type.vt = VT_I4;
    type.lVal = NODE_ELEMENT;
    const Bstr n = RequiredBstr(name);
    const Bstr noNamespace = RequiredBstr(L"");
    ComPtr<IXMLDOMNode> node;
    Check(document_->createNode(type, n.get(), noNamespace.get(), &node), L"createNode");
    ComPtr<IXMLDOMElement> element;
    Check(node.As(&element), L"QueryInterface(IXMLDOMElement)");
    return std::make_unique<MsxmlElement>(std::move(element));
}

void MsxmlDocument::AppendChild(XmlElement& child) {
    ComPtr<IXMLDOMNode> appended;
    Check(document_->appendChild(static_cast<MsxmlElement&>(child).get(), &appended), L"appendChild");
}

std::wstring MsxmlDocument::Xml() {
    Bstr xml;
    Check(document_->get_xml(xml.out()), L"get_xml");
    return xml.text();
}

XmlParseError MsxmlDocument::LoadXml(const std::wstring& text) {
    // Not every MSXML honours ProhibitDTD (Wine's accepts it and parses on): a declaration never reaches the
    // parser. An empty text is loaded instead, so the previous document is gone as after any failed load.
    const bool refused = HasDocumentType(text);
    Check(document_->put_async(VARIANT_TRUE), L"put_async");
    RefuseDocumentTypes(document_.Get());
    const Bstr source = RequiredBstr(refused ? std::wstring() : text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT loadResult = document_->loadXML(source.get(), &loaded);
    if (FAILED(loadResult)) Check(loadResult, L"loadXML");

    const DWORD start = GetTickCount();
    for (;;) {
        LONG state = 0;
        Check(document_->get_readyState(&state), L"get_readyState");
        if (state == 4) break;
        if (GetTickCount() - start > kLoadWaitLimitMs) {
            XmlParseError timeout;
            timeout.code = static_cast<long>(E_FAIL);
            timeout.reason = L"The response document did not finish loading.\r\n";
            return timeout;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        DispatchQueuedMessages();
    }
    DispatchQueuedMessages();

    XmlParseError result;
    if (refused) {
        result.code = static_cast<long>(0xC00CE5FFu);
        result.reason = L"A document type declaration is not accepted in a reply.\r\n";
        return result;
    }
    ComPtr<IXMLDOMParseError> error;
    Check(document_->get_parseError(&error), L"get_parseError");
    LONG code = 0, line = 0, position = 0;
    error->get_errorCode(&code);
    result.code = code;
    if (code != 0) {
        Bstr reason, url;
        error->get_reason(reason.out());
        error->get_line(&line);
        error->get_linepos(&position);
        error->get_url(url.out());
        result.reason = reason.text();
        result.line = line;
        result.linePosition = position;
        result.url = url.text();
    }
    return result;
}

std::unique_ptr<XmlElement> MsxmlDocument::SelectSingleElement(const std::wstring& path) {
    const Bstr query = RequiredBstr(path);
    ComPtr<IXMLDOMNode> node;
    const HRESULT hr = document_->selectSingleNode(query.get(), &node);
    Check(hr, L"selectSingleNode");
    if (hr == S_FALSE || !node) return nullptr;
    ComPtr<IXMLDOMElement> element;
    if (FAILED(node.As(&element))) return nullptr;
    return std::make_unique<MsxmlElement>(std::move(element));
}

std::unique_ptr<ProtocolDocument> CreateProtocolDocument() {
    return std::make_unique<ProtocolDocument>(std::make_unique<MsxmlDocument>(), SystemAnsiCodePage());
}

}  // namespace qm
