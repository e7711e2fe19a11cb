#pragma once
// Drop handling on a document window, set up once per window: the shell drop entry (a window procedure that
// records WM_DROPFILES) or the OLE drop target, which lives above the control and is bound by the module.
// Each control that set a window up owns a share of it; when the last owner lets go, the window's pending files
// and its drop handling go too, so a later page on that window neither hears of drops nor takes their files.
#include <windows.h>
#include <mshtml.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "control/dropped_files.h"

namespace qm {

// Sets up the OLE drop target on a window. firstForWindow is true on the first set-up of that window in the
// process; the document is the one Init was given (every Init hands it over).
// It is also called with firstForWindow false when the owner whose page it tells leaves and another stays.
using DropTargetSetup = void (*)(HWND documentWindow, bool firstForWindow, IHTMLDocument2* document);
// Revokes the window's OLE drop target and lets go of its page.
using DropTargetRelease = void (*)(HWND documentWindow);
void BindDropTargetSetup(DropTargetSetup setup, DropTargetRelease release);

// Sets up the shell drop entry, or the OLE drop target when outlookSupport is set, for the owner (a control);
// a window already set up is left as it is (the owner's document still goes to the drop target, which tells the
// page of the latest owner's set-up). Throws on failure.
void SetUpDropHandling(HWND documentWindow, bool outlookSupport, IHTMLDocument2* document, const void* owner);
// The owner lets go of the window. The last owner's leaving forgets the window's pending files (and removes
// their scratch folder), restores the window procedure where nothing was installed over it since, and revokes
// the OLE drop target.
void ReleaseDropHandling(HWND documentWindow, const void* owner);

// Replaces the window's pending files; a scratch folder holds saved mail items and goes with the entry. The
// folder of a replaced entry is removed.
void RecordDrop(HWND window, std::vector<std::wstring> files, std::wstring scratchFolder = {});
// The folder under which each mail drop gets a folder of its own: the temporary folder's "Quillmark Mail\".
// Empty when the temporary folder cannot be told.
std::wstring MailFolderRoot();
// Removes a folder of saved mail items with the files in it; anything outside the mail folder is left alone.
void RemoveScratchFolder(const std::wstring& folder);

inline WindowKey KeyOf(HWND window) { return reinterpret_cast<WindowKey>(window); }

// Records the items of a shell drop as the window's entry in the dropped-file table; folders are left out.
// Does not release the drop. False when the items could not be read: the entry is left as it was.
bool RecordShellDrop(HWND window, HDROP drop);

// Waits for a drop still on its way: dispatches only the window's pending WM_DROPFILES meanwhile, so no page
// script runs inside the wait.
void WaitForDrops(HWND window, unsigned milliseconds);

}  // namespace qm
