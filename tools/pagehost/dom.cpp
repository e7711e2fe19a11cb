#include "dom.h"

#include <oleauto.h>

#include "common/win32/owners.h"
#include "record.h"

namespace qm::pagehost {

using Microsoft::WRL::ComPtr;

namespace {

BSTR Copy(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

template <class Object>
ComPtr<Object> Adopt(Object* created) {
    // The objects start at no reference; the first ComPtr takes it.
    return ComPtr<Object>(created);
}

class HostLocation final : public NamedDispatchObject<StubIHTMLLocation, IHTMLLocation> {
public:
    explicit HostLocation(std::wstring href) : href_(std::move(href)) {}
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const DispatchName table[] = {{L"href", DISPID_VALUE}, {L"toString", 1}};
        return LookUpNames(table, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != DISPID_VALUE && id != 1) return DISP_E_MEMBERNOTFOUND;
        ReturnText(result, href_);
        return S_OK;
    }
    STDMETHODIMP get_href(BSTR* p) override {
        if (!p) return E_POINTER;
        *p = Copy(href_);
        return *p ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP toString(BSTR* p) override { return get_href(p); }

private:
    std::wstring href_;
};

class HostWindow final : public NamedDispatchObject<StubIHTMLWindow2, IHTMLFramesCollection2, IHTMLWindow2> {
public:
    explicit HostWindow(std::wstring href) : location_(Adopt(new HostLocation(std::move(href)))) {}
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const DispatchName table[] = {{L"location", 1}};
        return LookUpNames(table, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id != 1) return DISP_E_MEMBERNOTFOUND;
        ReturnObject(result, location_.Get());
        return S_OK;
    }
    STDMETHODIMP get_location(IHTMLLocation** p) override {
        if (!p) return E_POINTER;
        *p = location_.Get();
        (*p)->AddRef();
        return S_OK;
    }

private:
    ComPtr<HostLocation> location_;
};

enum DocumentMember : DISPID { kGetElementById = 1, kUrl, kTitle, kParentWindow, kLocation };
enum ElementMember : DISPID { kGetAttribute = 1, kSetAttribute, kRemoveAttribute, kId, kTagName, kInnerText };

}  // namespace

// ---- document

HostDocument::HostDocument(std::shared_ptr<PageModel> model, HWND window, std::wstring href)
    : model_(std::move(model)), window_(window), href_(std::move(href)) {
    parentWindow_ = Adopt(new HostWindow(href_));
}

HostDocument::~HostDocument() = default;

void HostDocument::Detach() {
    script_.Reset();
    elements_.clear();
}

STDMETHODIMP HostDocument::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP HostDocument::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    static const DispatchName table[] = {{L"getElementById", kGetElementById}, {L"URL", kUrl}, {L"title", kTitle},
                                         {L"parentWindow", kParentWindow},     {L"location", kLocation}};
    return LookUpNames(table, names, count, ids);
}

STDMETHODIMP HostDocument::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                  UINT*) {
    switch (id) {
        case kGetElementById: {
            ComPtr<HostElement> element = Element(ArgumentText(params, 0));
            ReturnObject(result, element.Get());
            return S_OK;
        }
        case kUrl:
            ReturnText(result, href_);
            return S_OK;
        case kTitle:
            ReturnText(result, model_->title);
            return S_OK;
        case kParentWindow:
            ReturnObject(result, parentWindow_.Get());
            return S_OK;
        case kLocation: {
            ComPtr<IHTMLLocation> location;
            parentWindow_->get_location(&location);
            ReturnObject(result, location.Get());
            return S_OK;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

STDMETHODIMP HostDocument::get_Script(IDispatch** p) {
    if (!p) return E_POINTER;
    *p = script_.Get();
    if (!*p) return E_FAIL;
    (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP HostDocument::get_parentWindow(IHTMLWindow2** p) {
    if (!p) return E_POINTER;
    *p = parentWindow_.Get();
    (*p)->AddRef();
    return S_OK;
}

STDMETHODIMP HostDocument::get_URL(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Copy(href_);
    return S_OK;
}

STDMETHODIMP HostDocument::get_title(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Copy(model_->title);
    return S_OK;
}

ComPtr<HostElement> HostDocument::Element(const std::wstring& id) {
    auto cached = elements_.find(id);
    if (cached != elements_.end()) return cached->second;
    for (auto& element : model_->elements) {
        if (element->id == id) {
            ComPtr<HostElement> object = Adopt(new HostElement(element));
            elements_[id] = object;
            return object;
        }
    }
    return nullptr;
}

STDMETHODIMP HostDocument::getElementById(BSTR v, IHTMLElement** p) {
    if (!p) return E_POINTER;
    *p = nullptr;
    std::wstring id = v ? std::wstring(v, SysStringLen(v)) : std::wstring();
    ComPtr<HostElement> element = Element(id);
    TheRecord().Add(JsonObject().Text("kind", L"getElementById").Text("id", id).Bool("found", element != nullptr));
    if (element) *p = element.Detach();
    return S_OK;  // the browser answers S_OK with no element for an unknown id
}

STDMETHODIMP HostDocument::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

// ---- element

STDMETHODIMP HostElement::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    static const DispatchName table[] = {{L"getAttribute", kGetAttribute}, {L"setAttribute", kSetAttribute},
                                         {L"removeAttribute", kRemoveAttribute}, {L"id", kId},
                                         {L"tagName", kTagName},               {L"innerText", kInnerText}};
    return LookUpNames(table, names, count, ids);
}

STDMETHODIMP HostElement::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO*, UINT*) {
    switch (id) {
        case kGetAttribute: {
            const Bstr name(ArgumentText(params, 0));
            Variant value;
            const HRESULT hr = getAttribute(name.get(), ArgumentNumber(params, 1, 0), value.get());
            if (result) *result = value.release();
            return hr;
        }
        case kSetAttribute: {
            const VARIANT* value = Argument(params, 1);
            if (!value) return DISP_E_BADPARAMCOUNT;
            const Bstr name(ArgumentText(params, 0));
            return setAttribute(name.get(), *value, ArgumentNumber(params, 2, 1));
        }
        case kRemoveAttribute: {
            const Bstr name(ArgumentText(params, 0));
            VARIANT_BOOL removed = VARIANT_FALSE;
            const HRESULT hr = removeAttribute(name.get(), ArgumentNumber(params, 1, 1), &removed);
            ReturnBool(result, removed == VARIANT_TRUE);
            return hr;
        }
        case kId:
            ReturnText(result, element_->id);
            return S_OK;
        case kTagName:
            ReturnText(result, element_->tag);
            return S_OK;
        case kInnerText:
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
                element_->innerText = ArgumentText(params, 0);
                return S_OK;
            }
            ReturnText(result, element_->innerText);
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

std::pair<std::wstring, AttributeValue>* HostElement::Find(const std::wstring& name, bool exactCase) {
    for (auto& attribute : element_->attributes)
        if (exactCase ? attribute.first == name : _wcsicmp(attribute.first.c_str(), name.c_str()) == 0) return &attribute;
    return nullptr;
}

STDMETHODIMP HostElement::getAttribute(BSTR name, LONG flags, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    std::wstring attributeName = name ? std::wstring(name, SysStringLen(name)) : std::wstring();
    auto* attribute = Find(attributeName, (flags & 1) != 0);
    JsonObject event;
    event.Text("kind", L"getAttribute").Text("element", element_->id).Text("name", attributeName);
    if (!attribute) {
        value->vt = VT_NULL;
        event.Raw("value", "null");
    } else if (attribute->second.kind == AttributeValue::Kind::Text || (flags & 2)) {
        value->vt = VT_BSTR;
        value->bstrVal = Copy(attribute->second.text);
        event.Text("value", attribute->second.text);
    } else if (attribute->second.kind == AttributeValue::Kind::Integer && attribute->second.integer >= LONG_MIN &&
               attribute->second.integer <= LONG_MAX) {
        value->vt = VT_I4;
        value->lVal = static_cast<LONG>(attribute->second.integer);
        event.Raw("value", std::to_string(value->lVal));
    } else {
        value->vt = VT_R8;
        value->dblVal = attribute->second.kind == AttributeValue::Kind::Real
                            ? attribute->second.real
                            : static_cast<double>(attribute->second.integer);
        event.Raw("value", Utf8(attribute->second.text));
    }
    TheRecord().Add(event);
    return S_OK;
}

STDMETHODIMP HostElement::setAttribute(BSTR name, VARIANT value, LONG flags) {
    std::wstring attributeName = name ? std::wstring(name, SysStringLen(name)) : std::wstring();
    if (attributeName.empty()) return E_INVALIDARG;
    AttributeValue stored;
    Variant converted;
    if (value.vt == VT_I2 || value.vt == VT_I4 || value.vt == VT_INT || value.vt == VT_UI4 || value.vt == VT_UI2) {
        VariantChangeType(converted.get(), &value, 0, VT_I4);
        stored.kind = AttributeValue::Kind::Integer;
        stored.integer = converted->lVal;
        stored.text = std::to_wstring(converted->lVal);
    } else if (value.vt == VT_R8 || value.vt == VT_R4) {
        VariantChangeType(converted.get(), &value, 0, VT_R8);
        stored.kind = AttributeValue::Kind::Real;
        stored.real = converted->dblVal;
        VariantChangeType(converted.out(), &value, 0, VT_BSTR);
        if (converted->vt == VT_BSTR && converted->bstrVal) stored.text = converted->bstrVal;
    } else {
        if (FAILED(VariantChangeType(converted.get(), &value, 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
        if (converted->bstrVal) stored.text.assign(converted->bstrVal, SysStringLen(converted->bstrVal));
    }
    if (auto* attribute = Find(attributeName, (flags & 1) != 0))
        attribute->second = stored;
    else
        element_->attributes.emplace_back(attributeName, stored);
    return S_OK;
}

STDMETHODIMP HostElement::removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* removed) {
    std::wstring attributeName = name ? std::wstring(name, SysStringLen(name)) : std::wstring();
    auto* attribute = Find(attributeName, (flags & 1) != 0);
    if (attribute) element_->attributes.erase(element_->attributes.begin() + (attribute - element_->attributes.data()));
    if (removed) *removed = attribute ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP HostElement::get_id(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Copy(element_->id);
    return S_OK;
}

STDMETHODIMP HostElement::get_tagName(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Copy(element_->tag);
    return S_OK;
}

STDMETHODIMP HostElement::get_innerText(BSTR* p) {
    if (!p) return E_POINTER;
    *p = Copy(element_->innerText);
    return S_OK;
}

STDMETHODIMP HostElement::put_innerText(BSTR v) {
    element_->innerText = v ? std::wstring(v, SysStringLen(v)) : std::wstring();
    return S_OK;
}

// ---- script recorder

std::string VariantJson(const VARIANT& value) {
    const VARIANT* v = &value;
    while (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    switch (v->vt) {
        case VT_EMPTY:
        case VT_NULL:
            return "null";
        case VT_BSTR:
            return JsonString(v->bstrVal ? std::wstring(v->bstrVal, SysStringLen(v->bstrVal)) : std::wstring());
        case VT_BOOL:
            return v->boolVal ? "true" : "false";
        case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT:
        case VT_R4: case VT_R8: {
            Variant text;
            std::string out = "null";
            if (SUCCEEDED(VariantChangeTypeEx(text.get(), const_cast<VARIANT*>(v), MAKELCID(0x409, SORT_DEFAULT), 0,
                                              VT_BSTR)))
                out = Utf8(text->bstrVal);
            return out;
        }
        default:
            return "{\"vt\":" + std::to_string(v->vt) + "}";
    }
}

namespace {

class ScriptRecorder final : public ComObject<IDispatch, IDispatch> {
public:
    explicit ScriptRecorder(IDispatch* global) : global_(global) {}
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return global_->GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return global_->GetTypeInfo(index, lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        HRESULT hr = global_->GetIDsOfNames(iid, names, count, lcid, ids);
        std::wstring name = names && count && names[0] ? names[0] : L"";
        if (SUCCEEDED(hr) && count) names_[ids[0]] = name;
        if (FAILED(hr))
            TheRecord().Add(JsonObject().Text("kind", L"lookup").Text("name", name).Bool("found", false).Number("hr", hr));
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override {
        std::string arguments = "[";
        for (UINT i = 0; params && i < params->cArgs; ++i)
            arguments += (i ? "," : "") + VariantJson(*Argument(params, i));
        arguments += "]";
        auto name = names_.find(id);
        Variant local;
        VARIANT* out = result ? result : local.get();
        ++PageCallDepth();
        HRESULT hr = global_->Invoke(id, iid, lcid, flags, params, out, exception, argError);
        --PageCallDepth();
        JsonObject event;
        event.Text("kind", L"call").Text("function", name != names_.end() ? name->second : L"#" + std::to_wstring(id))
            .Raw("args", arguments).Number("hr", hr).Raw("result", SUCCEEDED(hr) ? VariantJson(*out) : "null");
        TheRecord().Add(event);
        return hr;
    }

private:
    ComPtr<IDispatch> global_;
    std::map<DISPID, std::wstring> names_;
};

}  // namespace

ComPtr<IDispatch> MakeScriptRecorder(IDispatch* global) { return ComPtr<IDispatch>(new ScriptRecorder(global)); }

}  // namespace qm::pagehost
