#pragma once
// DownloadFile as the control object runs it: the ports over the control's page, the platform and the user.
#include <windows.h>

#include <string>

#include "control/win32/file_drag_drop.h"

namespace qm {

// The status of the automation method (S_OK, or S_FALSE for status 1).
HRESULT RunDownloadFile(FileDragDrop& control, const std::wstring& elementId);

}  // namespace qm
