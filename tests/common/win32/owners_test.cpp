#include "common/win32/owners.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

// A kernel handle that is still open answers GetHandleInformation; a closed one does not.
bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueHandleTest, ClosesOnceWhenTheOwnerEndsAndNotAfterRelease) {
    HANDLE raw = NewEvent();
    ASSERT_NE(raw, nullptr);
    {
        const UniqueHandle owner(raw);
        EXPECT_TRUE(owner);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));

    HANDLE kept = NewEvent();
    {
        UniqueHandle owner(kept);
        EXPECT_EQ(owner.release(), kept);
        EXPECT_FALSE(owner);
    }
    EXPECT_TRUE(IsOpen(kept)) << "a released handle belongs to the caller";
    const UniqueHandle closer(kept);
}

TEST(UniqueHandleTest, MovesOwnershipAndClosesWhatAnAssignmentReplaces) {
    HANDLE first = NewEvent();
    HANDLE second = NewEvent();
    UniqueHandle a(first);
    UniqueHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), first);
    UniqueHandle c(second);
    c = std::move(b);
    EXPECT_FALSE(IsOpen(second)) << "the replaced handle is closed";
    EXPECT_TRUE(IsOpen(first));
    c.reset();
    EXPECT_FALSE(IsOpen(first));
    EXPECT_EQ(c.get(), nullptr);
}

TEST(UniqueFileHandleTest, AFailedOpenIsEmptyAndKeepsItsErrorCode) {
    const UniqueFileHandle missing(CreateFileW(L"C:\\no such folder here\\x.txt", GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    const DWORD error = GetLastError();
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    wchar_t folder[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring path = std::wstring(folder) + L"qm-owners-test.txt";
    HANDLE raw = INVALID_HANDLE_VALUE;
    {
        const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        raw = file.get();
        // Held exclusively: nobody else may open it while the owner lives.
        EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    }
    EXPECT_FALSE(IsOpen(raw));
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "the file was closed, so it can be deleted";
}

TEST(UniqueFindHandleTest, NoMatchIsEmptyAndASearchEndsWithTheOwner) {
    WIN32_FIND_DATAW data;
    const UniqueFindHandle none(FindFirstFileW(L"C:\\windows\\no-such-file-*.qm", &data));
    EXPECT_FALSE(none);

    HANDLE raw = INVALID_HANDLE_VALUE;
    {
        const UniqueFindHandle search(FindFirstFileW(L"C:\\windows\\*", &data));
        ASSERT_TRUE(search);
        raw = search.get();
        EXPECT_TRUE(FindNextFileW(raw, &data));
    }
    SetLastError(0);
    EXPECT_FALSE(FindNextFileW(raw, &data)) << "the search was closed";
}

TEST(UniqueHkeyTest, TheKeyIsClosedWithTheOwner) {
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QmOwnersTest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &raw, nullptr),
              ERROR_SUCCESS);
    {
        const UniqueHkey key(raw);
        EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
    }
    EXPECT_NE(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QmOwnersTest");
}

TEST(GdiOwnersTest, ObjectsAreDeletedAndSelectionsUndone) {
    const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ originalPen = GetCurrentObject(dc.get(), OBJ_PEN);
    HPEN raw = nullptr;
    {
        const UniqueHpen pen(CreatePen(PS_SOLID, 3, RGB(1, 2, 3)));
        raw = pen.get();
        EXPECT_EQ(GetObjectType(raw), static_cast<DWORD>(OBJ_PEN));
        {
            const SelectedObject selected(dc.get(), pen.get());
            EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), raw);
        }
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), originalPen) << "the selection is undone before the pen goes";
    }
    EXPECT_EQ(GetObjectType(raw), 0u) << "the pen was deleted";
}

TEST(BstrTest, HoldsTextWithEmbeddedZerosAndGivesUpItsSlot) {
    const std::wstring text(L"a\0b", 3);
    Bstr value(text);
    ASSERT_TRUE(value);
    EXPECT_EQ(SysStringLen(value.get()), 3u);
    EXPECT_EQ(value.text(), text);

    // out() frees what was held and lets a callee fill the slot.
    BSTR* slot = value.out();
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(L"filled");
    EXPECT_EQ(value.text(), L"filled");

    BSTR taken = value.release();
    EXPECT_FALSE(value);
    EXPECT_EQ(value.text(), L"");
    SysFreeString(taken);

    EXPECT_EQ(Bstr(L"").text(), L"");
    EXPECT_TRUE(Bstr(L"")) << "an empty text is still a BSTR";
}

TEST(ComInitScopeTest, NestedScopesBalanceAndAnotherModelIsLeftAlone) {
    {
        const ComInitScope outer;
        ASSERT_TRUE(outer.succeeded());
        {
            const ComInitScope inner;
            EXPECT_EQ(inner.result(), S_FALSE) << "already initialised on this thread";
        }
        {
            const ComInitScope other(COINIT_MULTITHREADED);
            EXPECT_EQ(other.result(), RPC_E_CHANGED_MODE);
            EXPECT_FALSE(other.succeeded());
        }
        // The failed scope must not have uninitialised the thread's apartment.
        const ComInitScope again;
        EXPECT_EQ(again.result(), S_FALSE);
    }
    // Every counted initialisation was undone: the thread may now take another model.
    const ComInitScope multi(COINIT_MULTITHREADED);
    EXPECT_EQ(multi.result(), S_OK);
}

TEST(LastErrorTest, AReleaseThatFailsLeavesTheCallersErrorCode) {
    // A handle closed behind the owner's back: its own CloseHandle fails and would set ERROR_INVALID_HANDLE.
    HANDLE stale = NewEvent();
    ASSERT_NE(stale, nullptr);
    ASSERT_TRUE(CloseHandle(stale));
    UniqueHandle owner(stale);
    SetLastError(ERROR_FILE_NOT_FOUND);
    owner.reset();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE alsoStale = NewEvent();
    ASSERT_TRUE(CloseHandle(alsoStale));
    SetLastError(ERROR_ACCESS_DENIED);
    { const UniqueHandle ending(alsoStale); }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "the destructor keeps it too";
}

TEST(UniqueHmoduleTest, TheModuleIsFreedWithTheOwner) {
    const wchar_t* name = L"cabinet.dll";
    ASSERT_EQ(GetModuleHandleW(name), nullptr) << "the test needs a module the program has not loaded";
    {
        const UniqueHmodule module(LoadLibraryW(name));
        ASSERT_TRUE(module);
        EXPECT_EQ(GetModuleHandleW(name), module.get());
    }
    EXPECT_EQ(GetModuleHandleW(name), nullptr) << "the owner's FreeLibrary was the last reference";
}

// Watches the task allocator: which blocks CoTaskMemFree is given.
class FreeSpy final : public IMallocSpy {
public:
    void* watched = nullptr;
    int watchedFrees = 0;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMallocSpy)) return E_NOINTERFACE;
        *out = static_cast<IMallocSpy*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }   // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override { return actual; }
    STDMETHODIMP_(void*) PreFree(void* request, BOOL) override {
        if (request && request == watched) ++watchedFrees;
        return request;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override {
        *newRequest = request;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}
};

TEST(UniqueCoTaskMemTest, TheBlockIsFreedOnceAndNotAfterRelease) {
    FreeSpy spy;
    ASSERT_EQ(CoRegisterMallocSpy(&spy), S_OK);
    {
        auto* text = static_cast<wchar_t*>(CoTaskMemAlloc(16 * sizeof(wchar_t)));
        ASSERT_NE(text, nullptr);
        spy.watched = text;
        {
            UniqueCoTaskMem<wchar_t> owner(text);
            EXPECT_EQ(owner.get(), text);
            EXPECT_EQ(spy.watchedFrees, 0);
        }
        EXPECT_EQ(spy.watchedFrees, 1);

        void* kept = CoTaskMemAlloc(8);
        spy.watched = kept;
        spy.watchedFrees = 0;
        {
            UniqueCoTaskMem<void> owner(kept);
            EXPECT_EQ(owner.release(), kept);
        }
        EXPECT_EQ(spy.watchedFrees, 0) << "a released block belongs to the caller";
        CoTaskMemFree(kept);
        EXPECT_EQ(spy.watchedFrees, 1);
    }
    CoRevokeMallocSpy();
}

TEST(UniqueWindowDcTest, MovesTheDcWithItsWindow) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"dc", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    {
        UniqueWindowDc first(window);
        ASSERT_TRUE(first);
        const HDC dc = first.get();
        UniqueWindowDc second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), dc);
        EXPECT_EQ(WindowFromDC(second.get()), window) << "the DC still belongs to the window it came from";
        UniqueWindowDc screen(nullptr);
        ASSERT_TRUE(screen);
        screen = std::move(second);
        EXPECT_EQ(screen.get(), dc);
        screen.reset();
        EXPECT_FALSE(screen);
    }
    DestroyWindow(window);
}

TEST(VariantTest, GivesItsValueAwayAndIsEmptyAfter) {
    Variant text;
    text.get()->vt = VT_BSTR;
    text.get()->bstrVal = SysAllocString(L"kept");

    VARIANT slot;
    VariantInit(&slot);
    slot.vt = VT_BSTR;
    slot.bstrVal = SysAllocString(L"replaced");
    text.moveTo(&slot);
    EXPECT_EQ(text->vt, VT_EMPTY);
    ASSERT_EQ(slot.vt, VT_BSTR);
    EXPECT_STREQ(slot.bstrVal, L"kept");

    Variant back;
    back.out()->vt = VT_I4;
    back.get()->lVal = 7;
    const VARIANT given = back.release();
    EXPECT_EQ(back->vt, VT_EMPTY);
    EXPECT_EQ(given.vt, VT_I4);
    EXPECT_EQ(given.lVal, 7);
    VariantClear(&slot);
}

TEST(SystemErrorTextTest, SystemAndModuleTablesWithLineEndsKept) {
    const std::wstring notFound = SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_GE(notFound.size(), 2u);
    EXPECT_EQ(notFound.substr(notFound.size() - 2), L"\r\n");
    EXPECT_EQ(SystemErrorText(0x2FFFFFFF), L"") << "no message for an unknown code";

    HMODULE wininet = LoadLibraryW(L"wininet.dll");
    ASSERT_NE(wininet, nullptr);
    EXPECT_FALSE(SystemErrorText(ERROR_INTERNET_NAME_NOT_RESOLVED, wininet).empty());
    FreeLibrary(wininet);
}

}  // namespace
}  // namespace qm
