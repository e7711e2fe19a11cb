#include "support/win32/fake_html_document.h"

#include "comkit/com_object.h"
#include "comkit/dom_stubs.h"

namespace qm::testing {
namespace {

using Microsoft::WRL::ComPtr;

// A stand-in that answers for one page interface (and IUnknown, IDispatch) on top of comkit's stubs, counted in
// the state while it lives. It is not scriptable: the control only calls the page interface on it.
template <class Stub, class Interface>
class FakePageObject : public comkit::ComObject<Stub, IDispatch, Interface> {
public:
    explicit FakePageObject(std::shared_ptr<FakePageState> state)
        : comkit::ComObject<Stub, IDispatch, Interface>(1), state_(std::move(state)) {
        ++state_->liveObjects;
    }
    ~FakePageObject() override { --state_->liveObjects; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

protected:
    std::shared_ptr<FakePageState> state_;
};

class FakeElement final : public FakePageObject<comkit::StubIHTMLElement, IHTMLElement> {
public:
    FakeElement(std::shared_ptr<FakePageState> state, FakeAttributes attributes)
        : FakePageObject(std::move(state)), attributes_(std::move(attributes)) {}

    // Text as a string; a number as VT_I4; an absent attribute as VT_NULL, as the browser gives them.
    HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, LONG, VARIANT* value) override {
        if (!value) return E_POINTER;
        VariantInit(value);
        auto found = attributes_.find(name ? std::wstring(name, SysStringLen(name)) : std::wstring());
        if (found == attributes_.end()) {
            value->vt = VT_NULL;
        } else if (auto* text = std::get_if<std::wstring>(&found->second)) {
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
        } else {
            value->vt = VT_I4;
            value->lVal = std::get<long>(found->second);
        }
        return S_OK;
    }

private:
    FakeAttributes attributes_;
};

class FakeLocation final : public FakePageObject<comkit::StubIHTMLLocation, IHTMLLocation> {
public:
    explicit FakeLocation(std::shared_ptr<FakePageState> state) : FakePageObject(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE get_href(BSTR* p) override {
        if (!p) return E_POINTER;
        ++state_->hrefReads;
        *p = SysAllocStringLen(state_->href.data(), static_cast<UINT>(state_->href.size()));
        return *p ? S_OK : E_OUTOFMEMORY;
    }
};

class FakeWindow final : public FakePageObject<comkit::StubIHTMLWindow2, IHTMLWindow2> {
public:
    explicit FakeWindow(std::shared_ptr<FakePageState> state) : FakePageObject(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE get_location(IHTMLLocation** p) override {
        if (!p) return E_POINTER;
        *p = new FakeLocation(state_);
        return S_OK;
    }
};

// The document, its third version and its window, each on its own base.
using FakeDocumentBase =
    comkit::ComObjectOn<comkit::Implements<comkit::StubIHTMLDocument2, comkit::StubIHTMLDocument3, IOleWindow>,
                        comkit::Via<IDispatch, comkit::StubIHTMLDocument2>,
                        comkit::Via<IHTMLDocument, comkit::StubIHTMLDocument2>,
                        comkit::Via<IHTMLDocument2, comkit::StubIHTMLDocument2>,
                        comkit::Via<IHTMLDocument3, comkit::StubIHTMLDocument3>, comkit::Via<IOleWindow>>;

class FakeDocument final : public FakeDocumentBase {
public:
    explicit FakeDocument(std::shared_ptr<FakePageState> state) : FakeDocumentBase(1), state_(std::move(state)) {
        ++state_->liveObjects;
        window_ = CreateWindowExW(0, L"STATIC", L"Fake document", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        state_->window = window_;
    }
    ~FakeDocument() {
        if (window_) DestroyWindow(window_);
        --state_->liveObjects;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE get_Script(IDispatch** p) override {
        if (!p) return E_POINTER;
        *p = state_->script.Get();
        if (!*p) return E_FAIL;
        (*p)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** p) override {
        if (!p) return E_POINTER;
        *p = new FakeWindow(state_);
        return S_OK;
    }
    // No element: S_OK with null, as the browser answers.
    HRESULT STDMETHODCALLTYPE getElementById(BSTR v, IHTMLElement** pel) override {
        if (!pel) return E_POINTER;
        *pel = nullptr;
        auto found = state_->elements.find(v ? std::wstring(v, SysStringLen(v)) : std::wstring());
        if (found != state_->elements.end()) *pel = new FakeElement(state_, found->second);
        return S_OK;
    }

private:
    std::shared_ptr<FakePageState> state_;
    HWND window_ = nullptr;
};

}  // namespace

ComPtr<IHTMLDocument2> MakeFakeHtmlDocument(std::shared_ptr<FakePageState> state) {
    // mingw's ComPtr::Attach adds a reference, so the new object's own one is handed over by hand.
    ComPtr<IHTMLDocument2> document;
    *document.ReleaseAndGetAddressOf() = static_cast<IHTMLDocument2*>(new FakeDocument(std::move(state)));
    return document;
}

}  // namespace qm::testing
