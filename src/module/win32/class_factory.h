#pragma once
// The module's class table: one row per creatable class with the function that makes an instance, and the
// class factory that serves a row.
#include <windows.h>
#include <unknwn.h>

#include "common/win32/owners.h"

namespace qm {

// Makes an object (aggregated when outer is given) and asks it for riid.
using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

struct ClassEntry {
    const CLSID* clsid;
    CreateFunction create;
};

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    const CreateFunction create_;
    CriticalSection lock_;
    ULONG refs_ = 0;
};

// DllGetClassObject's work: the cached factory of a class in the table, asked for riid.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

// Lets go of the cached factories (module unload).
void ReleaseClassTable();

}  // namespace qm
