#include "common/win32/module_instance.h"

namespace qm {

HINSTANCE ModuleInstance() {
    static HINSTANCE instance = [] {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
        return static_cast<HINSTANCE>(module);
    }();
    return instance;
}

}  // namespace qm
