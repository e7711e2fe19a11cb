#include "control/win32/drop_setup.h"


#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "common/errors.h"
#include "common/win32/owners.h"

namespace qm {

namespace {

// Per window: the procedure the shell drop entry replaced (the shell drop procedure itself as a marker on a
// window set up for the OLE drop target, where the procedure is not installed), whether the window accepted
// files before, and the controls that set it up with their documents, latest last.
struct WindowSetUp {
    WNDPROC saved = nullptr;
    bool acceptedFiles = false;
    std::vector<std::pair<const void*, IHTMLDocument2*>> owners;
};

struct WindowTable {
    std::mutex lock;
    std::map<HWND, WindowSetUp> windows;
};

WindowTable& Windows() {
    static WindowTable table;
    return table;
}

std::atomic<DropTargetSetup> dropTargetSetup{nullptr};
std::atomic<DropTargetRelease> dropTargetRelease{nullptr};

LRESULT CALLBACK ShellDropProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The saved procedure, and whether any control still owns the window.
std::pair<WNDPROC, bool> SavedProcedure(HWND window) {
    auto& table = Windows();
    const std::lock_guard<std::mutex> hold(table.lock);
    const auto found = table.windows.find(window);
    if (found == table.windows.end()) return {nullptr, false};
    return {found->second.saved, !found->second.owners.empty()};
}

void ForgetWindowFiles(HWND window) { RemoveScratchFolder(TheDroppedFileTable().Forget(KeyOf(window))); }

LRESULT CALLBACK ShellDropProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto [saved, owned] = SavedProcedure(window);
    if (message == WM_DROPFILES) {
        const UniqueHdrop drop(reinterpret_cast<HDROP>(wParam));
        // A window no control owns any more keeps the procedure only because another was installed over it.
        if (owned) RecordShellDrop(window, drop.get());
        return 0;
    }
    const LRESULT result = saved && saved != ShellDropProcedure
                               ? CallWindowProcW(saved, window, message, wParam, lParam)
                               : DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // A later window may get the same handle; it must be set up afresh.
        {
            auto& table = Windows();
            const std::lock_guard<std::mutex> hold(table.lock);
            table.windows.erase(window);
        }
        ForgetWindowFiles(window);
    }
    return result;
}

// Windows destroyed without the procedure seeing it (the OLE drop target installs none): their files and
// targets go, so a new window with the same handle starts clean.
std::vector<HWND> TakeDeadWindows(WindowTable& table) {
    std::vector<HWND> dead;
    for (auto it = table.windows.begin(); it != table.windows.end();) {
        if (IsWindow(it->first)) {
            ++it;
        } else {
            dead.push_back(it->first);
            it = table.windows.erase(it);
        }
    }
    return dead;
}

void LetGoOfDeadWindows(const std::vector<HWND>& dead) {
    for (const HWND window : dead) {
        ForgetWindowFiles(window);
        if (const DropTargetRelease release = dropTargetRelease.load()) release(window);
    }
}

}  // namespace

void BindDropTargetSetup(DropTargetSetup setup, DropTargetRelease release) {
    dropTargetSetup = setup;
    dropTargetRelease = release;
}

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
        RecordDrop(window, FilesOfDrop(items));
        return true;
    } catch (...) {
        return false;
    }
}

void RecordDrop(HWND window, std::vector<std::wstring> files, std::wstring scratchFolder) {
    RemoveScratchFolder(TheDroppedFileTable().Replace(KeyOf(window), std::move(files), std::move(scratchFolder)));
}

std::wstring MailFolderRoot() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    std::wstring folder(temp, length);
    if (folder.back() != L'\\') folder += L'\\';
    return folder + L"Quillmark Mail\\";
}

void RemoveScratchFolder(const std::wstring& folder) {
    if (folder.empty()) return;
    const std::wstring root = MailFolderRoot();
    // Only a folder of the mail folder's own, one level down, ending with a separator.
    if (root.empty() || folder.size() <= root.size() + 1 || _wcsnicmp(folder.c_str(), root.c_str(), root.size()) != 0 ||
        folder.back() != L'\\' || folder.find(L'\\', root.size()) != folder.size() - 1 ||
        folder.find(L"..", root.size()) != std::wstring::npos)
        return;
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    const UniqueFindHandle search(FindFirstFileW((folder + L"*").c_str(), &found));
    if (search) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            // A drop's folder holds only the messages saved into it; anything else is not ours to remove.
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return;
            files.push_back(folder + name);
        } while (FindNextFileW(search.get(), &found));
    }
    for (const auto& path : files) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(folder.c_str());
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

void SetUpDropHandling(HWND documentWindow, bool outlookSupport, IHTMLDocument2* document, const void* owner) {
    if (!documentWindow) return;
    auto& table = Windows();
    bool first = false;
    bool ole = false;
    std::vector<HWND> dead;
    {
        const std::lock_guard<std::mutex> hold(table.lock);
        dead = TakeDeadWindows(table);
        auto found = table.windows.find(documentWindow);
        if (found == table.windows.end()) {
            WindowSetUp setUp;
            setUp.acceptedFiles = (GetWindowLongW(documentWindow, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
            if (outlookSupport) {
                setUp.saved = &ShellDropProcedure;
            } else {
                // SetWindowLongPtrW: a 64-bit procedure address must not be cut to 32 bits.
                SetLastError(0);
                const LONG_PTR previous = SetWindowLongPtrW(documentWindow, GWLP_WNDPROC,
                                                            reinterpret_cast<LONG_PTR>(&ShellDropProcedure));
                if (!previous && GetLastError() != 0) throw Error(L"The page window cannot receive dropped files.");
                setUp.saved = reinterpret_cast<WNDPROC>(previous);
            }
            found = table.windows.emplace(documentWindow, std::move(setUp)).first;
            first = true;
        }
        auto& owners = found->second.owners;
        std::erase_if(owners, [owner](const auto& entry) { return entry.first == owner; });
        owners.emplace_back(owner, document);
        ole = found->second.saved == &ShellDropProcedure;
    }
    LetGoOfDeadWindows(dead);
    if (!ole) {
        DragAcceptFiles(documentWindow, TRUE);
        return;
    }
    if (const DropTargetSetup setup = dropTargetSetup.load()) setup(documentWindow, first, document);
}

void ReleaseDropHandling(HWND documentWindow, const void* owner) {
    if (!documentWindow) return;
    auto& table = Windows();
    bool ole = false;
    bool last = false;
    IHTMLDocument2* nowTold = nullptr;
    bool tellAnother = false;
    {
        const std::lock_guard<std::mutex> hold(table.lock);
        const auto found = table.windows.find(documentWindow);
        if (found == table.windows.end()) return;
        auto& setUp = found->second;
        auto& owners = setUp.owners;
        const auto mine =
            std::find_if(owners.begin(), owners.end(), [owner](const auto& entry) { return entry.first == owner; });
        if (mine == owners.end()) return;
        const bool wasTold = mine + 1 == owners.end();
        owners.erase(mine);
        ole = setUp.saved == &ShellDropProcedure;
        last = owners.empty();
        if (!last && wasTold) {
            tellAnother = true;
            nowTold = owners.back().second;
        }
        if (last && !ole) {
            // Unhooked only while the procedure is still the one installed; otherwise it stays and passes on.
            if (GetWindowLongPtrW(documentWindow, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ShellDropProcedure)) {
                SetWindowLongPtrW(documentWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(setUp.saved));
                if (!setUp.acceptedFiles) DragAcceptFiles(documentWindow, FALSE);
                table.windows.erase(found);
            }
        } else if (last) {
            table.windows.erase(found);
        }
    }
    if (tellAnother && ole) {
        if (const DropTargetSetup setup = dropTargetSetup.load()) setup(documentWindow, false, nowTold);
    }
    if (!last) return;
    ForgetWindowFiles(documentWindow);
    if (ole) {
        if (const DropTargetRelease release = dropTargetRelease.load()) release(documentWindow);
    }
}

}  // namespace qm
