#include "hooks.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <map>
#include <mutex>

#include "record.h"

namespace qm::pagehost {

namespace {

// The system time as a page's Date gives it, so a page can tell how long it waited for a chooser.
long long UnixMilliseconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>((ticks - 116444736000000000ULL) / 10000ULL);
}

std::mutex hookMutex;
HWND documentWindow = nullptr;
std::map<HWND, Microsoft::WRL::ComPtr<IDropTarget>> dropTargets;  // referenced while registered

using MessageBoxFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
using DialogBoxParamFn = INT_PTR(WINAPI*)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
using DialogBoxIndirectParamFn = INT_PTR(WINAPI*)(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC, LPARAM);
using RegisterDragDropFn = HRESULT(WINAPI*)(HWND, IDropTarget*);
using FileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEW);
using BrowseFn = PIDLIST_ABSOLUTE(WINAPI*)(LPBROWSEINFOW);
bool reallyOpen = false;

std::wstring TemplateName(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) return std::to_wstring(reinterpret_cast<ULONG_PTR>(name));
    return name;
}

// Shell opens are recorded and, unless the run asks for it, not carried out: tests start no program.
HINSTANCE WINAPI HookShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder,
                                   INT show) {
    const DWORD attributes = file ? GetFileAttributesW(file) : INVALID_FILE_ATTRIBUTES;
    const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    TheRecord().Add(JsonObject().Text("kind", L"shellOpen").Text("file", file ? file : L"")
                        .Text("verb", verb ? verb : L"").Text("what", isFolder ? L"folder" : L"file")
                        .Text("owner", OwnerName(owner)).Number("show", show).Number("carriedOut", reallyOpen ? 1 : 0));
    if (reallyOpen) return ShellExecuteW(owner, verb, file, parameters, folder, show);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));  // above 32: success
}

int WINAPI HookMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    TheRecord().Add(JsonObject().Text("kind", L"messageBox").Text("caption", caption ? caption : L"")
                        .Text("text", text ? text : L"").Number("type", type).Text("owner", OwnerName(owner)));
    int result = MessageBoxW(owner, text, caption, type);
    TheRecord().Add(JsonObject().Text("kind", L"messageBoxEnd").Text("caption", caption ? caption : L"")
                        .Number("result", result));
    return result;
}

INT_PTR WINAPI HookDialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    TheRecord().Add(JsonObject().Text("kind", L"dialogStart").Text("template", TemplateName(name))
                        .Text("owner", OwnerName(owner)));
    INT_PTR result = DialogBoxParamW(instance, name, owner, proc, param);
    TheRecord().Add(JsonObject().Text("kind", L"dialogEnd").Text("template", TemplateName(name))
                        .Number("result", static_cast<long long>(result)));
    return result;
}

INT_PTR WINAPI HookDialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialog, HWND owner, DLGPROC proc,
                                           LPARAM param) {
    TheRecord().Add(JsonObject().Text("kind", L"dialogStart").Text("template", L"indirect").Text("owner", OwnerName(owner)));
    INT_PTR result = DialogBoxIndirectParamW(instance, dialog, owner, proc, param);
    TheRecord().Add(JsonObject().Text("kind", L"dialogEnd").Text("template", L"indirect")
                        .Number("result", static_cast<long long>(result)));
    return result;
}

HRESULT WINAPI HookRegisterDragDrop(HWND window, IDropTarget* target) {
    HRESULT hr = RegisterDragDrop(window, target);
    TheRecord().Add(JsonObject().Text("kind", L"registerDragDrop").Text("window", OwnerName(window)).Number("hr", hr));
    if (SUCCEEDED(hr) && target) {
        std::lock_guard<std::mutex> lock(hookMutex);
        dropTargets[window] = target;
    }
    return hr;
}

std::wstring ChosenFiles(const OPENFILENAMEW* ofn) {
    // A single path, or the folder and the names each ended by a zero.
    std::wstring text;
    if (!ofn->lpstrFile) return text;
    const wchar_t* p = ofn->lpstrFile;
    while (*p) {
        if (!text.empty()) text += L"|";
        text += p;
        p += wcslen(p) + 1;
    }
    return text;
}

BOOL RecordedChooser(FileNameFn real, const wchar_t* kind, LPOPENFILENAMEW ofn) {
    TheRecord().Add(JsonObject().Text("kind", L"chooserStart").Text("chooser", kind)
                        .Text("title", ofn && ofn->lpstrTitle ? ofn->lpstrTitle : L"").Number("flags", ofn ? ofn->Flags : 0)
                        .Text("owner", OwnerName(ofn ? ofn->hwndOwner : nullptr)));
    BOOL chosen = real(ofn);
    TheRecord().Add(JsonObject().Text("kind", L"chooserEnd").Text("chooser", kind).Bool("chosen", chosen != FALSE)
                        .Text("files", chosen ? ChosenFiles(ofn) : L"").Number("error", CommDlgExtendedError())
                        .Number("at", UnixMilliseconds()));
    return chosen;
}

BOOL WINAPI HookGetOpenFileNameW(LPOPENFILENAMEW ofn) { return RecordedChooser(GetOpenFileNameW, L"open", ofn); }
BOOL WINAPI HookGetSaveFileNameW(LPOPENFILENAMEW ofn) { return RecordedChooser(GetSaveFileNameW, L"save", ofn); }

PIDLIST_ABSOLUTE WINAPI HookSHBrowseForFolderW(LPBROWSEINFOW info) {
    TheRecord().Add(JsonObject().Text("kind", L"chooserStart").Text("chooser", L"folder")
                        .Text("title", info && info->lpszTitle ? info->lpszTitle : L"")
                        .Text("owner", OwnerName(info ? info->hwndOwner : nullptr)));
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(info);
    wchar_t path[MAX_PATH] = L"";
    if (item) SHGetPathFromIDListW(item, path);
    TheRecord().Add(JsonObject().Text("kind", L"chooserEnd").Text("chooser", L"folder").Bool("chosen", item != nullptr)
                        .Text("files", path).Number("at", UnixMilliseconds()));
    return item;
}

struct Redirect {
    const char* dll;
    const char* function;
    void* hook;
};

const Redirect kRedirects[] = {
    {"user32.dll", "MessageBoxW", reinterpret_cast<void*>(&HookMessageBoxW)},
    {"user32.dll", "DialogBoxParamW", reinterpret_cast<void*>(&HookDialogBoxParamW)},
    {"user32.dll", "DialogBoxIndirectParamW", reinterpret_cast<void*>(&HookDialogBoxIndirectParamW)},
    {"ole32.dll", "RegisterDragDrop", reinterpret_cast<void*>(&HookRegisterDragDrop)},
    {"comdlg32.dll", "GetOpenFileNameW", reinterpret_cast<void*>(&HookGetOpenFileNameW)},
    {"comdlg32.dll", "GetSaveFileNameW", reinterpret_cast<void*>(&HookGetSaveFileNameW)},
    {"shell32.dll", "SHBrowseForFolderW", reinterpret_cast<void*>(&HookSHBrowseForFolderW)},
    {"shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&HookShellExecuteW)},
};

}  // namespace

void SetReallyOpen(bool open) { reallyOpen = open; }

void SetDocumentWindow(HWND window) {
    std::lock_guard<std::mutex> lock(hookMutex);
    documentWindow = window;
}

HWND DocumentWindow() {
    std::lock_guard<std::mutex> lock(hookMutex);
    return documentWindow;
}

std::wstring OwnerName(HWND window) {
    if (!window) return L"none";
    if (window == DocumentWindow()) return L"document";
    wchar_t className[64] = L"", caption[256] = L"";
    GetClassNameW(window, className, 64);
    GetWindowTextW(window, caption, 256);
    return std::wstring(className) + L":" + caption;
}

int HookModule(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return 0;
    int redirected = 0;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); entry->Name; ++entry) {
        const char* dll = reinterpret_cast<const char*>(base + entry->Name);
        if (!entry->OriginalFirstThunk) continue;  // names are needed to know what each slot is
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const auto& redirect : kRedirects) {
                if (_stricmp(dll, redirect.dll) != 0 || strcmp(reinterpret_cast<const char*>(byName->Name), redirect.function) != 0)
                    continue;
                DWORD old = 0;
                if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old)) continue;
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(redirect.hook);
                VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
                ++redirected;
            }
        }
    }
    return redirected;
}

IDropTarget* RegisteredDropTarget(HWND window) {
    std::lock_guard<std::mutex> lock(hookMutex);
    auto found = dropTargets.find(window);
    return found == dropTargets.end() ? nullptr : found->second.Get();
}

}  // namespace qm::pagehost
