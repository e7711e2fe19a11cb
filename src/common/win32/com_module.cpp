#include "common/win32/com_module.h"

#include <atomic>
#include <mutex>

#include <wrl/client.h>

#include "quillmark_h.h"

namespace qm {
namespace {

std::atomic<long> lockCount{0};

}  // namespace

void ModuleLock() { lockCount.fetch_add(1); }
void ModuleUnlock() { lockCount.fetch_sub(1); }
long ModuleLockCount() { return lockCount.load(); }

HRESULT FileDragDropTypeInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    // Kept for the life of the process, like a registered class's type information.
    static std::mutex mutex;
    static ITypeInfo* cached = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (!cached) {
        Microsoft::WRL::ComPtr<ITypeLib> library;
        HRESULT hr = LoadRegTypeLib(LIBID_QUILLMARKLib, 1, 0, LOCALE_NEUTRAL, &library);
        if (FAILED(hr)) return hr;
        hr = library->GetTypeInfoOfGuid(IID_IFileDragDrop, &cached);
        if (FAILED(hr)) return hr;
    }
    cached->AddRef();
    *info = cached;
    return S_OK;
}

}  // namespace qm
