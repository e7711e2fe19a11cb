#pragma once
// The one exit of every automation method: turns whatever was thrown into a status, after telling the user.
#include <windows.h>

namespace qm {

// Call from a catch (...) block only. A qm::Error is shown with ShowError; out of memory gives E_OUTOFMEMORY;
// anything else is shown as an unexpected error. The status is S_FALSE unless out of memory.
HRESULT CaughtStatus() noexcept;

// The same status without a message box, for places where the user must not be asked anything.
HRESULT CaughtStatusQuiet() noexcept;

}  // namespace qm
