#pragma once
// A page's script: Wine's (and Windows') JScript engine run through IActiveScript, with named items the script
// sees as globals. Its global dispatch is what a browser document's get_Script hands out. Apartment-bound: create
// and use it on one thread, with COM initialised there.
#include <windows.h>
#include <activscp.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "comkit/com_object.h"
#include "comkit/dispatch.h"
#include "common/win32/owners.h"

namespace qm::comkit {

// A script error as the engine reports it to its site.
struct ScriptError {
    std::wstring description;  // empty when the engine gave none
    ULONG line = 0;            // from 0
    LONG column = 0;           // from 0
    SCODE code = 0;
};

struct ScriptHostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class JScriptHost {
public:
    using NamedItems = std::vector<std::pair<std::wstring, Microsoft::WRL::ComPtr<IDispatch>>>;
    // Sees every error the engine reports; answers whether it counts in Errors().
    using ErrorObserver = std::function<bool(const ScriptError&)>;

    // Throws ScriptHostError when the engine cannot be had or will not take the items.
    explicit JScriptHost(NamedItems namedItems = {}, ErrorObserver observer = {}) {
        static const CLSID kJScriptClass = {
            0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
        if (FAILED(CoCreateInstance(kJScriptClass, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                    reinterpret_cast<void**>(engine_.GetAddressOf()))))
            throw ScriptHostError("no JScript engine");
        if (FAILED(engine_.As(&parse_)) || FAILED(parse_->InitNew())) throw ScriptHostError("JScript InitNew failed");
        std::vector<std::wstring> names;
        for (auto& item : namedItems) names.push_back(item.first);
        *site_.ReleaseAndGetAddressOf() = new Site(std::move(namedItems), std::move(observer));  // its own reference
        if (FAILED(engine_->SetScriptSite(site_.Get()))) throw ScriptHostError("SetScriptSite failed");
        for (auto& name : names)
            if (FAILED(engine_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE)))
                throw ScriptHostError("AddNamedItem failed for " + std::string(name.begin(), name.end()));
    }
    ~JScriptHost() { Close(); }
    JScriptHost(const JScriptHost&) = delete;
    JScriptHost& operator=(const JScriptHost&) = delete;

    // Adds and runs one script block (before Connect, the engine runs it when connected); false when it does not
    // parse or an error was reported meanwhile.
    bool Run(const std::wstring& text) {
        const int before = site_->errors;
        const HRESULT hr = parse_->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE,
                                                   nullptr, nullptr);
        return SUCCEEDED(hr) && site_->errors == before;
    }
    // Starts the engine and fetches the global dispatch.
    void Connect() {
        if (FAILED(engine_->SetScriptState(SCRIPTSTATE_CONNECTED))) throw ScriptHostError("SetScriptState failed");
        if (FAILED(engine_->GetScriptDispatch(nullptr, global_.GetAddressOf())) || !global_)
            throw ScriptHostError("GetScriptDispatch failed");
    }
    IDispatch* Global() const { return global_.Get(); }

    bool HasFunction(const std::wstring& function) const {
        if (!global_) return false;
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(function.c_str());
        return SUCCEEDED(global_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id));
    }
    // Calls a global function with text arguments (the first text is the first parameter): the call's status;
    // what it raised is in *exception when given.
    HRESULT Call(const std::wstring& function, const std::vector<std::wstring>& arguments, VARIANT* result,
                 ExcepInfo* exception = nullptr) {
        if (!global_) return E_UNEXPECTED;
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR name = const_cast<LPOLESTR>(function.c_str());
        HRESULT hr = global_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &id);
        if (FAILED(hr)) return hr;
        TextParams params(arguments);
        ExcepInfo ignored;
        UINT argError = static_cast<UINT>(-1);
        return global_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, params.get(), result,
                               exception ? exception->get() : ignored.get(), &argError);
    }
    // The value of a script expression as text (empty when it cannot be evaluated).
    std::wstring Evaluate(const std::wstring& expression) {
        Variant result;
        std::wstring text;
        if (SUCCEEDED(parse_->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                              SCRIPTTEXT_ISEXPRESSION, result.get(), nullptr)) &&
            SUCCEEDED(VariantChangeType(result.get(), result.get(), 0, VT_BSTR)) && V_BSTR(&*result))
            text.assign(V_BSTR(&*result), SysStringLen(V_BSTR(&*result)));
        return text;
    }
    // Errors reported so far that the observer counted (all of them without one).
    int Errors() const { return site_ ? static_cast<int>(site_->errors) : 0; }
    // The owner of boxes the script itself raises.
    void SetWindow(HWND window) {
        if (site_) site_->ownerWindow = window;
    }
    // Lets go of the engine (the named items with it); the host is unusable afterwards.
    void Close() {
        global_.Reset();
        if (engine_) engine_->Close();
        parse_.Reset();
        engine_.Reset();
        site_.Reset();
    }

private:
    class Site final : public ComObjectOn<Implements<IActiveScriptSite, IActiveScriptSiteWindow>,
                                           Via<IActiveScriptSite>, Via<IActiveScriptSiteWindow>> {
    public:
        Site(NamedItems items, ErrorObserver observer)
            : ComObjectOn(1), items_(std::move(items)), observer_(std::move(observer)) {}

        STDMETHODIMP GetLCID(LCID* lcid) override {
            if (!lcid) return E_POINTER;
            *lcid = LOCALE_USER_DEFAULT;
            return S_OK;
        }
        STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
            if (info) *info = nullptr;
            if (item) *item = nullptr;
            for (auto& [itemName, object] : items_) {
                if (!name || itemName != name) continue;
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
            ScriptError reported;
            if (error) {
                ExcepInfo info;
                DWORD context = 0;
                error->GetExceptionInfo(info.get());
                error->GetSourcePosition(&context, &reported.line, &reported.column);
                reported.description = info.description();
                reported.code = info->scode;
            }
            if (!observer_ || observer_(reported)) ++errors;
            return S_OK;
        }
        STDMETHODIMP OnEnterScript() override { return S_OK; }
        STDMETHODIMP OnLeaveScript() override { return S_OK; }
        // Boxes the script raises belong to the owner window.
        STDMETHODIMP GetWindow(HWND* window) override {
            if (!window) return E_POINTER;
            *window = ownerWindow;
            return S_OK;
        }
        STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

        std::atomic<int> errors{0};
        HWND ownerWindow = nullptr;

    private:
        ~Site() override = default;
        NamedItems items_;
        ErrorObserver observer_;
    };

    Microsoft::WRL::ComPtr<IActiveScript> engine_;
    Microsoft::WRL::ComPtr<IActiveScriptParse> parse_;
    Microsoft::WRL::ComPtr<IDispatch> global_;
    Microsoft::WRL::ComPtr<Site> site_;
};

}  // namespace qm::comkit
