#include "support/win32/script_host.h"

#include <oleauto.h>

#include <atomic>
#include <stdexcept>

#include "comkit/com_object.h"
#include "comkit/dom_stubs.h"

namespace qm::testing {

namespace {

// Wine's and Windows' JScript engine class.
const CLSID kJScriptClass = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};

std::atomic<long> liveDocuments{0};

// Scripts see no members of it: only the control's get_Script is served.
class ScriptDocument final : public comkit::ComObject<comkit::StubIHTMLDocument2, IDispatch, IHTMLDocument, IHTMLDocument2> {
public:
    explicit ScriptDocument(IDispatch* script) : script_(script) { ++liveDocuments; }
    ~ScriptDocument() { --liveDocuments; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_Script(IDispatch** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        if (!script_) return E_FAIL;
        script_->AddRef();
        *p = script_.Get();
        return S_OK;
    }

private:
    Microsoft::WRL::ComPtr<IDispatch> script_;
};

}  // namespace

class ScriptHost::Site final : public comkit::ComObject<IActiveScriptSite, IActiveScriptSite> {
public:
    Site() : ComObject(1) {}
    HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override {
        *lcid = LOCALE_USER_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR, DWORD, IUnknown**, ITypeInfo**) override {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError*) override {
        ++errors;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

    std::atomic<int> errors{0};

private:
};

ScriptHost::ScriptHost(const std::wstring& pageScript) {
    if (FAILED(CoCreateInstance(kJScriptClass, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                                reinterpret_cast<void**>(engine_.GetAddressOf()))))
        throw std::runtime_error("no JScript engine");
    if (FAILED(engine_.As(&parse_)) || FAILED(parse_->InitNew())) throw std::runtime_error("JScript InitNew failed");
    *site_.ReleaseAndGetAddressOf() = new Site;  // takes the new site's own reference
    if (FAILED(engine_->SetScriptSite(site_.Get()))) throw std::runtime_error("SetScriptSite failed");
    if (FAILED(parse_->ParseScriptText(pageScript.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE,
                                       nullptr, nullptr)))
        throw std::runtime_error("the page script does not parse");
    if (FAILED(engine_->SetScriptState(SCRIPTSTATE_CONNECTED))) throw std::runtime_error("SetScriptState failed");
    if (FAILED(engine_->GetScriptDispatch(nullptr, global_.GetAddressOf())) || !global_)
        throw std::runtime_error("GetScriptDispatch failed");
}

ScriptHost::~ScriptHost() {
    global_.Reset();
    if (engine_) engine_->Close();
    parse_.Reset();
    engine_.Reset();
    site_.Reset();
}

std::wstring ScriptHost::Evaluate(const std::wstring& expression) {
    VARIANT result;
    VariantInit(&result);
    std::wstring text;
    if (SUCCEEDED(parse_->ParseScriptText(expression.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                          SCRIPTTEXT_ISEXPRESSION, &result, nullptr)) &&
        SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR)) && V_BSTR(&result))
        text.assign(V_BSTR(&result), SysStringLen(V_BSTR(&result)));
    VariantClear(&result);
    return text;
}

int ScriptHost::ReportedErrors() const { return site_->errors; }

Microsoft::WRL::ComPtr<IHTMLDocument2> MakeScriptDocument(IDispatch* script) {
    // mingw's ComPtr::Attach adds a reference, so the new object starts at 0 and the constructor takes the first.
    return Microsoft::WRL::ComPtr<IHTMLDocument2>(new ScriptDocument(script));
}

long LiveScriptDocuments() { return liveDocuments; }

}  // namespace qm::testing
