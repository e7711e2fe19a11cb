#include "script_engine.h"

#include <oleauto.h>

#include <atomic>

#include "page.h"
#include "record.h"

namespace qm::pagehost {

using Microsoft::WRL::ComPtr;

namespace {
// Wine's and Windows' JScript engine class.
const CLSID kJScriptClass = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
}  // namespace

class ScriptEngine::Site final : public IActiveScriptSite, public IActiveScriptSiteWindow {
public:
    explicit Site(std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> items) : items_(std::move(items)) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IActiveScriptSite) {
            *out = static_cast<IActiveScriptSite*>(this);
        } else if (iid == IID_IActiveScriptSiteWindow) {
            *out = static_cast<IActiveScriptSiteWindow*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }
    STDMETHODIMP GetLCID(LCID* lcid) override {
        *lcid = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (info) *info = nullptr;
        if (item) *item = nullptr;
        for (auto& [itemName, object] : items_) {
            if (itemName != name) continue;
            if ((mask & SCRIPTINFO_IUNKNOWN) && item) {
                *item = object.Get();
                (*item)->AddRef();
            }
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override {
        const bool inPageCall = PageCallDepth() > 0;
        if (!inPageCall) ++errors;
        EXCEPINFO info = {};
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        if (error) {
            error->GetExceptionInfo(&info);
            error->GetSourcePosition(&context, &line, &column);
        }
        std::wstring description = info.bstrDescription ? info.bstrDescription : L"(no description)";
        TheRecord().Add(JsonObject().Text("kind", L"scriptError").Text("block", block).Text("description", description)
                            .Number("line", line + 1).Number("column", column + 1).Number("code", info.scode)
                            .Bool("inPageCall", inPageCall));
        TheRecord().Say(L"script error in " + block + L" line " + std::to_wstring(line + 1) + L": " + description);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        return S_OK;
    }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }
    // IActiveScriptSiteWindow: script-made boxes belong to the document window.
    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = ownerWindow;
        return S_OK;
    }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

    std::atomic<int> errors{0};
    std::wstring block = L"page";
    HWND ownerWindow = nullptr;

private:
    std::atomic<ULONG> refs_{1};
    std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> items_;
};

ScriptEngine::ScriptEngine(std::vector<std::pair<std::wstring, ComPtr<IDispatch>>> namedItems) {
    if (FAILED(CoCreateInstance(kJScriptClass, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                reinterpret_cast<void**>(engine_.GetAddressOf()))))
        throw HostError(L"no JScript engine");
    if (FAILED(engine_.As(&parse_)) || FAILED(parse_->InitNew())) throw HostError(L"JScript InitNew failed");
    std::vector<std::wstring> names;
    for (auto& item : namedItems) names.push_back(item.first);
    *site_.ReleaseAndGetAddressOf() = new Site(std::move(namedItems));  // takes the new site's own reference
    if (FAILED(engine_->SetScriptSite(site_.Get()))) throw HostError(L"SetScriptSite failed");
    for (auto& name : names)
        if (FAILED(engine_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE)))
            throw HostError(L"AddNamedItem failed for " + name);
}

ScriptEngine::~ScriptEngine() { Close(); }

void ScriptEngine::Close() {
    global_.Reset();
    if (engine_) engine_->Close();
    parse_.Reset();
    engine_.Reset();
    site_.Reset();
}

bool ScriptEngine::Run(const std::wstring& text, const std::wstring& blockName) {
    site_->block = blockName;
    int before = site_->errors;
    HRESULT hr = parse_->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr,
                                         nullptr);
    return SUCCEEDED(hr) && site_->errors == before;
}

void ScriptEngine::Connect() {
    if (FAILED(engine_->SetScriptState(SCRIPTSTATE_CONNECTED))) throw HostError(L"SetScriptState failed");
    if (FAILED(engine_->GetScriptDispatch(nullptr, global_.GetAddressOf())) || !global_)
        throw HostError(L"GetScriptDispatch failed");
}

bool ScriptEngine::HasFunction(const std::wstring& function) {
    if (!global_) return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(function.c_str());
    return SUCCEEDED(global_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id));
}

bool ScriptEngine::Call(const std::wstring& function, const std::vector<std::wstring>& arguments, VARIANT* result) {
    if (!global_) return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(function.c_str());
    if (FAILED(global_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id))) return false;
    std::vector<VARIANT> block(arguments.size());
    for (size_t i = 0; i < arguments.size(); ++i) {
        VARIANT& v = block[arguments.size() - 1 - i];
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(arguments[i].data(), static_cast<UINT>(arguments[i].size()));
    }
    DISPPARAMS params = {block.data(), nullptr, static_cast<UINT>(block.size()), 0};
    EXCEPINFO exception = {};
    UINT argError = static_cast<UINT>(-1);
    site_->block = L"call of " + function;
    HRESULT hr = global_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, &exception, &argError);
    for (auto& v : block) VariantClear(&v);
    if (FAILED(hr) && hr == DISP_E_EXCEPTION) {
        TheRecord().Add(JsonObject().Text("kind", L"scriptError").Text("block", site_->block)
                            .Text("description", exception.bstrDescription ? exception.bstrDescription : L"")
                            .Number("code", exception.scode));
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return SUCCEEDED(hr);
}

void ScriptEngine::SetWindow(HWND window) {
    if (site_) site_->ownerWindow = window;
}

int ScriptEngine::Errors() const { return site_ ? static_cast<int>(site_->errors) : 0; }

}  // namespace qm::pagehost
