#pragma once
// Process-wide module state: the lock count and the type information served to IDispatch callers.
#include <windows.h>
#include <oaidl.h>

namespace qm {

void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

// The IFileDragDrop type information from the registered type library, loaded once; null with the load error.
HRESULT FileDragDropTypeInfo(ITypeInfo** info);

}  // namespace qm
