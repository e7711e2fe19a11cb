#!/usr/bin/env bash
# Both packages, built from stand-in DLLs: their registry rows are the module's registration table row for row, the
# site lock row is written only when ALLOWEDHOSTS is given, and each carries its architecture's fixed upgrade code,
# folder and the version of CMakeLists.txt.
# Usage: package_rows_test.sh REGROWS
set -uo pipefail
regrows=$(readlink -f "$1")
root=$(cd "$(dirname "$0")/../../.." && pwd)
source "$root/scripts/lib/harness.sh"
qm_work package-rows-test
for arch in x64 x86; do mkdir -p "$work/dist/$arch"; printf 'MZ stand-in %s' "$arch" >"$work/dist/$arch/Quillmark.dll"; done
"$root/scripts/package" --dist "$work/dist" --out "$work/out" >"$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
version=$(sed -nE 's/^project\(Quillmark VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
status=0
for arch in x64 x86; do
  msi="$work/out/Quillmark-$version-$arch.msi"
  [ -f "$msi" ] || { echo "FAIL: $msi not made"; status=1; continue; }
  flag=""; [ "$arch" = x86 ] && flag=--win32
  "$regrows" $flag '[!QuillmarkDll]' '[#QuillmarkDll]' '[INSTALLDIR]' >"$work/rows-$arch.txt"
  for t in Registry Component Upgrade Property Directory File LaunchCondition; do msiinfo export "$msi" "$t" >"$work/$arch-$t.idt"; done
  python3 - "$work" "$arch" "$version" <<'PY' || status=1
import os, sys
work, arch, version = sys.argv[1:4]
def table(name):
    lines = open(os.path.join(work, "%s-%s.idt" % (arch, name)), encoding="utf-8").read().splitlines()
    cols = lines[0].split("\t")
    return [dict(zip(cols, l.split("\t") + [""] * len(cols))) for l in lines[3:] if l]
problems = []
want = set()
for line in open(os.path.join(work, "rows-%s.txt" % arch), encoding="utf-8").read().splitlines():
    p = line.split("\t")
    want.add(("0", p[0], "*", "", "Module") if len(p) == 1 else ("0", p[0], p[1], p[2], "Module"))
want.add(("2", "Software\\Velmar\\Quillmark", "AllowedHosts", "[ALLOWEDHOSTS]", "SiteLock"))
got = {(r["Root"], r["Key"], r["Name"], r["Value"], r["Component_"]) for r in table("Registry")}
for row in sorted(want - got): problems.append("missing row %r" % (row,))
for row in sorted(got - want): problems.append("extra row %r" % (row,))
if len(want) < 25: problems.append("only %d rows in the table" % len(want))
comps = {r["Component"]: r for r in table("Component")}
is64 = lambda c: int(comps[c]["Attributes"]) & 256 != 0
if is64("Module") != (arch == "x64") or is64("SiteLock") != (arch == "x64"): problems.append("64-bit flags wrong")
if "ALLOWEDHOSTS" not in comps["SiteLock"]["Condition"] or 'REMOVE~="ALL"' not in comps["SiteLock"]["Condition"]:
    problems.append("lock condition %r" % comps["SiteLock"]["Condition"])
props = {r["Property"]: r["Value"] for r in table("Property")}
if props.get("ProductVersion") != version: problems.append("version %r" % props.get("ProductVersion"))
if "ALLOWEDHOSTS" not in props.get("SecureCustomProperties", "").split(";"): problems.append("ALLOWEDHOSTS not secure")
codes = {"x64": "{A5DA56CE-BF86-4118-A4D1-002B323AB7E5}", "x86": "{5AA9BD09-59F4-4156-8C16-3E2902B583B7}"}
if props.get("UpgradeCode") != codes[arch]: problems.append("upgrade code %r" % props.get("UpgradeCode"))
ups = table("Upgrade")
if not any(u["VersionMax"] == version and u["ActionProperty"] == "WIX_UPGRADE_DETECTED" for u in ups):
    problems.append("no major upgrade of older versions: %r" % ups)
conds = [r["Condition"] for r in table("LaunchCondition")]
if "NOT WIX_DOWNGRADE_DETECTED" not in conds: problems.append("no downgrade refusal: %r" % conds)
if arch == "x86" and "NOT (VersionNT64 AND ALLOWEDHOSTS)" not in conds: problems.append("x86 lock refusal: %r" % conds)
dirs = {r["Directory"]: r for r in table("Directory")}
pf = "ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder"
if dirs.get("INSTALLDIR", {}).get("Directory_Parent") != pf: problems.append("folder %r" % dirs.get("INSTALLDIR"))
files = table("File")
if [f["FileName"].split("|")[-1] for f in files] != ["Quillmark.dll"]: problems.append("files %r" % files)
print("%s: %d rows compared" % (arch, len(want)))
if problems:
    print("FAIL " + arch + ":\n  " + "\n  ".join(problems)); sys.exit(1)
PY
done
[ $status = 0 ] && echo "package rows: ok"
exit $status
