#pragma once
// Watches what the control does with the platform by redirecting a few of the control module's imports (its
// import address table): message boxes, modal dialogs and choosers with their end codes, and the OLE drop target
// it registers. Every call still goes to the platform.
#include <windows.h>
#include <ole2.h>

#include <string>

namespace qm::pagehost {

// The document window, so that records can name owners.
void SetDocumentWindow(HWND window);
HWND DocumentWindow();
// "none", "document", or the class and caption of another window.
std::wstring OwnerName(HWND window);

// Shell opens asked for by the control are recorded; true carries them out as well.
void SetReallyOpen(bool open);

// Patches the imports of the loaded module; returns how many imports were redirected.
int HookModule(HMODULE module);

// The drop target the control registered for window (through the redirected RegisterDragDrop), or null.
IDropTarget* RegisteredDropTarget(HWND window);

}  // namespace qm::pagehost
