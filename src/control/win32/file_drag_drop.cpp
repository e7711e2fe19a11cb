#include "control/win32/file_drag_drop.h"

#include <atomic>
#include <new>
#include <optional>

#include "common/errors.h"
#include "common/identity.h"
#include "common/win32/com_module.h"
#include "control/win32/com_status.h"
#include "control/win32/drop_setup.h"
#include "control/operation_gate.h"
#include "control/win32/html_page.h"
#include "control/site_lock.h"
#include "localfiles/win32/local_files_win32.h"
#include "control/win32/site_lock_win32.h"
#include "protocol/server_location.h"
#include "ui/dialogs.h"
#include "ui/win32/dialogs_win32.h"

namespace qm {

using Microsoft::WRL::ComPtr;

namespace {

// The server of the page's own address. An address that cannot be used is told to the user and Init goes on:
// the document is bound either way.
std::optional<ServerLocation> LocationOfPage(IHTMLDocument2* document) {
    try {
        return ParsePageLocation(PageAddress(document));
    } catch (const Error& error) {
        ShowMessage(PlatformDialogs(), error.text());
        return std::nullopt;
    }
}

}  // namespace

FileDragDrop::FileDragDrop(IUnknown* outer) : outer_(outer ? outer : &inner_) {
    inner_.self = this;
    ModuleLock();
}

FileDragDrop::~FileDragDrop() {
    try {
        ReleaseDropHandling(documentWindow_, this);
    } catch (...) {
        // nothing may leave a destructor
    }
    ModuleUnlock();
}

HRESULT FileDragDrop::Create(IUnknown* outer, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    auto* created = new (std::nothrow) FileDragDrop(outer);
    if (!created) return E_OUTOFMEMORY;
    // An outer object gets the inner unknown; otherwise the object answers for itself.
    // Held while the interface is asked for, so that a failed query frees the object.
    const ComPtr<IUnknown> holder(static_cast<IUnknown*>(&created->inner_));
    return holder->QueryInterface(riid, object);
}

STDMETHODIMP FileDragDrop::Inner::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *object = static_cast<IUnknown*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IFileDragDrop)) {
        *object = static_cast<IFileDragDrop*>(self);
    } else if (IsEqualIID(riid, IID_IObjectSafety)) {
        *object = static_cast<IObjectSafety*>(self);
    } else {
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) FileDragDrop::Inner::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&self->refs_)); }

STDMETHODIMP_(ULONG) FileDragDrop::Inner::Release() {
    LONG refs = InterlockedDecrement(&self->refs_);
    if (refs == 0) delete self;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP FileDragDrop::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP FileDragDrop::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return FileDragDropTypeInfo(info);
}

STDMETHODIMP FileDragDrop::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    HRESULT hr = FileDragDropTypeInfo(&info);
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
}

STDMETHODIMP FileDragDrop::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argError) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    HRESULT hr = FileDragDropTypeInfo(&info);
    if (FAILED(hr)) return hr;
    return info->Invoke(static_cast<IFileDragDrop*>(this), id, flags, params, result, exception, argError);
}

STDMETHODIMP FileDragDrop::Init(IUnknown* pUnkDocument) {
    try {
        ComPtr<IHTMLDocument2> document;
        if (!pUnkDocument || FAILED(pUnkDocument->QueryInterface(IID_PPV_ARGS(&document))) || !document)
            return E_INVALIDARG;
        // A page the administrator's list leaves out gets an object that does nothing, from now on.
        if (const auto allowed = siteRefused_ ? std::nullopt : ReadSiteLock()) {
            std::wstring address;
            try {
                address = PageAddress(document.Get());
            } catch (const Error&) {
                // a page that cannot tell its address is not on any list
            }
            siteRefused_ = !PageAllowed(allowed, address);
        }
        if (siteRefused_) {
            ReleaseDropHandling(documentWindow_, this);
            documentWindow_ = nullptr;
            document_.Reset();
            document3_.Reset();
            return S_FALSE;
        }
        ComPtr<IHTMLDocument3> document3;
        pUnkDocument->QueryInterface(IID_PPV_ARGS(&document3));
        document_ = document;
        document3_ = document3;

        ComPtr<IOleWindow> oleWindow;
        HWND window = nullptr;
        const bool hasWindow =
            SUCCEEDED(document_->QueryInterface(IID_PPV_ARGS(&oleWindow))) && SUCCEEDED(oleWindow->GetWindow(&window));
        // The drop handling keeps this control's document; it must never keep one the control let go of.
        if (documentWindow_ != window || !hasWindow) ReleaseDropHandling(documentWindow_, this);
        if (!hasWindow) {
            documentWindow_ = nullptr;
            return S_FALSE;
        }
        documentWindow_ = window;
        SetUpDropHandling(documentWindow_, enableOutlookSupport_ != 0, document_.Get(), this);

        if (serverPort_ == 0) {
            if (const auto location = LocationOfPage(document_.Get())) {
                serverName_ = location->ServerName;
                serverPort_ = location->ServerPort;
                requestFlags_ = location->RequestFlags;
            }
        }
        LoadEditedCopies();
        return S_OK;
    } catch (...) {
        return CaughtStatusQuiet();
    }
}

STDMETHODIMP FileDragDrop::get_Version(BSTR* pVal) {
    try {
        if (!pVal) return E_POINTER;
        *pVal = SysAllocString(kVersionText);
        return *pVal ? S_OK : E_OUTOFMEMORY;
    } catch (...) {
        return CaughtStatus();
    }
}

// Operations that are not bound answer S_FALSE and do nothing.
namespace {
std::atomic<FileDragDrop::Operation> downloadOperation{nullptr};
std::atomic<FileDragDrop::UploadOperation> uploadOperation{nullptr};
std::atomic<FileDragDrop::UpdateOperation> updateOperation{nullptr};
std::atomic<FileDragDrop::TrackedOperation> processLockedOperation{nullptr};
std::atomic<FileDragDrop::UploadSetup> uploadSetup{nullptr};

std::wstring TextOf(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }
}  // namespace

void FileDragDrop::SetOperations(const Operations& operations) {
    downloadOperation = operations.download;
    uploadOperation = operations.upload;
    updateOperation = operations.update;
    processLockedOperation = operations.processLocked;
    uploadSetup = operations.uploadSetup;
}

FileDragDrop::UploadSetup FileDragDrop::BoundUploadSetup() { return uploadSetup.load(); }

// Runs a bound operation with the gate held and the control and its document referenced for the whole run: page
// script that runs inside it may call Init with another document or let go of the control. The operation reads
// the document through the accessors only before any page script has run, and keeps its own references after.
template <typename Run>
HRESULT FileDragDrop::RunOperation(bool bound, Run&& run) {
    OperationScope operation;
    if (!operation.Entered()) return S_FALSE;
    if (!bound || siteRefused_ || !document_ || !document3_) return S_FALSE;
    ComPtr<IUnknown> keepSelf(outer_);
    ComPtr<IHTMLDocument2> keepDocument = document_;
    ComPtr<IHTMLDocument3> keepDocument3 = document3_;
    // Whatever the operation did to the edited copies is kept for the next object, also when it threw.
    struct SaveAfter {
        FileDragDrop& self;
        ~SaveAfter() { self.SaveEditedCopies(); }
    } saveAfter{*this};
    return run();
}

namespace {
FileTime NowUtc() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<FileTime>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}
}  // namespace

void FileDragDrop::LoadEditedCopies() {
    if (journal_ || serverPort_ == 0 || serverName_.empty()) return;
    const bool secure = (requestFlags_ & (kRequestFlagsHttps & ~kRequestFlagsHttp)) != 0;
    journalServer_ = ServerKey(secure, serverName_, serverPort_);
    journal_ = std::make_unique<AppDataJournalFile>();
    Win32FileSystem fs;
    qm::LoadEditedCopies(tracked_, *journal_, fs, journalServer_, NowUtc());
}

void FileDragDrop::SaveEditedCopies() noexcept {
    if (!journal_) return;
    try {
        Win32FileSystem fs;
        qm::SaveEditedCopies(tracked_, *journal_, fs, journalServer_, NowUtc());
    } catch (...) {
        // the copies stay tracked by this object; only the next one would not know them
    }
}

STDMETHODIMP FileDragDrop::DownloadFile(BSTR ElementId) {
    try {
        const Operation run = downloadOperation.load();
        return RunOperation(run != nullptr, [&] { return run(*this, TextOf(ElementId)); });
    } catch (...) {
        return CaughtStatus();
    }
}

STDMETHODIMP FileDragDrop::UploadFile(BSTR ElementId, LONG MultiSelect) {
    try {
        const UploadOperation run = uploadOperation.load();
        return RunOperation(run != nullptr, [&] { return run(*this, TextOf(ElementId), MultiSelect); });
    } catch (...) {
        return CaughtStatus();
    }
}

STDMETHODIMP FileDragDrop::UpdateFile(BSTR HTMLObjectId, INT FileLocation) {
    try {
        const UpdateOperation run = updateOperation.load();
        return RunOperation(run != nullptr, [&] { return run(*this, TextOf(HTMLObjectId), FileLocation); });
    } catch (...) {
        return CaughtStatus();
    }
}

STDMETHODIMP FileDragDrop::ProcessLockedFiles() {
    try {
        const TrackedOperation run = processLockedOperation.load();
        return RunOperation(run != nullptr, [&] { return run(*this); });
    } catch (...) {
        return CaughtStatus();
    }
}

STDMETHODIMP FileDragDrop::UploadDroppedFiles(BSTR ElementId) {
    try {
        return RunOperation(true, [&] {
            const HWND window = documentWindow_;
            const UploadSetup setup = uploadSetup.load();
            const std::wstring elementId = TextOf(ElementId);
            const int result = UploadDroppedFilesFrom(
                TheDroppedFileTable(), KeyOf(window), [window](unsigned ms) { WaitForDrops(window, ms); },
                [&](const std::vector<std::wstring>& files) {
                    // Before the upload side is bound the files are taken and nothing more is done.
                    if (setup) setup(*this, elementId, files);
                },
                &RemoveScratchFolder);
            return result == 0 ? S_OK : S_FALSE;
        });
    } catch (...) {
        return CaughtStatus();
    }
}

STDMETHODIMP FileDragDrop::get_EnableOutlookSupport(LONG* pVal) {
    // Reports the stored value, so a page can read back what it set.
    if (!pVal) return E_POINTER;
    *pVal = enableOutlookSupport_;
    return S_OK;
}

STDMETHODIMP FileDragDrop::get_EditedCopies(BSTR* pVal) {
    try {
        if (!pVal) return E_POINTER;
        *pVal = nullptr;
        std::wstring text;
        // Only a page of the server the copies came from hears of them.
        if (journal_ && !siteRefused_) {
            Win32FileSystem fs;
            Win32SystemText system;
            text = EditedCopiesText(tracked_, fs, system);
        }
        *pVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *pVal ? S_OK : E_OUTOFMEMORY;
    } catch (...) {
        return CaughtStatus();
    }
}

STDMETHODIMP FileDragDrop::put_EnableOutlookSupport(LONG newVal) {
    enableOutlookSupport_ = newVal;
    return S_OK;
}

STDMETHODIMP FileDragDrop::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
    if (!supported || !enabled) return E_POINTER;
    ComPtr<IUnknown> probe;
    HRESULT hr = QueryInterface(riid, reinterpret_cast<void**>(probe.GetAddressOf()));
    if (FAILED(hr)) {
        *supported = 0;
        *enabled = 0;
        return hr;
    }
    *supported = safety_.Supported();
    *enabled = safety_.Enabled();
    return S_OK;
}

STDMETHODIMP FileDragDrop::SetInterfaceSafetyOptions(REFIID, DWORD mask, DWORD enabled) {
    safety_.Set(mask, enabled);
    return S_OK;
}

}  // namespace qm
