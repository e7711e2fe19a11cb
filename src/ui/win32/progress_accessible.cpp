#include "ui/win32/progress_accessible.h"

#include <commctrl.h>
#include <wrl/client.h>

#include <atomic>
#include <string>


namespace qm {

namespace {

using Microsoft::WRL::ComPtr;

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// Everything but the role and the value is the platform's object's.
class ProgressBarAccessible final : public IAccessible {
public:
    ProgressBarAccessible(HWND bar, ComPtr<IAccessible> inner) : bar_(bar), inner_(std::move(inner)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (!out) return E_POINTER;
        if (id == IID_IUnknown || id == IID_IDispatch || id == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        return inner_->QueryInterface(id, out);  // IOleWindow, IEnumVARIANT of the platform's object
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return inner_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(id, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
        return inner_->Invoke(member, id, locale, flags, parameters, result, exception, argument);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return inner_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return inner_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return inner_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return inner_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!value) return E_POINTER;
        *value = nullptr;
        if (!IsSelf(child)) return E_INVALIDARG;
        if (!IsWindow(bar_)) return E_FAIL;
        const int low = static_cast<int>(SendMessageW(bar_, PBM_GETRANGE, TRUE, 0));
        const int high = static_cast<int>(SendMessageW(bar_, PBM_GETRANGE, FALSE, 0));
        const int position = static_cast<int>(SendMessageW(bar_, PBM_GETPOS, 0, 0));
        const long long span = static_cast<long long>(high) - low;
        const long long percent = span > 0 ? (static_cast<long long>(position) - low) * 100 / span : 0;
        const std::wstring text = std::to_wstring(percent < 0 ? 0 : percent > 100 ? 100 : percent) + L"%";
        *value = SysAllocString(text.c_str());
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return inner_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        if (!IsSelf(child)) return inner_->get_accRole(child, role);
        VariantInit(role);
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_PROGRESSBAR;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return inner_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return inner_->get_accHelp(child, help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        return inner_->get_accKeyboardShortcut(child, keys);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return inner_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return inner_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return inner_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return inner_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        return inner_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return inner_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return inner_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return inner_->accDoDefaultAction(child); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return inner_->put_accName(child, name); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }  // read-only

private:
    ~ProgressBarAccessible() = default;
    HWND bar_;
    ComPtr<IAccessible> inner_;
    std::atomic<ULONG> references_{1};
};

}  // namespace

LRESULT AnswerProgressBarObject(HWND bar, WPARAM flags, LPARAM objectId) {
    if (static_cast<LONG>(objectId) != static_cast<LONG>(OBJID_CLIENT)) return 0;
    ComPtr<IAccessible> inner;
    if (FAILED(CreateStdAccessibleObject(bar, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(inner.GetAddressOf()))))
        return 0;
    ComPtr<IAccessible> object;
    object.Attach(new ProgressBarAccessible(bar, std::move(inner)));
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), flags, object.Get());
    return result > 0 ? result : 0;
}

}  // namespace qm
