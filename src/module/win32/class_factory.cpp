#include "module/win32/class_factory.h"

#include <wrl/client.h>

#include <iterator>
#include <new>

#include "common/win32/com_module.h"
#include "control/win32/file_drag_drop.h"

namespace qm {
namespace {

using Microsoft::WRL::ComPtr;

constexpr ClassEntry kClasses[] = {
    {&CLSID_FileDragDrop, &FileDragDrop::Create},
};

// Each class's factory, made on first request; the table's reference is the one that does not lock the module.
ComPtr<IClassFactory> cachedFactories[std::size(kClasses)];

CriticalSection& FactoryCreationLock() {
    static CriticalSection section;
    return section;
}

}  // namespace

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

// The table's own reference does not lock the module; every outside reference does.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    const CriticalSection::Hold hold(lock_);
    ULONG refs = ++refs_;
    if (refs == 2) ModuleLock();
    return refs;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    ULONG refs;
    {
        const CriticalSection::Hold hold(lock_);
        refs = --refs_;
        if (refs == 1) ModuleUnlock();
    }
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    return create_(outer, riid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock) ModuleLock();
    else ModuleUnlock();
    return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (std::size_t i = 0; i < std::size(kClasses); ++i) {
        if (!IsEqualCLSID(clsid, *kClasses[i].clsid)) continue;
        ComPtr<IClassFactory> factory;
        {
            const CriticalSection::Hold hold(FactoryCreationLock());
            if (!cachedFactories[i]) {
                auto* made = new (std::nothrow) ClassFactory(kClasses[i].create);
                if (!made) return E_OUTOFMEMORY;
                cachedFactories[i] = made;  // the table's reference
            }
            factory = cachedFactories[i];
        }
        return factory->QueryInterface(riid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassTable() {
    for (auto& factory : cachedFactories) factory.Reset();
}

}  // namespace qm
