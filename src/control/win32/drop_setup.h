#pragma once
// Drop handling on a document window, set up once per window: the shell drop entry (a window procedure that
// records WM_DROPFILES) or the OLE drop target, which lives above the control and is bound by the module.
#include <windows.h>
#include <mshtml.h>
#include <shellapi.h>

#include "control/dropped_files.h"

namespace qm {

// Sets up the OLE drop target on a window. firstForWindow is true on the first set-up of that window in the
// process; the document is the one Init was given (every Init hands it over).
using DropTargetSetup = void (*)(HWND documentWindow, bool firstForWindow, IHTMLDocument2* document);
void BindDropTargetSetup(DropTargetSetup setup);

// Sets up the shell drop entry, or the OLE drop target when outlookSupport is set; a window already set up is
// left as it is (the document still goes to the drop target). Throws on failure.
void SetUpDropHandling(HWND documentWindow, bool outlookSupport, IHTMLDocument2* document);

inline WindowKey KeyOf(HWND window) { return reinterpret_cast<WindowKey>(window); }

// Records the items of a shell drop as the window's entry in the dropped-file table; folders are left out.
// Does not release the drop. False when the items could not be read: the entry is left as it was.
bool RecordShellDrop(HWND window, HDROP drop);

// Waits for a drop still on its way: dispatches only the window's pending WM_DROPFILES meanwhile, so no page
// script runs inside the wait.
void WaitForDrops(HWND window, unsigned milliseconds);

}  // namespace qm
