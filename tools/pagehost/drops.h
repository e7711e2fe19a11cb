#pragma once
// Drops for tests: a real shell drop (an HDROP posted as WM_DROPFILES) and an OLE drop through the drop target the
// control registered, with a data object offering CF_HDROP, a mail item's "Object Descriptor" or plain text.
#include <windows.h>

#include <string>
#include <vector>

namespace qm::pagehost {

// Posts WM_DROPFILES to window; false when it could not be posted (the memory is then freed).
bool PostShellDrop(HWND window, const std::vector<std::wstring>& paths);

enum class DropKind { Files, MailItem, Text };
// Enters, moves over and drops on window's registered target; returns the effect of the drop
// (DROPEFFECT_NONE when the target refused or none is registered, -1 when there is no target).
long OleDrop(HWND window, DropKind kind, const std::vector<std::wstring>& payload);

}  // namespace qm::pagehost
