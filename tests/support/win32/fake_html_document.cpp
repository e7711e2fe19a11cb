#include "support/win32/fake_html_document.h"

namespace qm::testing {
namespace {

using Microsoft::WRL::ComPtr;

// The long lists below are the interfaces' unused members, in declaration order.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"

// The COM plumbing of a stand-in that answers for one page interface (and IUnknown, IDispatch).
template <class Interface>
class FakePageObject : public Interface {
public:
    FakePageObject(std::shared_ptr<FakePageState> state, REFIID iid) : state_(std::move(state)), iid_(iid) {
        ++state_->liveObjects;
    }
    virtual ~FakePageObject() { --state_->liveObjects; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, iid_))
            return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

protected:
    std::shared_ptr<FakePageState> state_;

private:
    IID iid_;
    LONG refs_ = 1;
};

class FakeElement final : public FakePageObject<IHTMLElement> {
public:
    FakeElement(std::shared_ptr<FakePageState> state, FakeAttributes attributes)
        : FakeElement(std::move(state)) { attributes_ = std::move(attributes); }
    explicit FakeElement(std::shared_ptr<FakePageState> state) : FakePageObject(std::move(state), IID_IHTMLElement) {}

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
    HRESULT STDMETHODCALLTYPE setAttribute(BSTR strAttributeName, VARIANT AttributeValue, LONG lFlags) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE removeAttribute(BSTR strAttributeName, LONG lFlags, VARIANT_BOOL *pfSuccess) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_className(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_className(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_id(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_id(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_tagName(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_parentElement(IHTMLElement **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_style(IHTMLStyle **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onhelp(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onhelp(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onclick(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onclick(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondblclick(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondblclick(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onkeydown(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onkeydown(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onkeyup(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onkeyup(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onkeypress(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onkeypress(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmouseout(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmouseout(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmouseover(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmouseover(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmousemove(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmousemove(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmousedown(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmousedown(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmouseup(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmouseup(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_document(IDispatch **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_title(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_title(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_language(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_language(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onselectstart(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onselectstart(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE scrollIntoView(VARIANT varargStart) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE contains(IHTMLElement *pChild, VARIANT_BOOL *pfResult) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_sourceIndex(LONG *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_recordNumber(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_lang(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_lang(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_offsetLeft(LONG *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_offsetTop(LONG *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_offsetWidth(LONG *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_offsetHeight(LONG *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_offsetParent(IHTMLElement **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_innerHTML(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_innerHTML(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_innerText(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_innerText(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_outerHTML(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_outerHTML(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_outerText(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_outerText(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE insertAdjacentHTML(BSTR where, BSTR html) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE insertAdjacentText(BSTR where, BSTR text) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_parentTextEdit(IHTMLElement **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_isTextEdit(VARIANT_BOOL *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE click() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_filters(IHTMLFiltersCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondragstart(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondragstart(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE toString(BSTR *String) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onbeforeupdate(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onbeforeupdate(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onafterupdate(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onafterupdate(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onerrorupdate(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onerrorupdate(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onrowexit(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onrowexit(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onrowenter(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onrowenter(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondatasetchanged(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondatasetchanged(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondataavailable(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondataavailable(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondatasetcomplete(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondatasetcomplete(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onfilterchange(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onfilterchange(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_children(IDispatch **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_all(IDispatch **p) override { return E_NOTIMPL; }

private:
    FakeAttributes attributes_;
};

class FakeLocation final : public FakePageObject<IHTMLLocation> {
public:
    explicit FakeLocation(std::shared_ptr<FakePageState> state) : FakePageObject(std::move(state), IID_IHTMLLocation) {}

    HRESULT STDMETHODCALLTYPE get_href(BSTR* p) override {
        if (!p) return E_POINTER;
        ++state_->hrefReads;
        *p = SysAllocStringLen(state_->href.data(), static_cast<UINT>(state_->href.size()));
        return *p ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE put_href(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_protocol(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_protocol(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_host(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_host(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_hostname(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_hostname(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_port(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_port(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_pathname(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_pathname(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_search(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_search(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_hash(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_hash(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE reload(VARIANT_BOOL flag) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE replace(BSTR bstr) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE assign(BSTR bstr) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE toString(BSTR *string) override { return E_NOTIMPL; }
};

class FakeWindow final : public FakePageObject<IHTMLWindow2> {
public:
    explicit FakeWindow(std::shared_ptr<FakePageState> state) : FakePageObject(std::move(state), IID_IHTMLWindow2) {}

    HRESULT STDMETHODCALLTYPE get_location(IHTMLLocation** p) override {
        if (!p) return E_POINTER;
        *p = new FakeLocation(state_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE item(VARIANT *pvarIndex, VARIANT *pvarResult) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_length(LONG *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_frames(IHTMLFramesCollection2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_defaultStatus(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_defaultStatus(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_status(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_status(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE setTimeout(BSTR expression, LONG msec, VARIANT *language, LONG *timerID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE clearTimeout(LONG timerID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE alert(BSTR message) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE confirm(BSTR message, VARIANT_BOOL *confirmed) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE prompt(BSTR message, BSTR defstr, VARIANT *textdata) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Image(IHTMLImageElementFactory **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_history(IOmHistory **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE close() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_opener(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_opener(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_navigator(IOmNavigator **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_name(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_name(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_parent(IHTMLWindow2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE open(BSTR url, BSTR name, BSTR features, VARIANT_BOOL replace, IHTMLWindow2 **pomWindowResult) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_self(IHTMLWindow2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_top(IHTMLWindow2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_window(IHTMLWindow2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE navigate(BSTR url) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onfocus(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onfocus(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onblur(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onblur(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onload(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onload(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onbeforeunload(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onbeforeunload(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onunload(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onunload(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onhelp(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onhelp(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onerror(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onerror(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onresize(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onresize(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onscroll(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onscroll(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_document(IHTMLDocument2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_event(IHTMLEventObj **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE showModalDialog(BSTR dialog, VARIANT *varArgIn, VARIANT *varOptions, VARIANT *varArgOut) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE showHelp(BSTR helpURL, VARIANT helpArg, BSTR features) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_screen(IHTMLScreen **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Option(IHTMLOptionElementFactory **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE focus() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_closed(VARIANT_BOOL *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE blur() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE scroll(LONG x, LONG y) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_clientInformation(IOmNavigator **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE setInterval(BSTR expression, LONG msec, VARIANT *language, LONG *timerID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE clearInterval(LONG timerID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_offscreenBuffering(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_offscreenBuffering(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE execScript(BSTR code, BSTR language, VARIANT *pvarRet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE toString(BSTR *String) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE scrollBy(LONG x, LONG y) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE scrollTo(LONG x, LONG y) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE moveTo(LONG x, LONG y) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE moveBy(LONG x, LONG y) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE resizeTo(LONG x, LONG y) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE resizeBy(LONG x, LONG y) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_external(IDispatch **p) override { return E_NOTIMPL; }
};

class FakeDocument final : public IHTMLDocument2, public IHTMLDocument3, public IOleWindow {
public:
    explicit FakeDocument(std::shared_ptr<FakePageState> state) : state_(std::move(state)) {
        ++state_->liveObjects;
        window_ = CreateWindowExW(0, L"STATIC", L"Fake document", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        state_->window = window_;
    }
    ~FakeDocument() {
        if (window_) DestroyWindow(window_);
        --state_->liveObjects;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLDocument) ||
            IsEqualIID(riid, IID_IHTMLDocument2))
            *object = static_cast<IHTMLDocument2*>(this);
        else if (IsEqualIID(riid, IID_IHTMLDocument3))
            *object = static_cast<IHTMLDocument3*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow))
            *object = static_cast<IOleWindow*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
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
    HRESULT STDMETHODCALLTYPE get_all(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_body(IHTMLElement **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_activeElement(IHTMLElement **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_images(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_applets(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_links(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_forms(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_anchors(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_title(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_title(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_scripts(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_designMode(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_designMode(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_selection(IHTMLSelectionObject **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_readyState(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_frames(IHTMLFramesCollection2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_embeds(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_plugins(IHTMLElementCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_alinkColor(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_alinkColor(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_bgColor(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_bgColor(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_fgColor(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_fgColor(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_linkColor(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_linkColor(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_vlinkColor(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_vlinkColor(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_referrer(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_location(IHTMLLocation **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_lastModified(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_URL(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_URL(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_domain(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_domain(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_cookie(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_cookie(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_expando(VARIANT_BOOL v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_expando(VARIANT_BOOL *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_charset(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_charset(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_defaultCharset(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_defaultCharset(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_mimeType(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_fileSize(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_fileCreatedDate(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_fileModifiedDate(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_fileUpdatedDate(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_security(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_protocol(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_nameProp(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE write(SAFEARRAY *psarray) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE writeln(SAFEARRAY *psarray) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE open(BSTR url, VARIANT name, VARIANT features, VARIANT replace, IDispatch **pomWindowResult) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE close() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE clear() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE queryCommandSupported(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE queryCommandEnabled(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE queryCommandState(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE queryCommandIndeterm(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE queryCommandText(BSTR cmdID, BSTR *pcmdText) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE queryCommandValue(BSTR cmdID, VARIANT *pcmdValue) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE execCommand(BSTR cmdID, VARIANT_BOOL showUI, VARIANT value, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE execCommandShowHelp(BSTR cmdID, VARIANT_BOOL *pfRet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE createElement(BSTR eTag, IHTMLElement **newElem) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onhelp(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onhelp(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onclick(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onclick(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondblclick(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondblclick(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onkeyup(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onkeyup(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onkeydown(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onkeydown(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onkeypress(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onkeypress(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmouseup(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmouseup(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmousedown(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmousedown(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmousemove(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmousemove(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmouseout(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmouseout(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onmouseover(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onmouseover(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onreadystatechange(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onreadystatechange(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onafterupdate(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onafterupdate(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onrowexit(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onrowexit(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onrowenter(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onrowenter(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondragstart(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondragstart(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onselectstart(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onselectstart(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE elementFromPoint(LONG x, LONG y, IHTMLElement **elementHit) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_styleSheets(IHTMLStyleSheetsCollection **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onbeforeupdate(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onbeforeupdate(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onerrorupdate(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onerrorupdate(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE toString(BSTR *String) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE createStyleSheet(BSTR bstrHref, LONG lIndex, IHTMLStyleSheet **ppnewStyleSheet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE releaseCapture() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE recalc(VARIANT_BOOL fForce) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE createTextNode(BSTR text, IHTMLDOMNode **newTextNode) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_documentElement(IHTMLElement **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_uniqueID(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE attachEvent(BSTR event, IDispatch *pDisp, VARIANT_BOOL *pfResult) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE detachEvent(BSTR event, IDispatch *pDisp) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onrowsdelete(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onrowsdelete(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onrowsinserted(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onrowsinserted(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_oncellchange(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_oncellchange(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondatasetchanged(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondatasetchanged(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondataavailable(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondataavailable(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ondatasetcomplete(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ondatasetcomplete(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onpropertychange(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onpropertychange(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_dir(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_dir(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_oncontextmenu(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_oncontextmenu(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onstop(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onstop(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE createDocumentFragment(IHTMLDocument2 **pNewDoc) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_parentDocument(IHTMLDocument2 **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_enableDownload(VARIANT_BOOL v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_enableDownload(VARIANT_BOOL *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_baseUrl(BSTR v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_baseUrl(BSTR *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_childNodes(IDispatch **p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_inheritStyleSheets(VARIANT_BOOL v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_inheritStyleSheets(VARIANT_BOOL *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_onbeforeeditfocus(VARIANT v) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_onbeforeeditfocus(VARIANT *p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE getElementsByName(BSTR v, IHTMLElementCollection **pelColl) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR v, IHTMLElementCollection **pelColl) override { return E_NOTIMPL; }

private:
    std::shared_ptr<FakePageState> state_;
    LONG refs_ = 1;
    HWND window_ = nullptr;
};

#pragma GCC diagnostic pop

}  // namespace

ComPtr<IHTMLDocument2> MakeFakeHtmlDocument(std::shared_ptr<FakePageState> state) {
    // mingw's ComPtr::Attach adds a reference, so the new object's own one is handed over by hand.
    ComPtr<IHTMLDocument2> document;
    *document.ReleaseAndGetAddressOf() = static_cast<IHTMLDocument2*>(new FakeDocument(std::move(state)));
    return document;
}

}  // namespace qm::testing
