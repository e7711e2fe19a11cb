// regrows [--win32] SERVER LIBRARY HELPFOLDER
// One line per registry key under HKEY_CLASSES_ROOT that registering the module writes, in UTF-8:
//   KEY<TAB>NAME<TAB>VALUE   a value (NAME empty: the key's default value)
//   KEY                      a key that holds no value and no subkey
// SERVER, LIBRARY and HELPFOLDER are written where the module's short path, its long path and its folder go.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "module/registry_plan.h"
#include "protocol/wire_text.h"

namespace {

std::wstring Wide(const char* text) {
    // Arguments are ASCII placeholders such as "[#File]".
    return std::wstring(text, text + std::strlen(text));
}

}  // namespace

int main(int argc, char** argv) {
    bool win64 = true;
    std::vector<const char*> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--win32") == 0) win64 = false;
        else positional.push_back(argv[i]);
    }
    if (positional.size() != 3) {
        std::fprintf(stderr, "usage: regrows [--win32] SERVER LIBRARY HELPFOLDER\n");
        return 2;
    }
    const auto entries =
        qm::InstallerRegistryEntries(Wide(positional[0]), Wide(positional[1]), Wide(positional[2]), win64);
    for (const auto& entry : entries) {
        if (!entry.removedOnUnregister) continue;  // shared keys such as CLSID: never the module's to write
        const std::string key = qm::Utf8Bytes(std::wstring(entry.path));
        bool hasChild = false;
        for (const auto& other : entries)
            if (other.path.size() > entry.path.size() && other.path.starts_with(entry.path + L"\\")) hasChild = true;
        if (entry.defaultValue) std::printf("%s\t\t%s\n", key.c_str(), qm::Utf8Bytes(std::wstring(*entry.defaultValue)).c_str());
        for (const auto& [name, value] : entry.values)
            std::printf("%s\t%s\t%s\n", key.c_str(), qm::Utf8Bytes(std::wstring(name)).c_str(), qm::Utf8Bytes(std::wstring(value)).c_str());
        if (!entry.defaultValue && entry.values.empty() && !hasChild) std::printf("%s\n", key.c_str());
    }
    return 0;
}
