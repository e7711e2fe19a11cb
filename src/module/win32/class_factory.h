#pragma once
// The class factory of FileDragDrop and the module's class table with its cached factory.
#include <windows.h>
#include <unknwn.h>

namespace qm {

class ClassFactory final : public IClassFactory {
public:
    ClassFactory();
    ~ClassFactory();

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    CRITICAL_SECTION lock_;
    ULONG refs_ = 0;
};

// DllGetClassObject's work: the cached factory of a known class asked for riid.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

// Releases the cached factory (module unload).
void ReleaseClassTable();

}  // namespace qm
