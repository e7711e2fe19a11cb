#include "module/win32/registration.h"

#include <comcat.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <vector>

#include "common/identity.h"
#include "common/win32/guids.h"
#include "common/win32/module_instance.h"
#include "common/win32/owners.h"
#include "module/registry_plan.h"
#include "quillmark_h.h"

namespace qm {

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kRegistryScriptId = 102;

std::wstring ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(ModuleInstance(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ShortPath(const std::wstring& path) {
    DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (length == 0) return path;
    std::vector<wchar_t> buffer(length);
    length = GetShortPathNameW(path.c_str(), buffer.data(), length);
    if (length == 0 || length >= buffer.size()) return path;
    return std::wstring(buffer.data(), length);
}

HRESULT RunRegistryScript(bool install) {
    ComPtr<IRegistrar> registrar;
    HRESULT hr = CoCreateInstance(QM_CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IRegistrar),
                                  reinterpret_cast<void**>(registrar.GetAddressOf()));
    if (FAILED(hr)) return hr;
    const std::wstring modulePath = ModulePath();
    hr = registrar->AddReplacement(L"MODULE", RegistrarModuleValue(ShortPath(modulePath)).c_str());
    if (FAILED(hr)) return hr;
    return install ? registrar->ResourceRegister(modulePath.c_str(), kRegistryScriptId, L"REGISTRY")
                   : registrar->ResourceUnregister(modulePath.c_str(), kRegistryScriptId, L"REGISTRY");
}

HRESULT UpdateCategories(bool install) {
    ComPtr<ICatRegister> categories;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&categories))))
        return S_OK;  // no manager: nothing to declare
    CATID ids[] = {QM_CATID_SafeForScripting, QM_CATID_SafeForInitializing};
    return install ? categories->RegisterClassImplCategories(CLSID_FileDragDrop, 2, ids)
                   : categories->UnRegisterClassImplCategories(CLSID_FileDragDrop, 2, ids);
}

HRESULT LoadModuleTypeLibrary(ComPtr<ITypeLib>& library, std::wstring& loadedFrom) {
    loadedFrom = ModulePath();
    HRESULT hr = LoadTypeLib(loadedFrom.c_str(), &library);
    if (SUCCEEDED(hr)) return hr;
    loadedFrom = TypeLibraryFileBeside(loadedFrom);
    return LoadTypeLib(loadedFrom.c_str(), &library);
}

}  // namespace

std::wstring HelpFolderOf(const std::wstring& path) {
    auto pos = path.find_last_of(L"\\/:");
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

std::wstring TypeLibraryFileBeside(const std::wstring& modulePath) {
    auto dot = modulePath.rfind(L'.');
    return (dot == std::wstring::npos ? modulePath : modulePath.substr(0, dot)) + L".tlb";
}

HRESULT RegisterModule() {
    const ComInitScope com;  // for the registrar and the categories manager, whatever the caller did
    HRESULT hr = RunRegistryScript(true);
    if (FAILED(hr)) return hr;
    hr = UpdateCategories(true);
    if (FAILED(hr)) return hr;

    ComPtr<ITypeLib> library;
    std::wstring path;
    hr = LoadModuleTypeLibrary(library, path);
    if (FAILED(hr)) return hr;
    std::wstring helpFolder = HelpFolderOf(path);
    hr = RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(path.c_str()),
                         helpFolder.empty() ? nullptr : const_cast<LPOLESTR>(helpFolder.c_str()));
    return FAILED(hr) ? hr : S_OK;
}

HRESULT UnregisterModule() {
    const ComInitScope com;  // for the registrar and the categories manager, whatever the caller did
    RunRegistryScript(false);
    UpdateCategories(false);
    // The registrar keeps a key that still has subkeys it does not know ("Implemented Categories"); the class
    // key goes whole.
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidFileDragDropText).c_str());

    ComPtr<ITypeLib> library;
    std::wstring path;
    if (FAILED(LoadModuleTypeLibrary(library, path))) return S_OK;
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes)) || !attributes) return S_OK;
    const TLIBATTR copy = *attributes;
    library->ReleaseTLibAttr(attributes);

    using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
    HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    if (!oleaut) return S_OK;
    auto unregister = reinterpret_cast<UnRegisterTypeLibFn>(
        reinterpret_cast<void*>(GetProcAddress(oleaut, "UnRegisterTypeLib")));
    if (unregister) unregister(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
    return S_OK;
}

}  // namespace qm
