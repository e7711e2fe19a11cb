#include "module/registry_plan.h"

#include "common/identity.h"

namespace qm {
namespace {

using Removal = RegistryNode::Removal;

RegistryNode Key(std::wstring name, std::optional<std::wstring> value = std::nullopt) {
    RegistryNode node;
    node.name = std::move(name);
    node.defaultValue = std::move(value);
    return node;
}

std::vector<RegistryNode> MakePlan() {
    RegistryNode progId = Key(kProgId, kClassDescription);
    progId.removal = Removal::Remove;
    progId.children.push_back(Key(L"CLSID", kClsidFileDragDropText));

    RegistryNode indep = Key(kVersionIndependentProgId, kClassDescription);
    indep.removal = Removal::Remove;
    indep.children.push_back(Key(L"CLSID", kClsidFileDragDropText));
    indep.children.push_back(Key(L"CurVer", kProgId));

    RegistryNode cls = Key(kClsidFileDragDropText, kClassDescription);
    cls.replacedWhole = true;
    cls.removal = Removal::Remove;
    cls.children.push_back(Key(L"ProgID", kProgId));
    cls.children.push_back(Key(L"VersionIndependentProgID", kVersionIndependentProgId));
    RegistryNode programmable = Key(L"Programmable");
    programmable.replacedWhole = true;
    cls.children.push_back(programmable);
    RegistryNode inproc = Key(L"InprocServer32", L"%MODULE%");
    inproc.values.emplace_back(L"ThreadingModel", L"Apartment");
    cls.children.push_back(inproc);
    cls.children.push_back(Key(L"TypeLib", kLibidText));
    cls.children.push_back(Key(L"Version", L"2.0"));

    RegistryNode clsid = Key(L"CLSID");
    clsid.removal = Removal::Never;
    clsid.children.push_back(cls);

    return {progId, indep, clsid};
}

// Registrar strings are single-quoted; a quote inside is written twice.
std::wstring Quoted(std::wstring_view text) {
    std::wstring out = L"'";
    for (wchar_t c : text) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    return out + L"'";
}

void WriteNode(std::wstring& out, const RegistryNode& node, int depth) {
    std::wstring indent(depth, L'\t');
    out += indent;
    if (node.removal == Removal::Never) out += L"NoRemove ";
    else if (node.replacedWhole) out += L"ForceRemove ";
    out += Quoted(node.name);
    if (node.defaultValue) {
        // The module path is substituted by the registrar and doubled beforehand.
        out += L" = s " + (*node.defaultValue == L"%MODULE%" ? std::wstring(L"'%MODULE%'") : Quoted(*node.defaultValue));
    }
    out += L"\r\n";
    if (node.values.empty() && node.children.empty()) return;
    out += indent + L"{\r\n";
    for (const auto& [name, value] : node.values) out += indent + L"\tval " + Quoted(name) + L" = s " + Quoted(value) + L"\r\n";
    for (const auto& child : node.children) WriteNode(out, child, depth + 1);
    out += indent + L"}\r\n";
}

void Flatten(const RegistryNode& node, const std::wstring& parent, bool parentRemoved, std::wstring_view modulePath,
             std::vector<RegistryEntry>& out) {
    RegistryEntry entry;
    entry.path = parent.empty() ? node.name : parent + L"\\" + node.name;
    entry.defaultValue = node.defaultValue;
    if (entry.defaultValue && *entry.defaultValue == L"%MODULE%") entry.defaultValue = std::wstring(modulePath);
    entry.values = node.values;
    entry.removedOnUnregister =
        node.removal == Removal::Remove || (node.removal == Removal::WithParent && parentRemoved);
    out.push_back(entry);
    for (const auto& child : node.children) Flatten(child, entry.path, entry.removedOnUnregister, modulePath, out);
}

}  // namespace

const std::vector<RegistryNode>& RegistryPlan() {
    static const std::vector<RegistryNode> plan = MakePlan();
    return plan;
}

std::wstring RegistryScript() {
    std::wstring out = L"HKCR\r\n{\r\n";
    for (const auto& node : RegistryPlan()) WriteNode(out, node, 1);
    return out + L"}\r\n";
}

std::wstring RegistrarModuleValue(std::wstring_view modulePath) {
    std::wstring out;
    for (wchar_t c : modulePath) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    return out;
}

std::vector<RegistryEntry> FlattenRegistryPlan(std::wstring_view modulePath) {
    std::vector<RegistryEntry> out;
    for (const auto& node : RegistryPlan()) Flatten(node, L"", false, modulePath, out);
    return out;
}

std::vector<RegistryEntry> InstallerRegistryEntries(std::wstring_view serverPath, std::wstring_view libraryPath,
                                                    std::wstring_view helpFolder, bool win64) {
    std::vector<RegistryEntry> out = FlattenRegistryPlan(serverPath);
    auto add = [&out](std::wstring path, std::optional<std::wstring> value,
                      std::vector<std::pair<std::wstring, std::wstring>> values = {}) {
        out.push_back(RegistryEntry{std::move(path), std::move(value), std::move(values), true});
    };
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClsidFileDragDropText;
    add(classKey + L"\\Implemented Categories", std::nullopt);
    for (const wchar_t* category : {kCatidSafeForScriptingText, kCatidSafeForInitializingText})
        add(classKey + L"\\Implemented Categories\\" + category, std::nullopt);

    const std::wstring library = std::wstring(L"TypeLib\\") + kLibidText;
    const std::wstring version = library + L"\\" + kTypeLibVersionText;
    add(library, std::nullopt);
    add(version, std::wstring(kTypeLibDescription));
    // The library's flags as registration writes them: widl marks it as having a disk image (LIBFLAG_FHASDISKIMAGE).
    add(version + L"\\FLAGS", std::wstring(L"8"));
    add(version + L"\\0", std::nullopt);
    add(version + L"\\0\\" + (win64 ? L"win64" : L"win32"), std::wstring(libraryPath));
    add(version + L"\\HELPDIR", std::wstring(helpFolder));
    for (auto [iid, name] : {std::pair{kIidFileDragDropText, L"IFileDragDrop"},
                             std::pair{kIidOutlookDragDropText, L"IOutlookDragDrop"}}) {
        const std::wstring key = std::wstring(L"Interface\\") + iid;
        add(key, std::wstring(name));
        // Dual interfaces are marshalled by the automation marshaller from the type library.
        add(key + L"\\ProxyStubClsid", std::wstring(kAutomationMarshalerText));
        add(key + L"\\ProxyStubClsid32", std::wstring(kAutomationMarshalerText));
        add(key + L"\\TypeLib", std::wstring(kLibidText), {{L"Version", kTypeLibVersionText}});
    }
    return out;
}

}  // namespace qm
