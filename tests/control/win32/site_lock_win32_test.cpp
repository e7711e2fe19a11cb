#include "control/win32/site_lock_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "common/win32/owners.h"

namespace qm {
namespace {

// The reader is pointed at this user's part of the registry, so the machine's own list is left alone.
class SiteLockRegistry : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Velmar\\Quillmark"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Velmar\\Quillmark"); }
    static void Put(DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Velmar\\Quillmark", 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const UniqueHkey owner(key);
        ASSERT_EQ(RegSetValueExW(key, kSiteLockValue, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    static void PutText(DWORD type, const std::wstring& text) {
        Put(type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    using Hosts = std::vector<std::wstring>;
};

TEST_F(SiteLockRegistry, NoKeyOrNoValueMeansNoLock) {
    EXPECT_FALSE(ReadSiteLock(HKEY_CURRENT_USER).has_value());
    PutText(REG_SZ, L"x");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Velmar\\Quillmark", kSiteLockValue);
    EXPECT_FALSE(ReadSiteLock(HKEY_CURRENT_USER).has_value()) << "the key alone is no list";
}

TEST_F(SiteLockRegistry, TextAndMultiStringValuesGiveTheirHosts) {
    PutText(REG_SZ, L"Files.Example.com; 127.0.0.1");
    EXPECT_EQ(ReadSiteLock(HKEY_CURRENT_USER), (Hosts{L"files.example.com", L"127.0.0.1"}));
    const std::wstring multi(L"a.example\0*.corp.example\0\0", 26);
    Put(REG_MULTI_SZ, multi.c_str(), static_cast<DWORD>(multi.size() * sizeof(wchar_t)));
    EXPECT_EQ(ReadSiteLock(HKEY_CURRENT_USER), (Hosts{L"a.example", L"*.corp.example"}));
}

TEST_F(SiteLockRegistry, AValueThatHoldsNoUsableListLocksEveryPageOut) {
    const DWORD number = 1;
    Put(REG_DWORD, &number, sizeof number);
    auto lock = ReadSiteLock(HKEY_CURRENT_USER);
    ASSERT_TRUE(lock.has_value());
    EXPECT_TRUE(lock->empty());

    PutText(REG_SZ, std::wstring(40000, L'a'));  // 80 000 bytes: no list of hosts is that long
    lock = ReadSiteLock(HKEY_CURRENT_USER);
    ASSERT_TRUE(lock.has_value());
    EXPECT_TRUE(lock->empty());

    PutText(REG_SZ, L"");
    lock = ReadSiteLock(HKEY_CURRENT_USER);
    ASSERT_TRUE(lock.has_value()) << "an empty list is a list";
    EXPECT_TRUE(lock->empty());
}

}  // namespace
}  // namespace qm
