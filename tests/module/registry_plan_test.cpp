#include "module/registry_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "common/identity.h"

namespace qm {
namespace {

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClsidFileDragDropText;

std::map<std::wstring, RegistryEntry> EntriesByPath(std::wstring_view modulePath) {
    std::map<std::wstring, RegistryEntry> byPath;
    for (auto& entry : FlattenRegistryPlan(modulePath)) {
        EXPECT_TRUE(byPath.emplace(entry.path, entry).second) << "duplicate key";
    }
    return byPath;
}

TEST(RegistryPlanTest, HoldsExactlyTheClassKeysWithTheirValuesAndRemovalRules) {
    struct Expected {
        std::wstring path;
        std::optional<std::wstring> value;
        bool removed;
    };
    const std::wstring progId = L"Quillmark.FileDragDrop.2";
    const std::wstring indep = L"Quillmark.FileDragDrop";
    const std::wstring clsid = L"{AECB4DB1-0D1D-426F-90FE-AC44A55EA382}";
    const std::vector<Expected> expected = {
        {progId, L"FileDragDrop Class", true},
        {progId + L"\\CLSID", clsid, true},
        {indep, L"FileDragDrop Class", true},
        {indep + L"\\CLSID", clsid, true},
        {indep + L"\\CurVer", progId, true},
        {L"CLSID", std::nullopt, false},
        {L"CLSID\\" + clsid, L"FileDragDrop Class", true},
        {L"CLSID\\" + clsid + L"\\ProgID", progId, true},
        {L"CLSID\\" + clsid + L"\\VersionIndependentProgID", indep, true},
        {L"CLSID\\" + clsid + L"\\Programmable", std::nullopt, true},
        {L"CLSID\\" + clsid + L"\\InprocServer32", L"C:\\PROGRA~1\\Q\\QUILLM~1.DLL", true},
        {L"CLSID\\" + clsid + L"\\TypeLib", L"{E118B428-BDFC-480A-BF3C-EBB46EEB37AE}", true},
        {L"CLSID\\" + clsid + L"\\Version", L"2.0", true},
    };
    auto byPath = EntriesByPath(L"C:\\PROGRA~1\\Q\\QUILLM~1.DLL");
    ASSERT_EQ(byPath.size(), expected.size());
    for (const auto& want : expected) {
        auto found = byPath.find(want.path);
        ASSERT_NE(found, byPath.end()) << std::string(want.path.begin(), want.path.end());
        EXPECT_EQ(found->second.defaultValue, want.value) << std::string(want.path.begin(), want.path.end());
        EXPECT_EQ(found->second.removedOnUnregister, want.removed) << std::string(want.path.begin(), want.path.end());
        const bool isInproc = want.path.ends_with(L"\\InprocServer32");
        if (isInproc) {
            ASSERT_EQ(found->second.values.size(), 1u);
            EXPECT_EQ(found->second.values[0].first, L"ThreadingModel");
            EXPECT_EQ(found->second.values[0].second, L"Apartment");
        } else {
            EXPECT_TRUE(found->second.values.empty());
        }
    }
}

TEST(RegistryPlanTest, ClassKeyAndProgrammableAreReplacedWholeAndClsidIsNeverRemoved) {
    const auto& plan = RegistryPlan();
    ASSERT_EQ(plan.size(), 3u);
    const RegistryNode& clsidRoot = plan[2];
    EXPECT_EQ(clsidRoot.name, L"CLSID");
    EXPECT_EQ(clsidRoot.removal, RegistryNode::Removal::Never);
    EXPECT_FALSE(clsidRoot.replacedWhole);
    ASSERT_EQ(clsidRoot.children.size(), 1u);
    const RegistryNode& cls = clsidRoot.children[0];
    EXPECT_TRUE(cls.replacedWhole);
    EXPECT_EQ(cls.removal, RegistryNode::Removal::Remove);
    for (const auto& child : cls.children) {
        EXPECT_EQ(child.replacedWhole, child.name == L"Programmable") << std::string(child.name.begin(), child.name.end());
        EXPECT_EQ(child.removal, RegistryNode::Removal::WithParent);
    }
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(plan[i].removal, RegistryNode::Removal::Remove);
        EXPECT_FALSE(plan[i].replacedWhole);
    }
}

TEST(RegistryPlanTest, VersionIndependentProgIdPointsToTheVersionedOneAndBothToOneClass) {
    auto byPath = EntriesByPath(L"x");
    for (const std::wstring& path : {std::wstring(kVersionIndependentProgId) + L"\\CurVer",
                                     std::wstring(kProgId) + L"\\CLSID",
                                     std::wstring(kVersionIndependentProgId) + L"\\CLSID"})
        ASSERT_TRUE(byPath.count(path)) << path;
    EXPECT_EQ(byPath.at(std::wstring(kVersionIndependentProgId) + L"\\CurVer").defaultValue, std::wstring(kProgId));
    EXPECT_EQ(byPath.at(std::wstring(kProgId) + L"\\CLSID").defaultValue,
              byPath.at(std::wstring(kVersionIndependentProgId) + L"\\CLSID").defaultValue);
    EXPECT_TRUE(byPath.count(kClassKey));
    EXPECT_EQ(byPath.count(std::wstring(kProgId) + L"\\CurVer"), 0u);
}

TEST(RegistryPlanTest, ModulePathIsPlacedUnchangedInTheFlattenedPlan) {
    auto byPath = EntriesByPath(L"C:\\O'Brien\\Q.dll");
    ASSERT_TRUE(byPath.count(kClassKey + L"\\InprocServer32"));
    EXPECT_EQ(byPath.at(kClassKey + L"\\InprocServer32").defaultValue, std::wstring(L"C:\\O'Brien\\Q.dll"));
}

TEST(RegistryPlanTest, ShippedScriptEqualsTheGeneratedOneByteForByte) {
    // The build gives the source folder: __FILE__ is relative under a compiler cache, and the Wine runs start
    // elsewhere.
    const auto path = std::filesystem::path(QM_SOURCE_DIR) / "src" / "module" / "win32" / "Quillmark.rgs";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "cannot open Quillmark.rgs";
    const std::string shipped((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::wstring generated = RegistryScript();
    std::string narrow;
    for (wchar_t c : generated) {
        ASSERT_LT(static_cast<unsigned>(c), 128u);
        narrow += static_cast<char>(c);
    }
    EXPECT_EQ(shipped, narrow);
    // Every line ends with CRLF; no bare line feed.
    for (std::size_t i = 0; i < narrow.size(); ++i) {
        if (narrow[i] == '\n') {
            ASSERT_TRUE(i > 0 && narrow[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    EXPECT_TRUE(narrow.ends_with("}\r\n"));
}

TEST(RegistryPlanTest, ScriptMarksKeysAndLeavesModuleForTheRegistrar) {
    const std::wstring script = RegistryScript();
    EXPECT_NE(script.find(L"NoRemove 'CLSID'"), std::wstring::npos);
    EXPECT_NE(script.find(L"ForceRemove '{AECB4DB1-0D1D-426F-90FE-AC44A55EA382}' = s 'FileDragDrop Class'"),
              std::wstring::npos);
    EXPECT_NE(script.find(L"ForceRemove 'Programmable'"), std::wstring::npos);
    EXPECT_NE(script.find(L"'InprocServer32' = s '%MODULE%'"), std::wstring::npos);
    EXPECT_NE(script.find(L"val 'ThreadingModel' = s 'Apartment'"), std::wstring::npos);
    EXPECT_EQ(script.find(L"ForceRemove 'Quillmark"), std::wstring::npos);
}

TEST(RegistrarModuleValueTest, DoublesEverySingleQuoteAndKeepsTheRest) {
    EXPECT_EQ(RegistrarModuleValue(L"C:\\O'Brien\\Q.dll"), L"C:\\O''Brien\\Q.dll");
    EXPECT_EQ(RegistrarModuleValue(L"''"), L"''''");
    EXPECT_EQ(RegistrarModuleValue(L"'a'"), L"''a''");
    EXPECT_EQ(RegistrarModuleValue(L"C:\\PROGRA~1\\%x%\\Q.DLL"), L"C:\\PROGRA~1\\%x%\\Q.DLL");
    EXPECT_EQ(RegistrarModuleValue(L""), L"");
}

TEST(InstallerRegistryEntriesTest, AddsCategoriesTypeLibraryAndInterfacesToThePlan) {
    const auto plan = FlattenRegistryPlan(L"SHORT");
    const auto all = InstallerRegistryEntries(L"SHORT", L"LONG", L"DIR\\", true);
    ASSERT_GT(all.size(), plan.size());
    for (size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(all[i].path, plan[i].path);
        EXPECT_EQ(all[i].defaultValue, plan[i].defaultValue);
    }
    std::map<std::wstring, RegistryEntry> byPath;
    for (const auto& entry : all) EXPECT_TRUE(byPath.emplace(entry.path, entry).second) << "duplicate key";
    const std::wstring lib = L"TypeLib\\{E118B428-BDFC-480A-BF3C-EBB46EEB37AE}\\1.0";
    ASSERT_TRUE(byPath.count(kClassKey + L"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    ASSERT_TRUE(byPath.count(kClassKey + L"\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_EQ(byPath[lib + L"\\0\\win64"].defaultValue, std::optional<std::wstring>(L"LONG"));
    EXPECT_EQ(byPath[lib + L"\\HELPDIR"].defaultValue, std::optional<std::wstring>(L"DIR\\"));
    EXPECT_EQ(byPath[lib + L"\\FLAGS"].defaultValue, std::optional<std::wstring>(L"8"));
    EXPECT_EQ(byPath[kClassKey + L"\\InprocServer32"].defaultValue, std::optional<std::wstring>(L"SHORT"));
    for (const wchar_t* iid : {L"{CD8CCCE5-4946-484D-B750-FC03670E6FF1}", L"{409A4AF0-9336-4026-B5B0-55C0064CDC37}"}) {
        const std::wstring key = std::wstring(L"Interface\\") + iid;
        ASSERT_TRUE(byPath.count(key + L"\\TypeLib"));
        EXPECT_EQ(byPath[key + L"\\TypeLib"].defaultValue,
                  std::optional<std::wstring>(L"{E118B428-BDFC-480A-BF3C-EBB46EEB37AE}"));
        EXPECT_EQ(byPath[key + L"\\ProxyStubClsid32"].defaultValue,
                  std::optional<std::wstring>(L"{00020424-0000-0000-C000-000000000046}"));
    }
    const auto x86 = InstallerRegistryEntries(L"SHORT", L"LONG", L"DIR\\", false);
    bool win32Key = false;
    for (const auto& entry : x86) {
        EXPECT_EQ(entry.path.find(L"win64"), std::wstring::npos);
        win32Key = win32Key || entry.path == lib + L"\\0\\win32";
    }
    EXPECT_TRUE(win32Key);
}

}  // namespace
}  // namespace qm
