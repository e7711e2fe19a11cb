#pragma once
// The shipped DLL beside this test program, loaded into the test process, and registry reading helpers.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qm::testing {

inline std::wstring ProgramFolder() {
    std::vector<wchar_t> buffer(32768);
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// One loaded copy of the module and its exports.
struct ModuleExports {
    HMODULE module = nullptr;
    HRESULT(WINAPI* canUnloadNow)() = nullptr;
    HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* registerServer)() = nullptr;
    HRESULT(WINAPI* unregisterServer)() = nullptr;

    static ModuleExports Load(const std::wstring& path) {
        ModuleExports exports;
        exports.module = LoadLibraryW(path.c_str());
        if (!exports.module) return exports;
        auto get = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(exports.module, name)); };
        exports.canUnloadNow = reinterpret_cast<decltype(exports.canUnloadNow)>(get("DllCanUnloadNow"));
        exports.getClassObject = reinterpret_cast<decltype(exports.getClassObject)>(get("DllGetClassObject"));
        exports.registerServer = reinterpret_cast<decltype(exports.registerServer)>(get("DllRegisterServer"));
        exports.unregisterServer = reinterpret_cast<decltype(exports.unregisterServer)>(get("DllUnregisterServer"));
        return exports;
    }
    bool complete() const { return module && canUnloadNow && getClassObject && registerServer && unregisterServer; }
};

inline std::wstring ModulePath() { return ProgramFolder() + L"Quillmark.dll"; }

// The DLL beside the program, loaded once and kept for the life of the process.
inline const ModuleExports& Module() {
    static const ModuleExports exports = ModuleExports::Load(ModulePath());
    return exports;
}

// COM for the whole test program, on the main thread, apartment-threaded like a page.
class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
};
inline const bool kComEnvironmentAdded = (::testing::AddGlobalTestEnvironment(new ComEnvironment), true);

// Registers the DLL beside the program (once; the tests that unregister register it again).
inline void EnsureRegistered() {
    static HRESULT result = [] {
        const ModuleExports& exports = Module();
        return exports.complete() ? exports.registerServer() : E_FAIL;
    }();
    ASSERT_TRUE(Module().complete()) << "cannot load Quillmark.dll beside the test program";
    ASSERT_EQ(result, S_OK);
}

inline bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A string value under HKEY_CLASSES_ROOT (the default value when name is empty); nothing when absent.
inline std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name = {}) {
    DWORD type = 0, size = 0;
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), valueName, RRF_RT_ANY, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), valueName, RRF_RT_ANY, &type, buffer.data(), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ) return std::wstring(L"<not REG_SZ>");
    return std::wstring(buffer.data());
}

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace qm::testing
