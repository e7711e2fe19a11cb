#pragma once
// The class's registry entries under HKEY_CLASSES_ROOT as data, and the registrar script made from them.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

struct RegistryNode {
    enum class Removal { WithParent, Remove, Never };
    std::wstring name;
    std::optional<std::wstring> defaultValue;
    std::vector<std::pair<std::wstring, std::wstring>> values;  // named string values
    bool replacedWhole = false;                                 // deleted before it is written again
    Removal removal = Removal::WithParent;
    std::vector<RegistryNode> children;
};

// Top-level keys under HKEY_CLASSES_ROOT; the module path appears as "%MODULE%".
const std::vector<RegistryNode>& RegistryPlan();

// The plan in the registrar's script language.
std::wstring RegistryScript();

// The "%MODULE%" replacement: a path with each single quote doubled, as the script's quoting needs.
std::wstring RegistrarModuleValue(std::wstring_view modulePath);

// A flattened entry of the plan, for checks: full key path, its default value and named values.
struct RegistryEntry {
    std::wstring path;
    std::optional<std::wstring> defaultValue;
    std::vector<std::pair<std::wstring, std::wstring>> values;
    bool removedOnUnregister;
};
std::vector<RegistryEntry> FlattenRegistryPlan(std::wstring_view modulePath);

// Everything registering the module leaves under HKEY_CLASSES_ROOT: the plan, then what the categories manager
// and the type library registration add (the class's safe-for-scripting and safe-for-initializing categories, the
// type library's keys, its interfaces). An installer that writes the registration as its own rows writes these.
// The library path is the module's long path, the server path the plan's; helpFolder ends with a separator.
std::vector<RegistryEntry> InstallerRegistryEntries(std::wstring_view serverPath, std::wstring_view libraryPath,
                                                    std::wstring_view helpFolder, bool win64);

}  // namespace qm
