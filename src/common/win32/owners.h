#pragma once
// Owner types of the Windows adapters: one per kind of handle or value, each closed by the call its kind needs.
// Every adapter holds what it opens in one of these; nothing else calls a closing function.
#include <windows.h>
#include <oleauto.h>
#include <ole2.h>
#include <shellapi.h>
#include <wininet.h>

#include <string>
#include <type_traits>
#include <utility>

namespace qm {

// Keeps the calling thread's last-error code across a release: an owner ending between a failed call and the
// GetLastError that explains it must not change the answer (a release that fails sets its own code).
class LastErrorKept {
public:
    LastErrorKept() noexcept : code_(::GetLastError()) {}
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;
    ~LastErrorKept() { ::SetLastError(code_); }

private:
    DWORD code_;
};

// Owns one value of Traits::Type; closes it unless it is Traits::Invalid(). Moves, never copies.
template <typename Traits>
class UniqueValue {
public:
    using Type = typename Traits::Type;

    UniqueValue() noexcept = default;
    explicit UniqueValue(Type value) noexcept : value_(value) {}
    UniqueValue(UniqueValue&& other) noexcept : value_(other.release()) {}
    UniqueValue& operator=(UniqueValue&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueValue(const UniqueValue&) = delete;
    UniqueValue& operator=(const UniqueValue&) = delete;
    ~UniqueValue() { reset(); }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

    void reset(Type value = Traits::Invalid()) noexcept {
        const Type old = std::exchange(value_, value);
        if (old != Traits::Invalid()) {
            const LastErrorKept kept;
            Traits::Close(old);
        }
    }
    Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
    // Closes the held value and gives its slot to a function that fills it.
    Type* put() noexcept {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::Invalid();
};

namespace owners {

template <typename T, auto CloseFunction>
struct NullInvalid {
    using Type = T;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { CloseFunction(value); }
};

template <auto CloseFunction>
struct MinusOneInvalid {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) noexcept { CloseFunction(value); }
};

inline void CloseKernelHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseFind(HANDLE h) noexcept { ::FindClose(h); }
inline void CloseKey(HKEY key) noexcept { ::RegCloseKey(key); }
inline void FreeLocal(HLOCAL memory) noexcept { ::LocalFree(memory); }
inline void CloseInternet(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
inline void FreeBstr(BSTR text) noexcept { ::SysFreeString(text); }
inline void DeleteGdiObject(HGDIOBJ object) noexcept { ::DeleteObject(object); }
inline void DeleteMemoryDc(HDC dc) noexcept { ::DeleteDC(dc); }
inline void DestroyIconHandle(HICON icon) noexcept { ::DestroyIcon(icon); }
inline void FinishDrop(HDROP drop) noexcept { ::DragFinish(drop); }
inline void UnloadModule(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void FreeTaskMemory(void* memory) noexcept { ::CoTaskMemFree(memory); }

}  // namespace owners

// Kernel handles that are null when absent: threads, events, mutexes.
using UniqueHandle = UniqueValue<owners::NullInvalid<HANDLE, owners::CloseKernelHandle>>;
// Handles that are INVALID_HANDLE_VALUE when absent: what CreateFile returns.
using UniqueFileHandle = UniqueValue<owners::MinusOneInvalid<owners::CloseKernelHandle>>;
// Directory searches from FindFirstFile.
using UniqueFindHandle = UniqueValue<owners::MinusOneInvalid<owners::CloseFind>>;
using UniqueHkey = UniqueValue<owners::NullInvalid<HKEY, owners::CloseKey>>;
using UniqueHlocal = UniqueValue<owners::NullInvalid<HLOCAL, owners::FreeLocal>>;
using UniqueHinternet = UniqueValue<owners::NullInvalid<HINTERNET, owners::CloseInternet>>;
// A memory device context from CreateCompatibleDC.
using UniqueMemoryDc = UniqueValue<owners::NullInvalid<HDC, owners::DeleteMemoryDc>>;
using UniqueHicon = UniqueValue<owners::NullInvalid<HICON, owners::DestroyIconHandle>>;
// A shell drop handed over with WM_DROPFILES, finished with DragFinish.
using UniqueHdrop = UniqueValue<owners::NullInvalid<HDROP, owners::FinishDrop>>;
// A module from LoadLibrary, freed with FreeLibrary.
using UniqueHmodule = UniqueValue<owners::NullInvalid<HMODULE, owners::UnloadModule>>;
// Memory a COM call allocated for its caller (CoTaskMemAlloc), typed so that get() hands back what it holds.
template <typename T>
using UniqueCoTaskMem = UniqueValue<owners::NullInvalid<T*, owners::FreeTaskMemory>>;

// A window's device context from GetDC, given back with ReleaseDC to the same window (null: the screen's).
class UniqueWindowDc {
public:
    UniqueWindowDc() noexcept = default;
    explicit UniqueWindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    UniqueWindowDc(UniqueWindowDc&& other) noexcept
        : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    UniqueWindowDc& operator=(UniqueWindowDc&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    UniqueWindowDc(const UniqueWindowDc&) = delete;
    UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;
    ~UniqueWindowDc() { reset(); }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    void reset() noexcept {
        if (dc_) {
            const LastErrorKept kept;
            ::ReleaseDC(window_, dc_);
        }
        window_ = nullptr;
        dc_ = nullptr;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// Pens, brushes, bitmaps and fonts, typed so that get() hands back the kind that was made.
template <typename T>
using UniqueGdiObject = UniqueValue<owners::NullInvalid<T, owners::DeleteGdiObject>>;
using UniqueHpen = UniqueGdiObject<HPEN>;
using UniqueHbrush = UniqueGdiObject<HBRUSH>;
using UniqueHbitmap = UniqueGdiObject<HBITMAP>;
using UniqueHfont = UniqueGdiObject<HFONT>;

// An object selected into a device context; the one it replaced goes back in on scope exit.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (!previous_ || previous_ == HGDI_ERROR) return;
        const LastErrorKept kept;
        ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A critical section initialised where it lives (a CRITICAL_SECTION must never be copied or moved).
class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { ::DeleteCriticalSection(&section_); }

    // Holds the section for its scope.
    class Hold {
    public:
        explicit Hold(CriticalSection& section) noexcept : section_(section) { ::EnterCriticalSection(&section_.section_); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() { ::LeaveCriticalSection(&section_.section_); }

    private:
        CriticalSection& section_;
    };

private:
    CRITICAL_SECTION section_;
};

// A BSTR, null when absent or when the allocation failed (callers that cannot go on without it check).
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(const std::wstring& text) : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(Bstr&&) noexcept = default;
    Bstr& operator=(Bstr&&) noexcept = default;

    BSTR get() const noexcept { return value_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(value_); }
    // Frees the held text and gives its slot to a function that fills it.
    BSTR* out() noexcept { return value_.put(); }
    BSTR release() noexcept { return value_.release(); }
    std::wstring text() const {
        return value_ ? std::wstring(value_.get(), ::SysStringLen(value_.get())) : std::wstring();
    }

private:
    UniqueValue<owners::NullInvalid<BSTR, owners::FreeBstr>> value_;
};

// A VARIANT cleared on scope exit.
class Variant {
public:
    Variant() noexcept { ::VariantInit(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { reset(); }
    VARIANT* get() noexcept { return &value_; }
    const VARIANT& operator*() const noexcept { return value_; }
    const VARIANT* operator->() const noexcept { return &value_; }
    // Clears what is held (VT_EMPTY after).
    void reset() noexcept {
        const LastErrorKept kept;
        ::VariantClear(&value_);
    }
    // Clears what is held and lets a callee fill it.
    VARIANT* out() noexcept {
        reset();
        return &value_;
    }
    // Gives up the value (for an out-parameter that is the caller's to clear); this one is left empty.
    VARIANT release() noexcept {
        const VARIANT value = value_;
        ::VariantInit(&value_);
        return value;
    }
    // Hands the value to a VARIANT the caller owns (what that held is cleared); this one is left empty.
    void moveTo(VARIANT* destination) noexcept {
        const LastErrorKept kept;
        ::VariantClear(destination);
        *destination = value_;
        ::VariantInit(&value_);
    }

private:
    VARIANT value_;
};

// A data medium filled by IDataObject::GetData, released on scope exit.
class StgMedium {
public:
    StgMedium() noexcept : medium_() {}
    StgMedium(const StgMedium&) = delete;
    StgMedium& operator=(const StgMedium&) = delete;
    ~StgMedium() {
        if (medium_.tymed == TYMED_NULL) return;
        const LastErrorKept kept;
        ::ReleaseStgMedium(&medium_);
    }
    STGMEDIUM* get() noexcept { return &medium_; }

private:
    STGMEDIUM medium_;
};

// The exception record an IDispatch::Invoke may fill; its texts are freed on scope exit.
class ExcepInfo {
public:
    ExcepInfo() noexcept = default;
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() {
        const LastErrorKept kept;
        ::SysFreeString(info_.bstrSource);
        ::SysFreeString(info_.bstrDescription);
        ::SysFreeString(info_.bstrHelpFile);
    }
    EXCEPINFO* get() noexcept { return &info_; }
    const EXCEPINFO* operator->() const noexcept { return &info_; }
    std::wstring description() const {
        return info_.bstrDescription ? std::wstring(info_.bstrDescription, ::SysStringLen(info_.bstrDescription))
                                     : std::wstring();
    }

private:
    EXCEPINFO info_ = {};
};

// COM initialised on this thread for the scope (a worker's thread, a registration call); uninitialised at its end
// only if the initialisation counted (S_OK or S_FALSE; RPC_E_CHANGED_MODE leaves the thread as it was).
class ComInitScope {
public:
    explicit ComInitScope(DWORD model = COINIT_APARTMENTTHREADED) noexcept : result_(::CoInitializeEx(nullptr, model)) {}
    ComInitScope(const ComInitScope&) = delete;
    ComInitScope& operator=(const ComInitScope&) = delete;
    ~ComInitScope() {
        if (!SUCCEEDED(result_)) return;
        const LastErrorKept kept;
        ::CoUninitialize();
    }
    HRESULT result() const noexcept { return result_; }
    bool succeeded() const noexcept { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};

// The message text of an error code as FormatMessage gives it (line ends included), from the system's table or,
// with a module, from that module's; empty when there is none.
inline std::wstring SystemErrorText(DWORD code, HMODULE module = nullptr, DWORD language = 0) {
    wchar_t* buffer = nullptr;
    const DWORD source = module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length = ::FormatMessageW(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          module, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const UniqueHlocal owned(buffer);
    return length && buffer ? std::wstring(buffer, length) : std::wstring();
}

}  // namespace qm
