#pragma once
// The browser's document object model pieces the control uses, over the parsed page. Members the control never
// calls answer E_NOTIMPL (comkit/dom_stubs.h); the objects' IDispatch serves the page's script by name.
#include <windows.h>
#include <mshtml.h>
#include <wrl/client.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "comkit/com_object.h"
#include "comkit/dispatch.h"
#include "comkit/dom_stubs.h"
#include "page.h"

namespace qm::pagehost {

using namespace qm::comkit;

class HostElement;

using HostDocumentBase = ComObjectOn<Implements<StubIHTMLDocument2, StubIHTMLDocument3, IOleWindow>,
                                     Via<IDispatch, StubIHTMLDocument2>, Via<IHTMLDocument, StubIHTMLDocument2>,
                                     Via<IHTMLDocument2, StubIHTMLDocument2>, Via<IHTMLDocument3, StubIHTMLDocument3>,
                                     Via<IOleWindow>>;

class HostDocument final : public HostDocumentBase {
public:
    // Starts with no reference; wrap it in a ComPtr at once.
    HostDocument(std::shared_ptr<PageModel> model, HWND window, std::wstring href);
    ~HostDocument();

    // What get_Script hands out (the script recorder over the engine's global dispatch).
    void SetScript(IDispatch* script) { script_ = script; }
    // Drops every reference the document holds, so the engine can be closed.
    void Detach();
    HWND Window() const { return window_; }
    const std::wstring& Href() const { return href_; }
    // The element object of the first element with this id (the same object each time), or null.
    Microsoft::WRL::ComPtr<HostElement> Element(const std::wstring& id);

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

    // IHTMLDocument2
    STDMETHODIMP get_Script(IDispatch** p) override;
    STDMETHODIMP get_parentWindow(IHTMLWindow2** p) override;
    STDMETHODIMP get_URL(BSTR* p) override;
    STDMETHODIMP get_title(BSTR* p) override;
    // IHTMLDocument3
    STDMETHODIMP getElementById(BSTR v, IHTMLElement** p) override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    std::shared_ptr<PageModel> model_;
    HWND window_;
    std::wstring href_;
    Microsoft::WRL::ComPtr<IDispatch> script_;
    Microsoft::WRL::ComPtr<IHTMLWindow2> parentWindow_;
    std::map<std::wstring, Microsoft::WRL::ComPtr<HostElement>> elements_;
};

class HostElement final : public NamedDispatchObject<StubIHTMLElement, IHTMLElement> {
public:
    explicit HostElement(std::shared_ptr<PageElement> element) : element_(std::move(element)) {}

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

    // Flags as the browser reads them: bit 0 asks for an exact-case name, bit 1 for the value as text. Text gives
    // VT_BSTR, a number attribute VT_I4 (VT_R8 when not whole), an absent one VT_NULL.
    STDMETHODIMP getAttribute(BSTR name, LONG flags, VARIANT* value) override;
    STDMETHODIMP setAttribute(BSTR name, VARIANT value, LONG flags) override;
    STDMETHODIMP removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* removed) override;
    STDMETHODIMP get_id(BSTR* p) override;
    STDMETHODIMP get_tagName(BSTR* p) override;
    STDMETHODIMP get_innerText(BSTR* p) override;
    STDMETHODIMP put_innerText(BSTR v) override;

private:
    std::pair<std::wstring, AttributeValue>* Find(const std::wstring& name, bool exactCase);
    std::shared_ptr<PageElement> element_;
};

// Wraps the engine's global dispatch so that every page-function call the control makes is recorded with its
// arguments and result; the calls themselves go to the real script functions.
Microsoft::WRL::ComPtr<IDispatch> MakeScriptRecorder(IDispatch* global);

}  // namespace qm::pagehost
