#include "control/win32/site_lock_win32.h"

#include "common/win32/owners.h"
#include "control/site_lock.h"
#include "localfiles/settings.h"

namespace qm {

std::optional<std::vector<std::wstring>> ReadSiteLock(HKEY root) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, kSettingsKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const UniqueHkey key(opened);
    constexpr DWORD kLargest = 64 * 1024;
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExW(key.get(), kSiteLockValue, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (status != ERROR_SUCCESS || !text || size > kLargest) return std::vector<std::wstring>{};
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = size;
    status = RegQueryValueExW(key.get(), kSiteLockValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (status != ERROR_SUCCESS) return std::vector<std::wstring>{};  // changed meanwhile: stay locked
    buffer.resize(got / sizeof(wchar_t));
    return ParseAllowedHosts(buffer);
}

}  // namespace qm
