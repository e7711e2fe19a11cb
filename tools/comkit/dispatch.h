#pragma once
// Small pieces for the host's own scriptable objects: name tables for IDispatch and argument reading.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "common/win32/owners.h"

namespace qm::comkit {

struct DispatchName {
    const wchar_t* name;
    DISPID id;
};

// Names are matched without case, as the browser's objects do.
template <size_t N>
HRESULT LookUpNames(const DispatchName (&table)[N], LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (i > 0) {
            hr = DISP_E_UNKNOWNNAME;  // no named arguments
            continue;
        }
        for (auto& entry : table)
            if (_wcsicmp(entry.name, names[i]) == 0) ids[i] = entry.id;
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

// Argument `index` in call order (the block holds them reversed); missing arguments are absent.
inline const VARIANT* Argument(const DISPPARAMS* params, UINT index) {
    if (!params || index >= params->cArgs) return nullptr;
    const VARIANT* value = &params->rgvarg[params->cArgs - 1 - index];
    while (value->vt == (VT_BYREF | VT_VARIANT)) value = value->pvarVal;
    return value;
}

// The argument as text; empty when absent, null or not convertible.
inline std::wstring ArgumentText(const DISPPARAMS* params, UINT index) {
    const VARIANT* value = Argument(params, index);
    if (!value || value->vt == VT_EMPTY || value->vt == VT_NULL) return {};
    Variant text;
    std::wstring out;
    if (SUCCEEDED(VariantChangeType(text.get(), const_cast<VARIANT*>(value), 0, VT_BSTR)) && text->bstrVal)
        out.assign(text->bstrVal, SysStringLen(text->bstrVal));
    return out;
}

inline long ArgumentNumber(const DISPPARAMS* params, UINT index, long otherwise) {
    const VARIANT* value = Argument(params, index);
    if (!value || value->vt == VT_EMPTY || value->vt == VT_NULL) return otherwise;
    VARIANT number;
    VariantInit(&number);
    long out = otherwise;
    if (SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(value), 0, VT_I4))) out = number.lVal;
    return out;
}

inline void ReturnText(VARIANT* result, const std::wstring& text) {
    if (!result) return;
    VariantInit(result);
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

inline void ReturnNumber(VARIANT* result, long value) {
    if (!result) return;
    VariantInit(result);
    result->vt = VT_I4;
    result->lVal = value;
}

inline void ReturnBool(VARIANT* result, bool value) {
    if (!result) return;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

// Hands over a reference to object (may be null: then the result is null).
inline void ReturnObject(VARIANT* result, IDispatch* object) {
    if (!result) return;
    VariantInit(result);
    if (!object) {
        result->vt = VT_NULL;
        return;
    }
    object->AddRef();
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
}

// The parameter block of a call with text arguments (given in call order; the block holds them reversed). The
// texts are freed with it.
class TextParams {
public:
    explicit TextParams(const std::vector<std::wstring>& texts) : owned_(texts.size()) {
        for (size_t i = 0; i < texts.size(); ++i) {
            VARIANT* v = owned_[texts.size() - 1 - i].get();
            v->vt = VT_BSTR;
            v->bstrVal = Bstr(texts[i]).release();
        }
        for (auto& v : owned_) values_.push_back(*v);  // shallow: owned_ frees them
        params_ = {values_.data(), nullptr, static_cast<UINT>(values_.size()), 0};
    }
    TextParams(const TextParams&) = delete;
    TextParams& operator=(const TextParams&) = delete;
    DISPPARAMS* get() noexcept { return &params_; }

private:
    std::vector<Variant> owned_;
    std::vector<VARIANT> values_;
    DISPPARAMS params_;
};

// Calls the member `name` of object with the call's arguments from `first` on, each as text; the member's own
// status.
inline HRESULT CallWithTexts(IDispatch* object, const std::wstring& name, const DISPPARAMS* params, UINT first,
                             VARIANT* value) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    const UINT total = params ? params->cArgs : 0;
    const UINT count = total > first ? total - first : 0;
    std::vector<std::wstring> texts;
    for (UINT i = 0; i < count; ++i) texts.push_back(ArgumentText(params, first + i));
    TextParams call(texts);
    ExcepInfo exception;
    UINT argError = static_cast<UINT>(-1);
    return object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, call.get(), value, exception.get(), &argError);
}

}  // namespace qm::comkit
