#pragma once
// Reads the administrator's list of allowed page hosts from the machine's part of the registry.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qm {

// The value "AllowedHosts" under HKEY_LOCAL_MACHINE\Software\Velmar\Quillmark (the 64-bit view on every
// system, so one entry serves both builds). Absent: nullopt, no lock. Present: its hosts; a value of a
// kind that holds no text, or one too large to be a list, locks every page out.
std::optional<std::vector<std::wstring>> ReadSiteLock(HKEY root = HKEY_LOCAL_MACHINE);

inline constexpr wchar_t kSiteLockValue[] = L"AllowedHosts";

}  // namespace qm
