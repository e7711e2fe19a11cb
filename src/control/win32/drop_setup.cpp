#include "control/win32/drop_setup.h"


#include <atomic>
#include <map>
#include <mutex>

#include "common/errors.h"
#include "common/win32/owners.h"

namespace qm {

namespace {

// Window -> the procedure the shell drop entry replaced; a window set up for the OLE drop target holds the
// shell drop procedure itself as a marker and the procedure is not installed there.
struct WindowProcTable {
    std::mutex lock;
    std::map<HWND, WNDPROC> saved;
};

WindowProcTable& Procedures() {
    static WindowProcTable table;
    return table;
}

std::atomic<DropTargetSetup> dropTargetSetup{nullptr};

WNDPROC SavedProcedure(HWND window) {
    auto& table = Procedures();
    const std::lock_guard<std::mutex> hold(table.lock);
    const auto found = table.saved.find(window);
    return found == table.saved.end() ? nullptr : found->second;
}

LRESULT CALLBACK ShellDropProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DROPFILES) {
        const UniqueHdrop drop(reinterpret_cast<HDROP>(wParam));
        RecordShellDrop(window, drop.get());
        return 0;
    }
    const WNDPROC saved = SavedProcedure(window);
    const LRESULT result =
        saved && saved != ShellDropProcedure ? CallWindowProcW(saved, window, message, wParam, lParam)
                                             : DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // A later window may get the same handle; it must be set up afresh.
        auto& table = Procedures();
        const std::lock_guard<std::mutex> hold(table.lock);
        table.saved.erase(window);
        TheDroppedFileTable().Forget(KeyOf(window));
    }
    return result;
}

// True when the window had no entry; then the entry is made by make().
template <typename Make>
bool FirstSetUp(HWND window, Make&& make) {
    auto& table = Procedures();
    const std::lock_guard<std::mutex> hold(table.lock);
    if (table.saved.count(window)) return false;
    table.saved[window] = make();
    return true;
}

}  // namespace

void BindDropTargetSetup(DropTargetSetup setup) { dropTargetSetup = setup; }

bool RecordShellDrop(HWND window, HDROP drop) {
    try {
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        std::vector<DroppedItem> items;
        for (UINT index = 0; index < count; ++index) {
            // Asked for its length first: a long path cut to a fixed buffer could name another file.
            const UINT length = DragQueryFileW(drop, index, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            const UINT copied = DragQueryFileW(drop, index, path.data(), length + 1);
            path.resize(copied);
            const DWORD attributes = GetFileAttributesW(path.c_str());
            const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
            items.push_back({path, folder});
        }
        TheDroppedFileTable().Replace(KeyOf(window), FilesOfDrop(items));
        return true;
    } catch (...) {
        return false;
    }
}

void WaitForDrops(HWND window, unsigned milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        MSG message;
        while (window && PeekMessageW(&message, window, WM_DROPFILES, WM_DROPFILES, PM_REMOVE))
            DispatchMessageW(&message);
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        Sleep(static_cast<DWORD>(end - now < 50 ? end - now : 50));
    }
}

void SetUpDropHandling(HWND documentWindow, bool outlookSupport, IHTMLDocument2* document) {
    if (!documentWindow) return;
    if (!outlookSupport) {
        FirstSetUp(documentWindow, [&] {
            // SetWindowLongPtrW: a 64-bit procedure address must not be cut to 32 bits.
            SetLastError(0);
            const LONG_PTR previous = SetWindowLongPtrW(documentWindow, GWLP_WNDPROC,
                                                        reinterpret_cast<LONG_PTR>(&ShellDropProcedure));
            if (!previous && GetLastError() != 0) throw Error(L"The page window cannot receive dropped files.");
            return reinterpret_cast<WNDPROC>(previous);
        });
        DragAcceptFiles(documentWindow, TRUE);
        return;
    }
    const bool first = FirstSetUp(documentWindow, [] { return &ShellDropProcedure; });
    if (const DropTargetSetup setup = dropTargetSetup.load()) setup(documentWindow, first, document);
}

}  // namespace qm
