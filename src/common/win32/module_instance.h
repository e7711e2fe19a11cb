#pragma once
#include <windows.h>

namespace qm {

// The module that holds this code and its resources: the DLL, or a test program that links the adapters.
HINSTANCE ModuleInstance();

}  // namespace qm
