#include "dragdrop/win32/page_drop_target.h"

#include <map>
#include <mutex>
#include <utility>

#include "common/win32/owners.h"
#include "control/win32/com_status.h"
#include "control/win32/drop_setup.h"
#include "control/win32/page_script_win32.h"
#include "dragdrop/drop_effect.h"
#include "dragdrop/win32/mail_client_win32.h"

namespace qm {

using Microsoft::WRL::ComPtr;

namespace {

// Full size of the descriptor's fixed part; the full user type name follows it.
constexpr SIZE_T kDescriptorFixedBytes = 52;
constexpr wchar_t kMailClientTypePrefix[] = L"Outlook";
constexpr SIZE_T kMailClientTypeChars = 7;

FORMATETC ShellFileFormat() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

bool DescriptorNamesMailClient(IDataObject* data, CLIPFORMAT format) {
    FORMATETC wanted = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    StgMedium medium;
    if (FAILED(data->GetData(&wanted, medium.get())) || medium.get()->tymed != TYMED_HGLOBAL) return false;
    const HGLOBAL memory = medium.get()->hGlobal;
    const SIZE_T size = GlobalSize(memory);
    // The name must lie wholly inside the block.
    if (size < kDescriptorFixedBytes + kMailClientTypeChars * sizeof(wchar_t)) return false;
    const auto* bytes = static_cast<const BYTE*>(GlobalLock(memory));
    if (!bytes) return false;
    wchar_t name[kMailClientTypeChars + 1] = {};
    memcpy(name, bytes + kDescriptorFixedBytes, kMailClientTypeChars * sizeof(wchar_t));
    GlobalUnlock(memory);
    return _wcsnicmp(name, kMailClientTypePrefix, kMailClientTypeChars) == 0;
}

std::mutex targetsLock;
std::map<HWND, ComPtr<PageDropTarget>>& Targets() {
    static std::map<HWND, ComPtr<PageDropTarget>> targets;
    return targets;
}

}  // namespace

bool IsMailClientData(IDataObject* data) {
    if (!data) return false;
    ComPtr<IEnumFORMATETC> formats;
    if (FAILED(data->EnumFormatEtc(DATADIR_GET, &formats)) || !formats) return false;
    FORMATETC format;
    ULONG fetched = 0;
    while (formats->Next(1, &format, &fetched) == S_OK && fetched == 1) {
        // The target device is the enumerator's gift to us; the question below asks for any device.
        const UniqueCoTaskMem<DVTARGETDEVICE> device(std::exchange(format.ptd, nullptr));
        if (data->QueryGetData(&format) != S_OK) continue;
        wchar_t name[257] = {};
        if (GetClipboardFormatNameW(format.cfFormat, name, 256) == 0) continue;
        if (wcscmp(name, L"Object Descriptor") != 0) continue;
        if (DescriptorNamesMailClient(data, format.cfFormat)) return true;
    }
    return false;
}

PageDropTarget::PageDropTarget(HWND window, MailClientFactory mailClient)
    : window_(window), mailClient_(std::move(mailClient)) {
    // Without the helper drops work the same, only without a drag image.
    CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&helper_));
}

void PageDropTarget::SetDocument(IUnknown* document) {
    ComPtr<IHTMLDocument2> page;
    if (document) document->QueryInterface(IID_PPV_ARGS(&page));
    document_ = page;
}

STDMETHODIMP PageDropTarget::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDropTarget)) return E_NOINTERFACE;
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) PageDropTarget::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) PageDropTarget::Release() {
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP PageDropTarget::DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) {
    try {
        if (!effect) return E_INVALIDARG;
        POINT at = {point.x, point.y};
        if (helper_) helper_->DragEnter(window_, data, &at, *effect);
        *effect = ChooseDropEffect(*effect, keyState);
        return S_OK;
    } catch (...) {
        return CaughtStatusQuiet();
    }
}

STDMETHODIMP PageDropTarget::DragOver(DWORD, POINTL point, DWORD* effect) {
    try {
        if (!effect) return E_INVALIDARG;
        POINT at = {point.x, point.y};
        if (helper_) helper_->DragOver(&at, *effect);
        return S_OK;
    } catch (...) {
        return CaughtStatusQuiet();
    }
}

STDMETHODIMP PageDropTarget::DragLeave() {
    try {
        if (helper_) helper_->DragLeave();
        return S_OK;
    } catch (...) {
        return CaughtStatusQuiet();
    }
}

STDMETHODIMP PageDropTarget::Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) {
    try {
        if (!effect || !data) return E_INVALIDARG;
        // The page function may let go of the control and its page while it runs.
        const ComPtr<PageDropTarget> keep(this);
        POINT at = {point.x, point.y};
        if (helper_) helper_->Drop(data, &at, *effect);
        FORMATETC files = ShellFileFormat();
        if (data->QueryGetData(&files) == S_OK) return DropShellFiles(data) ? S_OK : E_FAIL;
        if (IsMailClientData(data)) DropMail();
        return S_OK;
    } catch (...) {
        // Nothing reaches the platform's drag loop, and no box interrupts the drag.
        return CaughtStatusQuiet();
    }
}

bool PageDropTarget::DropShellFiles(IDataObject* data) {
    FORMATETC files = ShellFileFormat();
    StgMedium medium;
    if (FAILED(data->GetData(&files, medium.get())) || medium.get()->tymed != TYMED_HGLOBAL) return false;
    if (!RecordShellDrop(window_, static_cast<HDROP>(medium.get()->hGlobal))) return false;
    TellPage();
    return true;
}

void PageDropTarget::DropMail() {
    if (!mailClient_) return;
    const std::unique_ptr<MailClient> client = mailClient_();
    if (!client) return;
    const std::wstring folder = MailDropFolder();
    if (folder.empty()) return;
    std::optional<MailDropResult> saved;
    try {
        saved = SaveSelectedMail(*client, folder);
    } catch (...) {
        RemoveScratchFolder(folder);
        throw;
    }
    if (!saved) {
        RemoveScratchFolder(folder);
        return;
    }
    RecordDrop(window_, saved->files, folder);
    TellPage();
}

void PageDropTarget::TellPage() {
    const ComPtr<IHTMLDocument2> document = document_;
    if (!document) return;
    // Whatever goes wrong in the page's function is the page's own business.
    InvokePageScript(kDropPageFunction, {}, nullptr, document.Get(), [](const std::wstring&) {});
}

void SetUpPageDropTarget(HWND window, bool firstForWindow, IHTMLDocument2* document) {
    ComPtr<PageDropTarget> target;
    {
        const std::lock_guard<std::mutex> hold(targetsLock);
        auto& targets = Targets();
        if (firstForWindow) {
            RevokeDragDrop(window);
            // One target per window, each with its own page: a drop on one page must never call another's.
            ComPtr<PageDropTarget> created;
            *created.GetAddressOf() = new PageDropTarget(window, &MakeAutomationMailClient);
            if (SUCCEEDED(RegisterDragDrop(window, created.Get()))) targets[window] = created;
        }
        const auto found = targets.find(window);
        if (found != targets.end()) target = found->second;
    }
    if (target) target->SetDocument(document);
}

ComPtr<PageDropTarget> PageDropTargetOf(HWND window) {
    const std::lock_guard<std::mutex> hold(targetsLock);
    const auto found = Targets().find(window);
    return found == Targets().end() ? nullptr : found->second;
}

void ReleasePageDropTarget(HWND window) {
    ComPtr<PageDropTarget> target;
    {
        const std::lock_guard<std::mutex> hold(targetsLock);
        const auto found = Targets().find(window);
        if (found == Targets().end()) return;
        target = std::move(found->second);
        Targets().erase(found);
    }
    RevokeDragDrop(window);
    target->SetDocument(nullptr);
}

}  // namespace qm
