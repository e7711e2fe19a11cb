#pragma once
// The upload operations as the control object runs them: the ports over the control's page, the platform and
// the user.
#include <windows.h>

#include <string>
#include <vector>

#include "control/win32/file_drag_drop.h"

namespace qm {

HRESULT RunUploadFile(FileDragDrop& control, const std::wstring& elementId, LONG multiSelect);
HRESULT RunUploadSetup(FileDragDrop& control, const std::wstring& elementId, const std::vector<std::wstring>& files);
HRESULT RunUpdateFile(FileDragDrop& control, const std::wstring& objectId, INT fileLocation);
HRESULT RunProcessLockedFiles(FileDragDrop& control);

}  // namespace qm
