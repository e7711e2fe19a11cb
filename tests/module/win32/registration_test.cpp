#include "module/win32/registration.h"

#include <windows.h>
#include <oleauto.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include "common/identity.h"
#include "module/win32/module_under_test.h"
#include "quillmark_h.h"

namespace qm {
namespace {

using namespace qm::testing;
using Microsoft::WRL::ComPtr;

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsidFileDragDropText;
const std::wstring kSafeForScripting = L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const std::wstring kSafeForInitializing = L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

std::wstring ShortForm(const std::wstring& path) {
    std::vector<wchar_t> buffer(32768);
    DWORD length = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    return length ? std::wstring(buffer.data(), length) : path;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

void ExpectRegisteredFrom(const std::wstring& modulePath) {
    EXPECT_EQ(ReadString(L"Quillmark.FileDragDrop.2"), std::wstring(L"FileDragDrop Class"));
    EXPECT_EQ(ReadString(L"Quillmark.FileDragDrop.2\\CLSID"), std::wstring(kClsidFileDragDropText));
    EXPECT_EQ(ReadString(L"Quillmark.FileDragDrop"), std::wstring(L"FileDragDrop Class"));
    EXPECT_EQ(ReadString(L"Quillmark.FileDragDrop\\CLSID"), std::wstring(kClsidFileDragDropText));
    EXPECT_EQ(ReadString(L"Quillmark.FileDragDrop\\CurVer"), std::wstring(L"Quillmark.FileDragDrop.2"));

    EXPECT_EQ(ReadString(kClassKey), std::wstring(L"FileDragDrop Class"));
    EXPECT_EQ(ReadString(kClassKey + L"\\ProgID"), std::wstring(L"Quillmark.FileDragDrop.2"));
    EXPECT_EQ(ReadString(kClassKey + L"\\VersionIndependentProgID"), std::wstring(L"Quillmark.FileDragDrop"));
    EXPECT_TRUE(KeyExists(kClassKey + L"\\Programmable"));
    EXPECT_EQ(ReadString(kClassKey + L"\\Programmable"), std::nullopt) << "Programmable is an empty key";
    EXPECT_EQ(ReadString(kClassKey + L"\\InprocServer32"), ShortForm(modulePath));
    EXPECT_EQ(ReadString(kClassKey + L"\\InprocServer32", L"ThreadingModel"), std::wstring(L"Apartment"));
    EXPECT_EQ(ReadString(kClassKey + L"\\TypeLib"), std::wstring(kLibidText));
    EXPECT_EQ(ReadString(kClassKey + L"\\Version"), std::wstring(L"2.0"));
    EXPECT_TRUE(KeyExists(kClassKey + L"\\Implemented Categories\\" + kSafeForScripting));
    EXPECT_TRUE(KeyExists(kClassKey + L"\\Implemented Categories\\" + kSafeForInitializing));

    const std::wstring typeLibKey = std::wstring(L"TypeLib\\") + kLibidText + L"\\1.0";
    EXPECT_EQ(ReadString(typeLibKey), std::wstring(L"Quillmark 2.0 Type Library"));
}

TEST(RegistrationTest, IdentitiesAgreeWithTheTypeLibrary) {
    EXPECT_EQ(GuidText(LIBID_QUILLMARKLib), kLibidText);
    EXPECT_EQ(GuidText(IID_IFileDragDrop), kIidFileDragDropText);
    EXPECT_EQ(GuidText(CLSID_FileDragDrop), kClsidFileDragDropText);
    EXPECT_EQ(GuidText(IID_IOutlookDragDrop), kIidOutlookDragDropText);
    EXPECT_EQ(GuidText(CLSID_OutlookDragDrop), kClsidOutlookDragDropText);
}

TEST(RegistrationTest, WritesEveryKeyAndValueAndTheTypeLibrary) {
    EnsureRegistered();
    ExpectRegisteredFrom(ModulePath());

    // Registered again over itself: still the same entries.
    ASSERT_EQ(Module().registerServer(), S_OK);
    ExpectRegisteredFrom(ModulePath());

    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadRegTypeLib(LIBID_QUILLMARKLib, 1, 0, LOCALE_NEUTRAL, &library), S_OK);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IFileDragDrop, &info), S_OK);
    // The outlook class is only described, never registered.
    EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + kClsidOutlookDragDropText));
}

TEST(RegistrationTest, BothProgIdsResolveToTheClass) {
    EnsureRegistered();
    CLSID versioned = {}, independent = {};
    ASSERT_EQ(CLSIDFromProgID(L"Quillmark.FileDragDrop.2", &versioned), S_OK);
    ASSERT_EQ(CLSIDFromProgID(L"Quillmark.FileDragDrop", &independent), S_OK);
    EXPECT_TRUE(IsEqualCLSID(versioned, CLSID_FileDragDrop));
    EXPECT_TRUE(IsEqualCLSID(independent, CLSID_FileDragDrop));
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_FileDragDrop, &progId), S_OK);
    EXPECT_EQ(std::wstring(progId), L"Quillmark.FileDragDrop.2");
    CoTaskMemFree(progId);
}

TEST(RegistrationTest, ModulePathWithSingleQuoteIsWrittenIntact) {
    EnsureRegistered();
    const std::wstring folder = ProgramFolder() + L"O'Brien";
    const std::wstring copy = folder + L"\\Quillmark.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE));
    {
        ModuleExports quoted = ModuleExports::Load(copy);
        ASSERT_TRUE(quoted.complete());
        EXPECT_EQ(quoted.registerServer(), S_OK);
        const auto written = ReadString(kClassKey + L"\\InprocServer32");
        ASSERT_TRUE(written);
        EXPECT_EQ(*written, ShortForm(copy));
        EXPECT_NE(written->find(L'\''), std::wstring::npos) << Narrow(*written);
        EXPECT_EQ(written->find(L"''"), std::wstring::npos) << Narrow(*written);
        EXPECT_EQ(ReadString(kClassKey + L"\\InprocServer32", L"ThreadingModel"), std::wstring(L"Apartment"));
        FreeLibrary(quoted.module);
    }
    // Back to the module beside the program for the other tests.
    ASSERT_EQ(Module().registerServer(), S_OK);
    ExpectRegisteredFrom(ModulePath());
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(RegistrationTest, UnregistrationRemovesTheClassButKeepsClsidAndCanBeUndone) {
    EnsureRegistered();
    ASSERT_EQ(Module().unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(L"Quillmark.FileDragDrop.2"));
    EXPECT_FALSE(KeyExists(L"Quillmark.FileDragDrop"));
    EXPECT_FALSE(KeyExists(kClassKey));
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_FALSE(KeyExists(std::wstring(L"TypeLib\\") + kLibidText + L"\\1.0"));
    CLSID clsid = {};
    EXPECT_NE(CLSIDFromProgID(L"Quillmark.FileDragDrop", &clsid), S_OK);

    // A second unregistration finds nothing to remove and still succeeds.
    EXPECT_EQ(Module().unregisterServer(), S_OK);

    ASSERT_EQ(Module().registerServer(), S_OK);
    ExpectRegisteredFrom(ModulePath());
}

TEST(RegistrationTest, TypeLibraryPathsAreDerivedFromTheModulePath) {
    EXPECT_EQ(HelpFolderOf(L"C:\\Program Files\\Q\\Quillmark.dll"), L"C:\\Program Files\\Q\\");
    EXPECT_EQ(HelpFolderOf(L"C:/q/Quillmark.dll"), L"C:/q/");
    EXPECT_EQ(HelpFolderOf(L"C:Quillmark.dll"), L"C:");
    EXPECT_EQ(HelpFolderOf(L"Quillmark.dll"), L"");
    EXPECT_EQ(TypeLibraryFileBeside(L"C:\\q\\Quillmark.dll"), L"C:\\q\\Quillmark.tlb");
}

}  // namespace
}  // namespace qm
