#include "module/win32/class_factory.h"

#include <new>

#include "common/win32/com_module.h"
#include "control/win32/file_drag_drop.h"

namespace qm {
namespace {

struct ClassEntry {
    const CLSID* clsid;
    IUnknown* cachedFactory;  // holds the table's one reference
};

ClassEntry classTable[] = {{&CLSID_FileDragDrop, nullptr}};

CRITICAL_SECTION& FactoryCreationLock() {
    static CRITICAL_SECTION section = [] {
        CRITICAL_SECTION s;
        InitializeCriticalSection(&s);
        return s;
    }();
    return section;
}

}  // namespace

ClassFactory::ClassFactory() { InitializeCriticalSection(&lock_); }
ClassFactory::~ClassFactory() { DeleteCriticalSection(&lock_); }

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
    EnterCriticalSection(&lock_);
    ULONG refs = ++refs_;
    if (refs == 2) ModuleLock();
    LeaveCriticalSection(&lock_);
    return refs;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    EnterCriticalSection(&lock_);
    ULONG refs = --refs_;
    if (refs == 1) ModuleUnlock();
    LeaveCriticalSection(&lock_);
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    return FileDragDrop::Create(outer, riid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock) ModuleLock();
    else ModuleUnlock();
    return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (auto& entry : classTable) {
        if (!IsEqualCLSID(clsid, *entry.clsid)) continue;
        if (!entry.cachedFactory) {
            EnterCriticalSection(&FactoryCreationLock());
            if (!entry.cachedFactory) {
                auto* factory = new (std::nothrow) ClassFactory();
                if (!factory) {
                    LeaveCriticalSection(&FactoryCreationLock());
                    return E_OUTOFMEMORY;
                }
                factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&entry.cachedFactory));
            }
            LeaveCriticalSection(&FactoryCreationLock());
        }
        return entry.cachedFactory->QueryInterface(riid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassTable() {
    for (auto& entry : classTable) {
        if (entry.cachedFactory) entry.cachedFactory->Release();
        entry.cachedFactory = nullptr;
    }
}

}  // namespace qm
