#!/usr/bin/env bash
# Drops end to end: the page host posts real shell drops and OLE drops (files, mail items through the mail client
# stand-in, text) on a page hosting the control, and the page uploads what was dropped. Each scenario checks the
# record and the files; where files are to arrive in the reference file store, that check runs once the
# control's upload is built into the DLL (until then it is skipped and says so).
# Usage: drop_test.sh [DIST_DIR] (with mailstandin.dll beside the control); environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite drop "$@"
# The mail client stand-in exists only in this test prefix.
qm_register "$dist/mailstandin.dll"

# Whether the DLL's upload is bound: only then can dropped files arrive in the store.
uploads=0
grep -q 'operations\.upload *=' "$root/src/module/win32/dll_exports.cpp" && uploads=1
[ $uploads = 1 ] || echo "note: the store checks are skipped: the control's upload is not bound in this build"

start_store
page="$base/drop.xhtml"

files="$work/files"
mkdir -p "$files/a folder"
printf 'first file\n' >"$files/first.txt"
printf 'second; with a semicolon\n' >"$files/second;part.txt"
printf 'third\n' >"$files/third file.txt"
f1=$(qm_winpath "$files/first.txt")
f2=$(qm_winpath "$files/second;part.txt")
f3=$(qm_winpath "$files/third file.txt")
dir=$(qm_winpath "$files/a folder")
temp_mail() { find "$WINEPREFIX/drive_c/users" -type d -name "Quillmark Mail" 2>/dev/null | head -1; }

failures=0
checks=0
skipped=0
run() {
  local name=$1; shift
  curl -s -X POST -H 'X-Filestore-Control: 1' -d "" "$base/_filestore/reset" >/dev/null
  timeout 300 "$wine" "$dist/pagehost.exe" --record "$(qm_winpath "$work")\\$name.json" --page "$page" "$@" \
    >"$work/$name.out" 2>&1
  echo $? >"$work/$name.code"
}
# verdict NAME PYTHON-CHECK [STORE-CHECK]: checks read rec, notes, calls, code; the store check also get(key).
verdict() {
  local name=$1 check=$2 store=${3:-}
  checks=$((checks + 1))
  if [ -n "$store" ] && [ $uploads = 0 ]; then store=""; skipped=$((skipped + 1)); fi
  if python3 - "$work" "$name" "$base" "$(temp_mail)" <<PY
import json, os, sys, urllib.request
work, name, base, mail = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
rec = json.load(open(os.path.join(work, name + ".json"), encoding="utf-8"))
code = int(open(os.path.join(work, name + ".code")).read())
ev = rec.get("events", [])
notes = {e.get("name"): e.get("value") for e in ev if e.get("kind") == "note"}
calls = [e.get("function") for e in ev if e.get("kind") == "call"]
kinds = [e.get("kind") for e in ev]
def read(p):
    with open(p, "rb") as f: return f.read()
def get(key):
    try:
        return urllib.request.urlopen(base + "/_filestore/bytes?view=Dropped&key=" + key).read()
    except Exception:
        return None
def key(n): return "00000000-0000-0000-0000-%012d" % n
problems = []
def need(cond, what):
    if not cond: problems.append(what)
need(code == 0, "exit code %d, failures %r" % (code, rec.get("failures")))
$check
$store
if problems:
    print("  " + "\n  ".join(problems)); print("  notes:", notes); sys.exit(1)
PY
  then echo "ok: $name"; else echo "FAIL: $name"; sed 's/^/    | /' "$work/$name.out" | grep -v "X connection" | head -10; failures=$((failures + 1)); fi
}

# Shell drops (the control's own window procedure).
run shell_files_and_folder --arg mode=shell --arg "steps=shell:$f1|$dir|$f2*upload*upload" --timeout 60
verdict shell_files_and_folder '
need(notes.get("uploads") == 2, "both calls returned: %r" % notes)
need("dropNotTaken" not in kinds, "the control took the drop")
' '
need(get(key(1)) == read(os.path.join(work, "files", "first.txt")), "first file stored")
need(get(key(2)) == read(os.path.join(work, "files", "second;part.txt")), "second file stored whole")
need(get(key(3)) is None, "the folder is not uploaded")
'
run shell_only_folders --arg mode=shell --arg "steps=shell:$dir*upload" --timeout 60
verdict shell_only_folders 'need("dropNotTaken" not in kinds, "the control took the drop")' '
need(get(key(1)) is None and "summary" not in notes, "nothing is uploaded")
'
run shell_two_drops --arg mode=shell --arg initTwice=1 --arg "steps=shell:$f1*shell:$f3*upload" --timeout 60
verdict shell_two_drops '
need("dropNotTaken" not in kinds, "a second Init keeps the drop procedure working")
' '
need(get(key(1)) == read(os.path.join(work, "files", "third file.txt")), "only the second drop is uploaded")
need(get(key(2)) is None, "nothing more")
'

# Files dropped for a control the page let go of are not taken by the next control on that window.
run shell_renewed --arg mode=shell --arg "steps=shell:$f1*renew*upload" --timeout 60
verdict shell_renewed '
need(notes.get("uploads") == 1, "the call returned: %r" % notes)
need("summary" not in notes, "nothing uploaded: %r" % notes)
' '
need(get(key(1)) is None, "nothing stored")
'

# OLE drops (the drop target).
run ole_files --arg mode=ole --arg initTwice=1 --arg "steps=ole:$f1|$dir|$f2" --timeout 60
verdict ole_files '
drops = [e for e in ev if e.get("kind") == "oleDrop"]
need(drops and drops[0].get("enterEffect") == 1 and drops[0].get("dropHr") == 0, "copy chosen from all offered: %r" % drops)
need(calls.count("ftdFileDragDropForOutlook") == 1 and notes.get("dropCalls") == 1, "the page is told once: %r" % calls)
need(kinds.count("registerDragDrop") == 1, "a second Init on the window registers nothing more")
' '
need(get(key(1)) == read(os.path.join(work, "files", "first.txt")), "first file stored")
need(get(key(2)) == read(os.path.join(work, "files", "second;part.txt")), "second file stored")
'
run ole_text --arg mode=ole --arg "steps=text:just some words" --timeout 60
verdict ole_text '
need("ftdFileDragDropForOutlook" not in calls, "text is not a drop the page hears of")
drops = [e for e in ev if e.get("kind") == "oleDrop"]
need(drops and drops[0].get("dropped") and drops[0].get("dropHr") == 0, "dropped without an error: %r" % drops)
need("summary" not in notes, "nothing uploaded")
'

printf 'mail Re: a/b <test>\nmail Budget 2024\nmail Re: a/b <test>\nother A contact\n' >"$work/mail.txt"
export QM_MAILSTANDIN=$(qm_winpath "$work/mail.txt") QM_MAILSTANDIN_LOG=$(qm_winpath "$work/mail.log")
run mail_items --arg mode=ole --arg "steps=mail" --timeout 60
verdict mail_items '
need(calls.count("ftdFileDragDropForOutlook") == 1, "the page is told once: %r" % calls)
' '
left = [os.path.join(d, f) for d, _, fs in os.walk(mail) for f in fs] if mail else []
need(mail and not left and not os.listdir(mail), "the saved messages and their folder go after the upload: %r" % left)
def record(n):
    return json.load(urllib.request.urlopen(base + "/_filestore/record?view=Dropped&key=" + key(n)))
for n, name, subject in ((1, "Re  a b  test.msg", "1: Re: a/b <test>"), (2, "Budget 2024.msg", "2: Budget 2024"),
                         (3, "Re  a b  test (2).msg", "3: Re: a/b <test>")):
    need(get(key(n)) == ("mail item " + subject).encode(), "item %d stored" % n)
    need(get(key(n)) is not None and record(n).get("name") == name, "item %d stored as %s" % (n, name))
need(get(key(4)) is None, "the contact is not saved")
'
printf 'noexplorer\nmail Hidden\n' >"$work/mail.txt"
run mail_no_explorer --arg mode=ole --arg "steps=mail" --timeout 60
verdict mail_no_explorer '
need("ftdFileDragDropForOutlook" not in calls, "the drop ends quietly")
inside = os.listdir(mail) if mail else []
need(not inside, "nothing saved, no folder left: %r" % inside)
'
unset QM_MAILSTANDIN QM_MAILSTANDIN_LOG

echo "drop: $checks scenarios, $failures failed ($skipped store checks skipped)"
[ $failures = 0 ]
