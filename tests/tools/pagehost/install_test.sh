#!/usr/bin/env bash
# The control as administrators deploy it: the package of this build installed with msiexec in a fresh prefix, the
# page host creating it from wherever the package put it and downloading from the reference store, a newer package
# upgrading it in place, the site lock given at install, and uninstall leaving the registry as it found it. The
# package's registration is compared with the module's own (regsvr32) at the end.
# Usage: install_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
export QM_PAGEHOST_NO_REGISTER=1
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite install "$@"

arch=$(basename "$dist")
version=$(sed -nE 's/^project\(Quillmark VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
IFS=. read -r v1 v2 v3 _ <<<"$version"
newer="$v1.$v2.$((v3 + 1))"
"$root/scripts/package" --dist "$(dirname "$dist")" --arch "$arch" --out "$work/pkg" >"$work/package.log" 2>&1 &&
  "$root/scripts/package" --dist "$(dirname "$dist")" --arch "$arch" --out "$work/pkg" --version "$newer" \
    >>"$work/package.log" 2>&1 || { echo "FAIL: packaging"; cat "$work/package.log"; exit 1; }
old_msi="$work/pkg/Quillmark-$version-$arch.msi"
new_msi="$work/pkg/Quillmark-$newer-$arch.msi"
if [ "$arch" = x64 ]; then program_files="Program Files"; else program_files="Program Files (x86)"; fi
installed="$WINEPREFIX/drive_c/$program_files/Quillmark/Quillmark.dll"

# msiexec ARGS... -> $work/msi-N.code; waits for the server so the registry is on disk afterwards.
msi_count=0
msi() {
  msi_count=$((msi_count + 1))
  timeout 300 "$QM_WINE64" msiexec "$@" /qn /l*v "$(qm_winpath "$work")\\msi-$msi_count.log" >/dev/null 2>&1
  echo $? >"$work/msi-$msi_count.code"
  WINEPREFIX="$WINEPREFIX" timeout 120 "$QM_WINESERVER" -w 2>/dev/null
  return "$(cat "$work/msi-$msi_count.code")"
}
# snapshot NAME: every key and value of HKLM (both views, classes included) and HKCU, one line each.
snapshot() {
  WINEPREFIX="$WINEPREFIX" timeout 120 "$QM_WINESERVER" -w 2>/dev/null
  python3 - "$WINEPREFIX" "$work/reg-$1.txt" <<'PY'
import re, sys
prefix, out = sys.argv[1], sys.argv[2]
lines = []
for hive, name in (("HKLM", "system.reg"), ("HKCU", "user.reg")):
    key = None
    text = open("%s/%s" % (prefix, name), encoding="utf-8", errors="replace").read().replace("\\\n  ", "")
    for line in text.splitlines():
        m = re.match(r"^\[(.*)\](?: \d+)?$", line)
        if m:
            key = hive + "\\" + m.group(1).replace("\\\\", "\\")
            lines.append(key)
        elif key and line and not line.startswith("#") and not line.startswith(";"):
            lines.append(key + " :: " + line)
open(out, "w", encoding="utf-8").write("\n".join(sorted(set(lines))) + "\n")
PY
}
start_store "$seeds/plan.txt"
curl -s -o "$work/plan.bytes" "$base/_filestore/bytes?view=Documents&key=01234567-89ab-cdef-0123-456789abcdef"
page="$base/download.xhtml"

snapshot before
verdict_prelude='
def msi_code(n): return int(open(os.path.join(work, "msi-%d.code" % n)).read())
def created(): return [e for e in ev if e.get("kind") == "createObject"]
def downloaded(folder):
    p = os.path.join(work, folder, "Plan.doc")
    return os.path.exists(p) and read(p) == read(os.path.join(work, "plan.bytes"))
'

# Install, then a page creates the control from Program Files and downloads with the dialogs hooked.
msi /i "$(qm_winpath "$old_msi")"
snapshot installed
mkdir -p "$work/out1"
run installed "" -- --page "$page" --arg ids=doc --arg "dir=$(qm_winpath "$work/out1")" --timeout 60
export QM_INSTALLED="$installed" QM_NEWER="$newer"
verdict installed '
need(msi_code(1) == 0, "msiexec /i exit code %d" % msi_code(1))
need(os.path.exists(os.environ["QM_INSTALLED"]), "the DLL is in Program Files")
need(code == 0, "exit code %d" % code)
need(any(e.get("hr") == 0 and e.get("hooked") for e in created()), "created and hooked: %r" % created())
need(any(e.get("kind") == "hooks" and e.get("redirected", 0) > 0 for e in ev), "imports redirected")
need(downloaded("out1"), "Plan.doc downloaded")
'

# A newer package replaces the older one: one product left, of the newer version, and the control still works.
msi /i "$(qm_winpath "$new_msi")"
snapshot upgraded
mkdir -p "$work/out2"
run upgraded "" -- --page "$page" --arg ids=doc --arg "dir=$(qm_winpath "$work/out2")" --timeout 60
verdict upgraded '
need(msi_code(2) == 0, "msiexec /i of the newer package: exit code %d" % msi_code(2))
reg = open(os.path.join(work, "reg-upgraded.txt"), encoding="utf-8").read().splitlines()
products = [l.split(" :: ")[0] for l in reg if " :: \"DisplayName\"=\"Quillmark" in l and "\\Uninstall\\" in l]
shown = [l.split("=", 1)[1] for l in reg if l.split(" :: ")[0] in products and " :: \"DisplayVersion\"=" in l]
need(len(products) == 1, "one Quillmark product registered: %r" % products)
need(shown == ["\"%s\"" % os.environ["QM_NEWER"]], "the newer version registered: %r" % shown)
need(code == 0 and downloaded("out2"), "the upgraded control downloads")
'

# Uninstall: the DLL, its folder and every key and value the install added are gone.
msi /x "$(qm_winpath "$new_msi")"
snapshot removed
run removed "" -- --page "$page" --arg ids=doc --arg "dir=$(qm_winpath "$work/out2")" --timeout 30
verdict_removed='
# Not the packages: Wine redetects hardware and WinInet notes the proxy at each start; the installer service keeps
# its (empty) folders of products, features and upgrade codes once made, as Windows has them from the start.
import re
noise = re.compile(r"^HKLM\\System\\CurrentControlSet\\Control\\Class\\|NetworkCards|Internet Settings :: \"ProxyEnable\"|"
                   r"^HKLM\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer(\\UserData\\S-1-5-18)?)\\"
                   r"(Features|Products|UpgradeCodes|Components)$")
before = {l for l in open(os.path.join(work, "reg-before.txt"), encoding="utf-8").read().splitlines() if not noise.search(l)}
def compare(after_name, label):
    after = {l for l in open(os.path.join(work, "reg-" + after_name + ".txt"), encoding="utf-8").read().splitlines()
             if not noise.search(l)}
    added, lost = sorted(after - before), sorted(before - after)
    open(os.path.join(work, "diff-" + after_name + ".txt"), "w").write("\n".join(["+ " + l for l in added] + ["- " + l for l in lost]) + "\n")
    need(not added, "%s: %d keys or values left, first: %r" % (label, len(added), added[:5]))
    need(not lost, "%s: %d keys or values lost, first: %r" % (label, len(lost), lost[:5]))
'
verdict removed "$verdict_removed"'
need(msi_code(3) == 0, "msiexec /x exit code %d" % msi_code(3))
need(not os.path.exists(os.path.dirname(os.environ["QM_INSTALLED"])), "the install folder is gone")
need(any(e.get("hr", 0) != 0 for e in created()), "the control cannot be created any more: %r" % created())
compare("removed", "after uninstall")
'

if [ "$arch" = x86 ]; then
# On 64-bit Windows the control reads the lock from the 64-bit view, which a 32-bit package cannot write: the
# x86 package refuses the lock there (the x64 package deploys it) and installs nothing.
msi /i "$(qm_winpath "$old_msi")" ALLOWEDHOSTS="files.example.com"
snapshot refused
run locked "" -- --page "$page" --arg ids=nothing --timeout 30
verdict locked "$verdict_removed"'
need(msi_code(4) != 0, "the x86 package refuses the lock on 64-bit Windows")
need(not os.path.exists(os.environ["QM_INSTALLED"]), "nothing installed")
compare("refused", "after the refused install")
'
else
# The site lock given at install: a page from a host not on the list can do nothing; uninstall takes the lock too.
msi /i "$(qm_winpath "$old_msi")" ALLOWEDHOSTS="files.example.com"
lock_value=$(timeout 60 "$wine" reg query 'HKLM\Software\Velmar\Quillmark' /v AllowedHosts /reg:64 2>/dev/null | tr -d '\r')
echo "$lock_value" >"$work/lock-value.txt"
mkdir -p "$work/out3"
run locked "" -- --page "$page" --arg ids=doc --arg "dir=$(qm_winpath "$work/out3")" --timeout 60
msi /x "$(qm_winpath "$old_msi")"
snapshot unlocked
verdict locked "$verdict_removed"'
need(msi_code(4) == 0 and msi_code(5) == 0, "install and uninstall exit codes %d %d" % (msi_code(4), msi_code(5)))
need("files.example.com" in open(os.path.join(work, "lock-value.txt")).read(), "the lock value was written")
need(code == 0, "exit code %d" % code)
need(any(e.get("hr") == 0 for e in created()), "the control is created")
need(not downloaded("out3") and not os.listdir(os.path.join(work, "out3")), "nothing downloaded")
need(not any(e.get("kind") in ("dialogStart", "messageBox", "call") for e in ev), "no dialog, message or page call")
compare("unlocked", "after uninstalling the locked install")
'
fi

# The package writes what the module writes when it registers itself: both compared under the classes keys.
mkdir -p "$(dirname "$installed")"
cp "$dist/Quillmark.dll" "$installed"
timeout 120 "$wine" regsvr32 /s "C:\\$program_files\\Quillmark\\Quillmark.dll" >/dev/null 2>&1
snapshot selfreg
run selfreg "" -- --page "$page" --arg ids=nothing --timeout 30
verdict selfreg '
import re
def classes(name):
    lines = open(os.path.join(work, "reg-" + name + ".txt"), encoding="utf-8").read().splitlines()
    before = set(open(os.path.join(work, "reg-before.txt"), encoding="utf-8").read().splitlines())
    # Wine registers the interfaces of a 64-bit library in both views; on Windows the Interface key is shared.
    # ProgIDs are shared too (Windows 7 on): Wine's installer puts a 32-bit package's under Wow6432Node, its
    # registrar in the shared key; a 32-bit page finds them either way.
    lines = {re.sub(r"\\wow6432node\\(interface|quillmark\.)", r"\\\1", l.lower()) for l in lines}
    before = {l.lower() for l in before}
    return sorted(l for l in lines - before
                  if l.startswith("hklm\\software\\classes\\") and not l.startswith("hklm\\software\\classes\\installer"))
package, module = classes("installed"), classes("selfreg")
open(os.path.join(work, "classes-package.txt"), "w").write("\n".join(package) + "\n")
open(os.path.join(work, "classes-module.txt"), "w").write("\n".join(module) + "\n")
need(code == 0 and any(e.get("hr") == 0 and e.get("hooked") for e in created()), "created from the same path")
need(len(module) > 20, "the module registered itself: %d lines" % len(module))
need(package == module, "package and module write the same: only package %r, only module %r"
     % (sorted(set(package) - set(module))[:6], sorted(set(module) - set(package))[:6]))
'
finish_suite
