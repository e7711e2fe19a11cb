#pragma once
// Dragged data as a drag source offers it: a shell file list, an object descriptor naming the source's type, or
// plain text; for tests, a format can be made to fail on GetData while still being offered.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "comkit/com_object.h"

namespace qm::comkit {

struct DragFormat {
    CLIPFORMAT format;
    HGLOBAL data;  // owned by the data object
    bool getFails = false;
};


namespace detail {

inline HGLOBAL CopyGlobal(HGLOBAL source) {
    const SIZE_T size = GlobalSize(source);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return nullptr;
    std::memcpy(GlobalLock(copy), GlobalLock(source), size);
    GlobalUnlock(copy);
    GlobalUnlock(source);
    return copy;
}

class DragData final : public comkit::ComObject<IDataObject, IDataObject> {
public:
    explicit DragData(std::vector<DragFormat> formats) : ComObject(1), formats_(std::move(formats)) {}
    ~DragData() {
        for (auto& format : formats_) GlobalFree(format.data);
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_POINTER;
        const DragFormat* found = Find(format);
        if (!found) return DV_E_FORMATETC;
        if (found->getFails) return E_UNEXPECTED;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = CopyGlobal(found->data);
        medium->pUnkForRelease = nullptr;
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        if (!format) return E_POINTER;
        return Find(format) ? S_OK : DV_E_FORMATETC;
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
        std::vector<FORMATETC> list;
        for (auto& format : formats_) list.push_back({format.format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
        return SHCreateStdEnumFmtEtc(static_cast<UINT>(list.size()), list.data(), out);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    const DragFormat* Find(const FORMATETC* format) const {
        if (!(format->tymed & TYMED_HGLOBAL) || format->dwAspect != DVASPECT_CONTENT) return nullptr;
        for (auto& offered : formats_)
            if (offered.format == format->cfFormat) return &offered;
        return nullptr;
    }

    std::vector<DragFormat> formats_;
};

inline HGLOBAL GlobalOf(const void* bytes, SIZE_T size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!memory) return nullptr;
    std::memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    return memory;
}

}  // namespace detail

inline Microsoft::WRL::ComPtr<IDataObject> MakeDragData(std::vector<DragFormat> formats) {
    Microsoft::WRL::ComPtr<IDataObject> object;
    *object.GetAddressOf() = new detail::DragData(std::move(formats));
    return object;
}

// A DROPFILES list of wide paths, as the shell hands it over (the receiver of WM_DROPFILES frees it).
inline HGLOBAL MakeDropFilesData(const std::vector<std::wstring>& paths, POINT point = {0, 0}) {
    std::vector<BYTE> bytes(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(bytes.data());
    header->pFiles = sizeof(DROPFILES);
    header->pt = point;
    header->fWide = TRUE;
    std::wstring text;
    for (auto& path : paths) text += path + L'\0';
    text += L'\0';
    const auto* start = reinterpret_cast<const BYTE*>(text.data());
    bytes.insert(bytes.end(), start, start + text.size() * sizeof(wchar_t));
    return detail::GlobalOf(bytes.data(), bytes.size());
}

// A mail item's descriptor: the fixed part, then the full user type name, then the source text.
inline HGLOBAL MakeObjectDescriptorData(const std::wstring& fullUserTypeName, const std::wstring& source) {
    std::vector<BYTE> bytes(sizeof(OBJECTDESCRIPTOR));
    const std::wstring names = fullUserTypeName + L'\0' + source + L'\0';
    auto* descriptor = reinterpret_cast<OBJECTDESCRIPTOR*>(bytes.data());
    descriptor->cbSize = static_cast<ULONG>(sizeof(OBJECTDESCRIPTOR) + names.size() * sizeof(wchar_t));
    descriptor->dwDrawAspect = DVASPECT_CONTENT;
    descriptor->dwFullUserTypeName = sizeof(OBJECTDESCRIPTOR);
    descriptor->dwSrcOfCopy = static_cast<DWORD>(sizeof(OBJECTDESCRIPTOR) + (fullUserTypeName.size() + 1) * sizeof(wchar_t));
    const auto* start = reinterpret_cast<const BYTE*>(names.data());
    bytes.insert(bytes.end(), start, start + names.size() * sizeof(wchar_t));
    return detail::GlobalOf(bytes.data(), bytes.size());
}

inline HGLOBAL MakeTextData(const std::wstring& text) {
    return detail::GlobalOf(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

inline CLIPFORMAT ObjectDescriptorFormat() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Object Descriptor")); }

}  // namespace qm::comkit
