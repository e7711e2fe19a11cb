#pragma once
#include <windows.h>

#include <string>

namespace qm {

HRESULT RegisterModule();
HRESULT UnregisterModule();  // always S_OK

// The path a type library is registered with, up to and including its last "\", "/" or ":".
std::wstring HelpFolderOf(const std::wstring& path);
// The path with its extension (from the last ".") replaced by ".tlb".
std::wstring TypeLibraryFileBeside(const std::wstring& modulePath);

}  // namespace qm
