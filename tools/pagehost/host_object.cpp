#include "host_object.h"

#include <mshtml.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>

#include "common/win32/owners.h"
#include "comkit/com_object.h"
#include "comkit/dispatch.h"
#include "drops.h"
#include "hooks.h"
#include "record.h"
#include "screenshot.h"

namespace qm::pagehost {

using namespace qm::comkit;

using Microsoft::WRL::ComPtr;

namespace {

enum Member : DISPID {
    kCreateObject = 1, kLog, kNote, kArg, kScreenshot, kDropFiles, kOleDropFiles, kOleDropMail, kOleDropText, kPump, kWaitForFinish,
    kFinish, kFail, kCallPage, kThreads, kMemory, kFreeUnusedLibraries
};

// The process's thread count, for runs that must not leave workers behind.
long ThreadCount() {
    const HANDLE opened = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (opened == INVALID_HANDLE_VALUE) return -1;
    const UniqueHandle snapshot(opened);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    long count = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    return count;
}

// The process's working set in KiB, for runs whose memory must stay flat (Wine leaves the private bytes 0).
long WorkingSetKib() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<long>(counters.WorkingSetSize / 1024);
}

std::vector<std::wstring> SplitPaths(const std::wstring& text) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : text + L"|") {
        if (c == L'|') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

class HostObject final : public NamedDispatchObject<IDispatch> {
public:
    explicit HostObject(HWND window) : window_(window) {}
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const DispatchName table[] = {
            {L"createObject", kCreateObject}, {L"log", kLog}, {L"note", kNote}, {L"arg", kArg},
            {L"screenshot", kScreenshot}, {L"dropFiles", kDropFiles}, {L"oleDropFiles", kOleDropFiles},
            {L"oleDropMail", kOleDropMail}, {L"oleDropText", kOleDropText}, {L"pump", kPump}, {L"waitForFinish", kWaitForFinish},
            {L"finish", kFinish}, {L"fail", kFail}, {L"callPage", kCallPage},
            {L"threads", kThreads}, {L"memory", kMemory}, {L"freeUnusedLibraries", kFreeUnusedLibraries}};
        return LookUpNames(table, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (result) VariantInit(result);
        switch (id) {
            case kCreateObject: return CreateObject(ArgumentText(params, 0), result);
            case kLog: {
                std::wstring text = ArgumentText(params, 0);
                TheRecord().Add(JsonObject().Text("kind", L"log").Text("text", text));
                TheRecord().Say(L"page: " + text);
                TheRun().pageLines.push_back(text);
                InvalidateRect(window_, nullptr, TRUE);
                return S_OK;
            }
            case kNote: {
                const VARIANT* value = Argument(params, 1);
                TheRecord().Add(JsonObject().Text("kind", L"note").Text("name", ArgumentText(params, 0))
                                    .Raw("value", value ? VariantJson(*value) : "null"));
                return S_OK;
            }
            case kArg: {
                auto found = TheRun().arguments.find(ArgumentText(params, 0));
                ReturnText(result, found == TheRun().arguments.end() ? L"" : found->second);
                return S_OK;
            }
            case kScreenshot:
                // The page's own lines must be on the screen first.
                UpdateWindow(window_);
                Pump(100, [] { return false; });
                ReturnBool(result, TakeShot(ArgumentText(params, 0)));
                return S_OK;
            case kDropFiles:
                ReturnBool(result, PostShellDrop(window_, SplitPaths(ArgumentText(params, 0))));
                return S_OK;
            case kOleDropFiles:
                HookControlModule();
                ReturnNumber(result, OleDrop(window_, DropKind::Files, SplitPaths(ArgumentText(params, 0))));
                return S_OK;
            case kOleDropMail: {
                HookControlModule();
                std::vector<std::wstring> payload;
                if (Argument(params, 0)) payload.push_back(ArgumentText(params, 0));
                ReturnNumber(result, OleDrop(window_, DropKind::MailItem, payload));
                return S_OK;
            }
            case kOleDropText:
                HookControlModule();
                ReturnNumber(result, OleDrop(window_, DropKind::Text, {ArgumentText(params, 0)}));
                return S_OK;
            case kPump:
                Pump(ArgumentNumber(params, 0, 0), [] { return TheRun().finished; });
                return S_OK;
            case kWaitForFinish:
                TheRun().waitForFinish = true;
                return S_OK;
            case kFinish:
                TheRun().finished = true;
                TheRun().finishCode = ArgumentNumber(params, 0, 0);
                TheRecord().Add(JsonObject().Text("kind", L"finish").Number("code", TheRun().finishCode));
                return S_OK;
            case kCallPage:
                return CallPage(params, result);
            case kThreads:
                ReturnNumber(result, ThreadCount());
                return S_OK;
            case kMemory:
                ReturnNumber(result, WorkingSetKib());
                return S_OK;
            case kFreeUnusedLibraries:
                // As a browser does now and then: modules that say they can go are unloaded at once.
                CoFreeUnusedLibrariesEx(0, 0);
                return S_OK;
            case kFail:
                TheRecord().Fail(L"page: " + ArgumentText(params, 0));
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

    void SetDocument(IHTMLDocument2* document) { document_ = document; }

private:
    // A page function called the way the control calls one: through the document's script object, by name,
    // with every argument as text.
    HRESULT CallPage(DISPPARAMS* params, VARIANT* result) {
        ComPtr<IDispatch> script;
        if (!document_ || FAILED(document_->get_Script(&script)) || !script) return E_FAIL;
        Variant value;
        if (FAILED(CallWithTexts(script.Get(), ArgumentText(params, 0), params, 1, value.get()))) {
            ReturnBool(result, false);
            return S_OK;
        }
        if (result) *result = value.release();
        return S_OK;
    }

    HRESULT CreateObject(const std::wstring& progId, VARIANT* result) {
        CLSID clsid;
        HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
        ComPtr<IDispatch> object;
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(object.GetAddressOf()));
        bool hooked = SUCCEEDED(hr) && HookControlModule(object.Get());
        TheRecord().Add(JsonObject().Text("kind", L"createObject").Text("progId", progId).Number("hr", hr)
                            .Bool("hooked", hooked));
        if (FAILED(hr)) {
            TheRecord().Say(L"cannot create " + progId + L" (hr " + std::to_wstring(hr) + L")");
            return hr;  // raises a script error the page can catch
        }
        ReturnObject(result, object.Get());
        return S_OK;
    }

    HWND window_;
    ComPtr<IHTMLDocument2> document_;
};

}  // namespace

RunState& TheRun() {
    static RunState state;
    return state;
}

void Pump(long ms, const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(ms < 0 ? 0 : ms);
    while (!done()) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            if (done()) return;
        }
        ULONGLONG now = GetTickCount64();
        if (ms >= 0 && now >= deadline) return;
        DWORD wait = ms < 0 ? 100 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 100));
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

namespace {

// An object's module from its first method's address: a registration by short path (as an installer's) loads the
// module under another name than Quillmark.dll.
HMODULE ModuleOf(IUnknown* object) {
    HMODULE module = nullptr;
    void* method = (*reinterpret_cast<void***>(object))[0];
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(method), &module))
        return nullptr;
    return module;
}

// The loaded module the control's class is registered with, by the path registration wrote.
HMODULE RegisteredControlModule() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Quillmark.FileDragDrop", &clsid))) return nullptr;
    wchar_t text[64] = L"";
    StringFromGUID2(clsid, text, 64);
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = L"";
    DWORD size = sizeof(path);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
        return nullptr;
    return GetModuleHandleW(path);
}

}  // namespace

bool HookControlModule(IUnknown* object) {
    static HMODULE hooked = nullptr;
    HMODULE module = object ? ModuleOf(object) : nullptr;
    if (!module) module = RegisteredControlModule();
    if (!module) module = GetModuleHandleW(L"Quillmark.dll");
    if (!module) return false;
    if (module == hooked) return true;
    int count = HookModule(module);
    hooked = module;
    TheRecord().Add(JsonObject().Text("kind", L"hooks").Number("redirected", count));
    return true;
}

ComPtr<IDispatch> MakeHostObject(HWND documentWindow, IHTMLDocument2* document) {
    auto* host = new HostObject(documentWindow);
    ComPtr<IDispatch> object(host);
    host->SetDocument(document);
    return object;
}

}  // namespace qm::pagehost
