#include "drops.h"

#include <ole2.h>
#include <wrl/client.h>
#include <oleidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "comkit/com_object.h"
#include "hooks.h"
#include "record.h"

namespace qm::pagehost {

namespace {

// A mail item's descriptor: the fixed part, then the full user type name, then the source text.
HGLOBAL MakeObjectDescriptor(const std::wstring& typeName, const std::wstring& source) {
    const SIZE_T fixed = sizeof(OBJECTDESCRIPTOR);
    const SIZE_T size = fixed + (typeName.size() + 1 + source.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!memory) return nullptr;
    auto* descriptor = static_cast<OBJECTDESCRIPTOR*>(GlobalLock(memory));
    descriptor->cbSize = static_cast<ULONG>(size);
    descriptor->dwDrawAspect = DVASPECT_CONTENT;
    descriptor->dwFullUserTypeName = static_cast<DWORD>(fixed);
    descriptor->dwSrcOfCopy = static_cast<DWORD>(fixed + (typeName.size() + 1) * sizeof(wchar_t));
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(descriptor) + fixed);
    std::memcpy(text, typeName.c_str(), (typeName.size() + 1) * sizeof(wchar_t));
    std::memcpy(text + typeName.size() + 1, source.c_str(), (source.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    return memory;
}

HGLOBAL CopyGlobal(HGLOBAL source) {
    SIZE_T size = GlobalSize(source);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return nullptr;
    std::memcpy(GlobalLock(copy), GlobalLock(source), size);
    GlobalUnlock(copy);
    GlobalUnlock(source);
    return copy;
}

class DropData final : public comkit::ComObject<IDataObject, IDataObject> {
public:
    DropData(CLIPFORMAT format, HGLOBAL data) : ComObject(1), format_(format), data_(data) {}
    ~DropData() { GlobalFree(data_); }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_POINTER;
        HRESULT hr = QueryGetData(format);
        if (FAILED(hr)) return hr;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = CopyGlobal(data_);
        medium->pUnkForRelease = nullptr;
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        if (!format) return E_POINTER;
        if (format->cfFormat != format_) return DV_E_FORMATETC;
        if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        return S_OK;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC format = {format_, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SHCreateStdEnumFmtEtc(1, &format, out);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    CLIPFORMAT format_;
    HGLOBAL data_;
};

}  // namespace

HGLOBAL MakeDropFiles(const std::vector<std::wstring>& paths, POINT point) {
    SIZE_T chars = 1;
    for (auto& path : paths) chars += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    if (!memory) return nullptr;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->pt = point;
    drop->fNC = FALSE;
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (auto& path : paths) {
        std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        text += path.size() + 1;
    }
    *text = L'\0';
    GlobalUnlock(memory);
    return memory;
}

bool PostShellDrop(HWND window, const std::vector<std::wstring>& paths) {
    HGLOBAL drop = MakeDropFiles(paths, POINT{40, 40});
    if (!drop) return false;
    std::wstring list;
    for (auto& path : paths) list += (list.empty() ? L"" : L"|") + path;
    bool posted = PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0) != FALSE;
    if (!posted) GlobalFree(drop);
    TheRecord().Add(JsonObject().Text("kind", L"shellDrop").Text("files", list).Bool("posted", posted));
    return posted;
}

long OleDrop(HWND window, DropKind kind, const std::vector<std::wstring>& payload) {
    const Microsoft::WRL::ComPtr<IDropTarget> target(RegisteredDropTarget(window));
    const wchar_t* kindName = kind == DropKind::Files ? L"files" : kind == DropKind::Text ? L"text" : L"mailItem";
    if (!target) {
        TheRecord().Add(JsonObject().Text("kind", L"oleDrop").Text("data", kindName).Bool("target", false));
        return -1;
    }
    Microsoft::WRL::ComPtr<DropData> data;  // takes the new object's own reference
    if (kind == DropKind::Files) {
        *data.ReleaseAndGetAddressOf() = new DropData(CF_HDROP, MakeDropFiles(payload, POINT{0, 0}));
    } else if (kind == DropKind::Text) {
        const std::wstring text = payload.empty() ? std::wstring() : payload[0];
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        if (memory) {
            std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
            GlobalUnlock(memory);
        }
        *data.ReleaseAndGetAddressOf() = new DropData(CF_UNICODETEXT, memory);
    } else {
        std::wstring typeName = payload.empty() ? L"Outlook Mail Message" : payload[0];
        std::wstring source = payload.size() > 1 ? payload[1] : L"Outlook";
        *data.ReleaseAndGetAddressOf() = new DropData(
            static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Object Descriptor")), MakeObjectDescriptor(typeName, source));
    }
    RECT area = {};
    GetWindowRect(window, &area);
    POINTL point = {area.left + 40, area.top + 40};
    DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    DWORD enter = allowed, over = allowed, dropped = allowed;
    HRESULT hrEnter = target->DragEnter(data.Get(), MK_LBUTTON, point, &enter);
    HRESULT hrOver = S_OK, hrDrop = S_OK;
    bool droppedIt = false;
    if (SUCCEEDED(hrEnter) && enter != DROPEFFECT_NONE) {
        hrOver = target->DragOver(MK_LBUTTON, point, &over);
        if (SUCCEEDED(hrOver) && over != DROPEFFECT_NONE) {
            dropped = over;
            hrDrop = target->Drop(data.Get(), 0, point, &dropped);
            droppedIt = true;
        } else {
            target->DragLeave();
        }
    } else {
        target->DragLeave();
    }
    if (!droppedIt) dropped = DROPEFFECT_NONE;
    std::wstring list;
    for (auto& item : payload) list += (list.empty() ? L"" : L"|") + item;
    TheRecord().Add(JsonObject().Text("kind", L"oleDrop").Text("data", kindName).Text("payload", list).Bool("target", true)
                        .Number("enterHr", hrEnter).Number("enterEffect", enter).Number("overEffect", over)
                        .Bool("dropped", droppedIt).Number("dropHr", hrDrop).Number("dropEffect", dropped));
    return static_cast<long>(dropped);
}

}  // namespace qm::pagehost
