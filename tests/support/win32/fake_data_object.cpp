#include "support/win32/fake_data_object.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>

#include "comkit/com_object.h"

namespace qm::testing {

namespace {

HGLOBAL CopyGlobal(HGLOBAL source) {
    const SIZE_T size = GlobalSize(source);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return nullptr;
    std::memcpy(GlobalLock(copy), GlobalLock(source), size);
    GlobalUnlock(copy);
    GlobalUnlock(source);
    return copy;
}

class FakeDataObject final : public comkit::ComObject<IDataObject, IDataObject> {
public:
    explicit FakeDataObject(std::vector<FakeFormat> formats) : ComObject(1), formats_(std::move(formats)) {}
    ~FakeDataObject() {
        for (auto& format : formats_) GlobalFree(format.data);
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_POINTER;
        const FakeFormat* found = Find(format);
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
    const FakeFormat* Find(const FORMATETC* format) const {
        if (!(format->tymed & TYMED_HGLOBAL) || format->dwAspect != DVASPECT_CONTENT) return nullptr;
        for (auto& offered : formats_)
            if (offered.format == format->cfFormat) return &offered;
        return nullptr;
    }

    std::vector<FakeFormat> formats_;
};

HGLOBAL GlobalOf(const void* bytes, SIZE_T size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!memory) return nullptr;
    std::memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    return memory;
}

}  // namespace

Microsoft::WRL::ComPtr<IDataObject> MakeFakeDataObject(std::vector<FakeFormat> formats) {
    Microsoft::WRL::ComPtr<IDataObject> object;
    *object.GetAddressOf() = new FakeDataObject(std::move(formats));
    return object;
}

HGLOBAL MakeDropFilesData(const std::vector<std::wstring>& paths) {
    std::vector<BYTE> bytes(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(bytes.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::wstring text;
    for (auto& path : paths) text += path + L'\0';
    text += L'\0';
    const auto* start = reinterpret_cast<const BYTE*>(text.data());
    bytes.insert(bytes.end(), start, start + text.size() * sizeof(wchar_t));
    return GlobalOf(bytes.data(), bytes.size());
}

HGLOBAL MakeObjectDescriptorData(const std::wstring& fullUserTypeName, const std::wstring& source) {
    std::vector<BYTE> bytes(sizeof(OBJECTDESCRIPTOR));
    const std::wstring names = fullUserTypeName + L'\0' + source + L'\0';
    auto* descriptor = reinterpret_cast<OBJECTDESCRIPTOR*>(bytes.data());
    descriptor->cbSize = static_cast<ULONG>(sizeof(OBJECTDESCRIPTOR) + names.size() * sizeof(wchar_t));
    descriptor->dwDrawAspect = DVASPECT_CONTENT;
    descriptor->dwFullUserTypeName = sizeof(OBJECTDESCRIPTOR);
    descriptor->dwSrcOfCopy = static_cast<DWORD>(sizeof(OBJECTDESCRIPTOR) + (fullUserTypeName.size() + 1) * sizeof(wchar_t));
    const auto* start = reinterpret_cast<const BYTE*>(names.data());
    bytes.insert(bytes.end(), start, start + names.size() * sizeof(wchar_t));
    return GlobalOf(bytes.data(), bytes.size());
}

HGLOBAL MakeTextData(const std::wstring& text) { return GlobalOf(text.c_str(), (text.size() + 1) * sizeof(wchar_t)); }

CLIPFORMAT ObjectDescriptorFormat() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Object Descriptor")); }

}  // namespace qm::testing
