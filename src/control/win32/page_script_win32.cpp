#include "control/win32/page_script_win32.h"

#include <mshtml.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "common/win32/owners.h"
#include "localfiles/win32/local_files_win32.h"

namespace qm {

namespace {

using Microsoft::WRL::ComPtr;

}  // namespace

TextArguments::TextArguments(const std::vector<std::wstring>& texts, AllocateText allocate, FreeText free)
    : values_(texts.size()), free_(free) {
    // Reverse order: the last variant is the function's first parameter.
    for (std::size_t i = 0; i < texts.size(); ++i) {
        VARIANT& v = values_[texts.size() - 1 - i];
        VariantInit(&v);
        BSTR text = allocate(texts[i].data(), static_cast<UINT>(texts[i].size()));
        if (!text) {
            // The destructor does not run for a constructor that throws: free what is made so far here.
            Clear();
            throw std::bad_alloc();
        }
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = text;
    }
}

void TextArguments::Clear() {
    for (auto& v : values_) {
        if (V_VT(&v) == VT_BSTR) free_(V_BSTR(&v));
        VariantInit(&v);
    }
}

DISPPARAMS TextArguments::Params() {
    DISPPARAMS params = {};
    params.rgvarg = values_.empty() ? nullptr : values_.data();
    params.cArgs = static_cast<UINT>(values_.size());
    return params;
}


bool InvokePageScript(const std::wstring& name, const std::vector<std::wstring>& arguments, VARIANT* result,
                      IUnknown* document, const ShowMessageFunction& showMessage) {
    if (name.empty()) return false;
    ComPtr<IHTMLDocument2> html;
    ComPtr<IDispatch> script;
    if (!document || FAILED(document->QueryInterface(__uuidof(IHTMLDocument2), reinterpret_cast<void**>(html.GetAddressOf()))) ||
        FAILED(html->get_Script(script.GetAddressOf())) || !script) {
        if (showMessage) showMessage(L"Cannot GetScript");
        return false;
    }

    std::vector<wchar_t> nameText(name.begin(), name.end());
    nameText.push_back(L'\0');
    LPOLESTR names[] = {nameText.data()};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) return false;

    TextArguments texts(arguments);
    DISPPARAMS params = texts.Params();
    Variant returned;
    ExcepInfo exception;
    UINT argumentError = static_cast<UINT>(-1);
    if (FAILED(script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, returned.get(), exception.get(),
                              &argumentError)))
        return false;

    if (result) {
        Variant copy;
        const HRESULT copied = VariantCopy(copy.get(), returned.get());
        if (FAILED(copied)) {
            copy.reset();
            V_VT(copy.get()) = VT_ERROR;
            V_ERROR(copy.get()) = copied;
        }
        copy.moveTo(result);
    }
    return true;
}

ScriptValue ToScriptValue(const VARIANT& value) {
    switch (V_VT(&value)) {
        case VT_EMPTY:
            return ScriptValue{};
        case VT_BSTR:
            return ScriptValue::Text(V_BSTR(&value) ? std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value)))
                                                    : std::wstring());
        case VT_BOOL:
            return ScriptValue::Boolean(V_BOOL(&value) != VARIANT_FALSE);
        default:
            return ScriptValue{ScriptValue::Kind::Other, std::wstring(), false};
    }
}

HtmlPageScripts::HtmlPageScripts(IUnknown* document, ShowMessageFunction showMessage)
    : document_(document), showMessage_(std::move(showMessage)) {}

std::optional<ScriptValue> HtmlPageScripts::CallPageFunction(const std::wstring& name,
                                                             const std::vector<std::wstring>& arguments) {
    Variant result;
    if (!InvokePageScript(name, arguments, result.get(), document_, showMessage_)) return std::nullopt;
    return ToScriptValue(*result);
}

std::function<void(ProgressDialog&)> PageScriptRequestHandler(IUnknown* document, ShowMessageFunction showMessage) {
    return [document, showMessage](ProgressDialog& dialog) {
        TransferJob& job = dialog.Job();
        try {
            HtmlPageScripts page(document, showMessage);
            HandleScriptRequest(job, page, LocalFileSystem());
        } catch (...) {
            // Nothing may escape into the dialog's message handling; a key that could not be had leaves the file out.
            if (job.PendingRequest == kGetPrimKeyRequest) job.ScriptResult = job.CurrentPrimKey = kSkipFileKey;
        }
    };
}

}  // namespace qm
