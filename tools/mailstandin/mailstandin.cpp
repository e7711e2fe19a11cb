// The mail client stand-in: the members of its automation model that the control uses, answered by name.
#include <windows.h>
#include <ole2.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/win32/owners.h"

namespace {

// {6E3C5F0A-9B1D-4C7E-8A52-1F0D3B7C9E41}
const CLSID kStandInClsid = {0x6e3c5f0a, 0x9b1d, 0x4c7e, {0x8a, 0x52, 0x1f, 0x0d, 0x3b, 0x7c, 0x9e, 0x41}};
const wchar_t kClsidText[] = L"{6E3C5F0A-9B1D-4C7E-8A52-1F0D3B7C9E41}";
const wchar_t kProgId[] = L"Outlook.Application";
constexpr long kClassMail = 43;
constexpr long kClassContact = 40;

HINSTANCE module = nullptr;
std::atomic<long> liveObjects{0};

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[2048];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 2048);
    return length && length < 2048 ? std::wstring(buffer, length) : std::wstring();
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring Wide(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

void Log(const std::wstring& line) {
    const std::wstring path = Environment(L"QM_MAILSTANDIN_LOG");
    if (path.empty()) return;
    FILE* file = _wfopen(path.c_str(), L"ab");
    if (!file) return;
    const std::string bytes = Utf8(line) + "\n";
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

struct ItemScript {
    std::wstring subject;
    long itemClass = kClassMail;
    bool saveFails = false;
};

struct Script {
    std::vector<ItemScript> items;
    bool explorer = true;
    bool logon = true;
};

Script ReadScript() {
    Script script;
    const std::wstring path = Environment(L"QM_MAILSTANDIN");
    if (path.empty()) return script;
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return script;
    std::string bytes;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    fclose(file);
    const std::wstring text = Wide(bytes);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty() || line[0] == L'#') continue;
        const size_t space = line.find(L' ');
        const std::wstring word = line.substr(0, space);
        const std::wstring rest = space == std::wstring::npos ? std::wstring() : line.substr(space + 1);
        if (word == L"mail") script.items.push_back({rest, kClassMail, false});
        else if (word == L"other") script.items.push_back({rest, kClassContact, false});
        else if (word == L"savefail") script.items.push_back({rest, kClassMail, true});
        else if (word == L"noexplorer") script.explorer = false;
        else if (word == L"logonfail") script.logon = false;
    }
    return script;
}

// A dispatch object whose members are named handlers: (arguments in natural order, result) -> status.
class NamedDispatch final : public IDispatch {
public:
    using Handler = std::function<HRESULT(const std::vector<VARIANT>& arguments, VARIANT* result)>;
    struct Member {
        const wchar_t* name;
        Handler handler;
    };
    explicit NamedDispatch(std::vector<Member> members) : members_(std::move(members)) { ++liveObjects; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const long left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        for (size_t i = 0; i < members_.size(); ++i)
            if (_wcsicmp(members_[i].name, names[0]) == 0) ids[0] = static_cast<DISPID>(i + 1);
        if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        if (count > 1) hr = DISP_E_UNKNOWNNAME;
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id < 1 || static_cast<size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
        std::vector<VARIANT> arguments;
        if (params)
            for (UINT i = params->cArgs; i > 0; --i) arguments.push_back(params->rgvarg[i - 1]);
        qm::Variant ignored;
        return members_[static_cast<size_t>(id - 1)].handler(arguments, result ? result : ignored.get());
    }

private:
    ~NamedDispatch() { --liveObjects; }
    std::atomic<long> refs_{1};
    std::vector<Member> members_;
};

HRESULT ReturnObject(VARIANT* result, IDispatch* object) {
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;  // the new object's one reference goes to the caller
    return S_OK;
}

HRESULT ReturnText(VARIANT* result, const std::wstring& text) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return V_BSTR(result) ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnNumber(VARIANT* result, long number) {
    V_VT(result) = VT_I4;
    V_I4(result) = number;
    return S_OK;
}

IDispatch* MakeItem(const ItemScript& item, long index) {
    return new NamedDispatch({
        {L"Class", [item](auto&, VARIANT* r) { return ReturnNumber(r, item.itemClass); }},
        {L"Subject", [item](auto&, VARIANT* r) { return ReturnText(r, item.subject); }},
        {L"SaveAs",
         [item, index](const std::vector<VARIANT>& arguments, VARIANT*) -> HRESULT {
             if (arguments.empty() || V_VT(&arguments[0]) != VT_BSTR || !V_BSTR(&arguments[0])) return DISP_E_TYPEMISMATCH;
             const std::wstring path(V_BSTR(&arguments[0]), SysStringLen(V_BSTR(&arguments[0])));
             Log(L"saveas " + std::to_wstring(index) + L" " + path);
             if (item.saveFails) return E_FAIL;
             FILE* file = _wfopen(path.c_str(), L"wb");
             if (!file) return STG_E_ACCESSDENIED;
             const std::string bytes = Utf8(L"mail item " + std::to_wstring(index) + L": " + item.subject);
             fwrite(bytes.data(), 1, bytes.size(), file);
             fclose(file);
             return S_OK;
         }},
    });
}

Microsoft::WRL::ComPtr<IDispatch> Adopt(IDispatch* made) {
    Microsoft::WRL::ComPtr<IDispatch> held;
    held.Attach(made);
    return held;
}

IDispatch* MakeApplication() {
    const Script script = ReadScript();
    Log(L"create");
    return new NamedDispatch({
        {L"GetNamespace",
         [script](const std::vector<VARIANT>& arguments, VARIANT* r) -> HRESULT {
             if (arguments.size() != 1 || V_VT(&arguments[0]) != VT_BSTR) return DISP_E_BADPARAMCOUNT;
             const std::wstring type(V_BSTR(&arguments[0]), SysStringLen(V_BSTR(&arguments[0])));
             Log(L"namespace " + type);
             if (type != L"MAPI") return E_INVALIDARG;
             return ReturnObject(r, new NamedDispatch({
                 {L"Logon", [script](auto&, VARIANT*) -> HRESULT {
                      Log(L"logon");
                      return script.logon ? S_OK : E_FAIL;
                  }},
             }));
         }},
        {L"ActiveExplorer",
         [script](auto&, VARIANT* r) -> HRESULT {
             Log(L"explorer");
             if (!script.explorer) {
                 V_VT(r) = VT_DISPATCH;
                 V_DISPATCH(r) = nullptr;
                 return S_OK;
             }
             return ReturnObject(r, new NamedDispatch({
                 {L"Selection", [script](auto&, VARIANT* r2) {
                      return ReturnObject(r2, new NamedDispatch({
                          {L"Count", [script](auto&, VARIANT* r3) {
                               return ReturnNumber(r3, static_cast<long>(script.items.size()));
                           }},
                          {L"Item", [script](const std::vector<VARIANT>& arguments, VARIANT* r3) -> HRESULT {
                               VARIANT index;
                               VariantInit(&index);
                               if (arguments.size() != 1 || FAILED(VariantChangeType(&index, const_cast<VARIANT*>(&arguments[0]), 0, VT_I4)))
                                   return DISP_E_TYPEMISMATCH;
                               const long i = V_I4(&index);
                               if (i < 1 || i > static_cast<long>(script.items.size())) return DISP_E_BADINDEX;
                               return ReturnObject(r3, MakeItem(script.items[static_cast<size_t>(i - 1)], i));
                           }},
                      }));
                  }},
             }));
         }},
    });
}

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        // The new object's own reference is handed to the holder, which lets go of it after the query.
        const Microsoft::WRL::ComPtr<IDispatch> application = Adopt(MakeApplication());
        return application->QueryInterface(riid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory factory;

bool SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    qm::UniqueHkey handle;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, handle.put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return status == ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, kStandInClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, object);
}

HRESULT WINAPI DllCanUnloadNow() { return liveObjects == 0 ? S_OK : S_FALSE; }

HRESULT WINAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (!length || length >= MAX_PATH) return E_FAIL;
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    const bool ok = SetKey(clsidKey, nullptr, L"Mail client stand-in") &&
                    SetKey(clsidKey + L"\\InprocServer32", nullptr, path) &&
                    SetKey(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                    SetKey(clsidKey + L"\\ProgID", nullptr, kProgId) && SetKey(kProgId, nullptr, L"Mail client stand-in") &&
                    SetKey(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
    return ok ? S_OK : E_FAIL;
}

HRESULT WINAPI DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    return S_OK;
}

}
