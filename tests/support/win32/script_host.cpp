#include "support/win32/script_host.h"

#include <oleauto.h>

#include <atomic>
#include <stdexcept>

#include "comkit/com_object.h"
#include "comkit/dom_stubs.h"

namespace qm::testing {

namespace {

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

ScriptHost::ScriptHost(const std::wstring& pageScript) {
    // The page's functions are added before the engine starts, as a browser adds a page's blocks.
    if (!host_.Run(pageScript)) throw std::runtime_error("the page script does not parse");
    host_.Connect();
}

ScriptHost::~ScriptHost() = default;

Microsoft::WRL::ComPtr<IHTMLDocument2> MakeScriptDocument(IDispatch* script) {
    // mingw's ComPtr::Attach adds a reference, so the new object starts at 0 and the constructor takes the first.
    return Microsoft::WRL::ComPtr<IHTMLDocument2>(new ScriptDocument(script));
}

long LiveScriptDocuments() { return liveDocuments; }

}  // namespace qm::testing
