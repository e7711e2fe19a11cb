#!/usr/bin/env bash
# Hostile pages, re-entry and hostile servers through the real stack: the control is safe for scripting, so any
# page may drive it, and the server it talks to may answer anything. Every scenario checks that the page host
# ended cleanly (no crash, no time-out), that nothing was written outside the folders meant for it (the work
# folder and the prefix's drive_c), what the store received, and that the user was told when something was
# refused.
# Usage: hostile_test.sh [DIST_DIR]   (default dist/x64: pagehost.exe and Quillmark.dll)
# Environment: QM_PAGEHOST_PREFIX reuses a Wine prefix; QM_PAGEHOST_KEEP=1 keeps the work folder;
#              QM_FILESTORE is the file-store server binary (otherwise scripts/filestore builds and runs it).
set -uo pipefail
if [ -z "${QM_PAGEHOST_DISPLAY_SET:-}" ]; then
  export QM_PAGEHOST_DISPLAY_SET=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
dist=$(readlink -f "${1:-$root/dist/x64}")
source "$root/scripts/wine-env.sh"
wine=$(qm_loader_for "$dist")

work=$(mktemp -d /tmp/hostile-test.XXXXXX)
server=""
watcher=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null && wait "$watcher" 2>/dev/null
  WINEPREFIX="$WINEPREFIX" "$QM_WINESERVER" -k 2>/dev/null
  if [ -n "${QM_PAGEHOST_KEEP:-}" ]; then echo "work kept in $work"; else rm -rf "$work"; fi
}
export WINEPREFIX=${QM_PAGEHOST_PREFIX:-$work/prefix}
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || qm_new_prefix "$WINEPREFIX"
timeout 120 "$wine" regsvr32 /s "$(qm_winpath "$dist/Quillmark.dll")" >/dev/null 2>&1 || echo "warning: regsvr32 failed"

cat >"$work/seed.txt" <<'SEED'
[record]
view = Documents
key = 01234567-89ab-cdef-0123-456789abcdef
name = Plan.doc
generate = 10000 7
SEED
mkdir -p "$work/store"
if [ -n "${QM_FILESTORE:-}" ]; then fs=("$QM_FILESTORE"); else fs=("$root/scripts/filestore"); fi
"${fs[@]}" --data "$work/store" --port 0 --port-file "$work/port" --pages "$here/pages" --seed "$work/seed.txt" \
  --quiet >"$work/fs.out" 2>&1 &
server=$!
for _ in $(seq 1 600); do [ -s "$work/port" ] && break; kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
[ -s "$work/port" ] || { echo "FAIL: the file store did not start"; cat "$work/fs.out"; exit 1; }
base="http://127.0.0.1:$(cat "$work/port")"
curl -s -o "$work/plan.bytes" "$base/_filestore/bytes?view=Documents&key=01234567-89ab-cdef-0123-456789abcdef"

# A loopback port that records every connection made to it: an external entity must never be fetched.
python3 - "$work/watch.port" "$work/watch.log" <<'PY' &
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 0)); s.listen(8)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
while True:
    c, peer = s.accept()
    c.settimeout(2)
    try: data = c.recv(4096)
    except OSError: data = b""
    with open(sys.argv[2], "ab") as f: f.write(b"connection from %r: %r\n" % (peer, data))
    c.close()
PY
watcher=$!
for _ in $(seq 1 100); do [ -s "$work/watch.port" ] && break; sleep 0.1; done
: >"$work/watch.log"

# Control calls go as POST with the control header, which the store will require.
control() { curl -s -o /dev/null -X POST -H 'X-Filestore-Control: 1' -d '' "$base/_filestore/$1"; }
fault() { control "fault?name=$1${2:-}"; }
reset_store() {
  control faults/clear
  control requests/clear
  curl -s -o /dev/null -X POST -H 'X-Filestore-Control: 1' --data-binary "@$work/seed.txt" "$base/_filestore/seed"
}

w() { qm_winpath "$1"; }
out="$work/out"
files="$work/files"
upd="$work/upd"
mkdir -p "$out" "$files" "$upd"
head -c 3000 /dev/urandom >"$files/pick.bin"
head -c 7000 /dev/urandom >"$upd/Plan.doc"
drive_c="$WINEPREFIX/drive_c"

failures=0
checks=0
# run NAME USERFILE -- PAGEHOST_ARGS...: the record goes to $work/NAME.json; the page host's peak resident
# memory (kB, from /proc while it runs) to NAME.rss; the seconds between the last time a connection to the store
# was open and the host's end to NAME.idle; files that appeared outside the out, upd and files folders
# to NAME.strays; the store's request log to NAME.requests.json.
run() {
  local name=$1 user=$2; shift 3
  local extra=()
  [ -n "$user" ] && extra=(--user "$(w "$user")")
  mkdir -p "$work/shots-$name"
  touch "$work/$name.marker"
  sleep 1  # file times have a one-second grain on some file systems
  timeout 300 "$wine" "$dist/pagehost.exe" --record "$(w "$work")\\$name.json" \
    --shots "$(w "$work/shots-$name")" "${extra[@]}" "$@" >"$work/$name.out" 2>&1 &
  local pid=$! peak=0 hwm p last_conn=0 store_port
  store_port=$(cat "$work/port")
  while kill -0 "$pid" 2>/dev/null; do
    [ -n "$(ss -Htn state established "( dport = :$store_port )" 2>/dev/null)" ] && last_conn=$(date +%s.%N)
    for p in $(pgrep -f 'pagehost\.exe'); do
      tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || continue
      hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$p/status" 2>/dev/null)
      [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
    done
    sleep 0.2
  done
  wait "$pid"
  echo $? >"$work/$name.code"
  echo "$peak" >"$work/$name.rss"
  python3 -c "import sys, time; l = float(sys.argv[1]); print(round(time.time() - l, 1) if l else 999)" "$last_conn" >"$work/$name.idle"
  curl -s "$base/_filestore/requests" >"$work/$name.requests.json"
  # Wine's own registry, font and cache files are not the control's.
  { find "$drive_c" -newer "$work/$name.marker" -type f 2>/dev/null | grep -v -E '/drive_c/windows/|/AppData/(Roaming|Local)/Microsoft/|/Temp/(wine|\.wine)'
    find "$work" -newer "$work/$name.marker" -type f 2>/dev/null | grep -v -E "^$work/(prefix|store|out|upd|files|shots-[^/]*)/|^$work/[^/]*\.(json|out|code|rss|marker|user|log|port|strays|ended|idle)$"
  } >"$work/$name.strays"
}
# verdict NAME PYTHON-CHECK: the check reads rec, ev, notes, boxes, requests (the store's log), strays, rss (kB),
# clean (the host ended by itself with no failure but answers the scripted user did not need).
verdict() {
  local name=$1 check=$2
  checks=$((checks + 1))
  if python3 - "$work" "$name" <<PY
import json, os, sys, re, zlib
work, name = sys.argv[1], sys.argv[2]
try:
    rec = json.load(open(os.path.join(work, name + ".json"), encoding="utf-8"))
except Exception as e:
    rec = {"result": "no record: %s" % e, "failures": [], "events": []}
code = int(open(os.path.join(work, name + ".code")).read())
rss = int(open(os.path.join(work, name + ".rss")).read() or 0)
idle = float(open(os.path.join(work, name + ".idle")).read())
strays = [l for l in open(os.path.join(work, name + ".strays")).read().splitlines() if l]
requests = json.load(open(os.path.join(work, name + ".requests.json"), encoding="utf-8"))
ev = rec.get("events", [])
notes = {e.get("name"): e.get("value") for e in ev if e.get("kind") == "note"}
boxes = [e.get("text", "") for e in ev if e.get("kind") == "messageBox"]
opens = [e for e in ev if e.get("kind") == "shellOpen"]
fails = [f if isinstance(f, str) else json.dumps(f) for f in rec.get("failures", [])]
# A crash or a hang ends with another code, or with no record at all.
clean = code == 0 or (code == 1 and fails and all("answer not used" in f for f in fails))
uploads = [r for r in requests if r.get("kind") == "upload"]
getfiles = [r for r in requests if r.get("kind") == "getfile"]
def listing(d): return sorted(os.listdir(os.path.join(work, d)))
def read(p):
    with open(p, "rb") as f: return f.read()
def crc(b): return zlib.crc32(b) & 0xffffffff
problems = []
def need(cond, what):
    if not cond: problems.append(what)
need(clean, "the host did not end cleanly: code %d, result %r, failures %r" % (code, rec.get("result"), fails))
need(not strays, "files outside their folders: %r" % strays[:10])
$check
if problems:
    print("  " + "\n  ".join(problems)); print("  boxes:", [b[:160] for b in boxes]); print("  notes:", {k: (v[:200] if isinstance(v, str) else v) for k, v in notes.items()}); print("  peak kB:", rss); sys.exit(1)
PY
  then echo "ok: $name"; else echo "FAIL: $name"; sed 's/^/    | /' "$work/$name.out" | grep -v "X connection" | head -10; failures=$((failures + 1)); fi
}
# scenario NAME [ANSWER...] -- ARGS...: resets the store, writes the scripted user's answers (one a line) and runs
# the page.
scenario() {
  local name=$1; shift
  : >"$work/$name.user"
  while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do printf '%s\n' "$1" >>"$work/$name.user"; shift; done
  shift
  run "$name" "$work/$name.user" -- --page "$base/hostile.xhtml" --timeout 90 --arg "dir=$(w "$out")" "$@"
}
# Message boxes the scenario may raise, each answered by Escape; unused ones are allowed by "clean".
oks() { local i; for i in $(seq 1 "$1"); do echo "when OK => escape"; done; }
mapfile -t ok8 < <(oks 8)
# The out folder holds exactly these names afterwards (and it is emptied before each scenario).
fresh_out() { rm -rf "$out"; mkdir -p "$out"; }

# ---- Hostile pages -------------------------------------------------------------------------------------------

# Every operation before Init does nothing (status 1, nothing sent); Init with a host object, null, a script object
# or a number is refused; Init twice with the document binds it, and the download then works.
reset_store; fresh_out
scenario early "${ok8[@]}" -- --arg case=early
verdict early '
for k in ("download", "upload", "update", "locked", "dropped"):
    need(notes.get("beforeInit." + k) == "1", "before Init %s: %r" % (k, notes.get("beforeInit." + k)))
for k in ("host", "null", "object", "number"):
    need(notes.get("init." + k, "").startswith("raised"), "Init(%s) refused: %r" % (k, notes.get("init." + k)))
need(notes.get("init.once") == "0" and notes.get("init.twice") == "0", "Init twice with the document")
need(notes.get("download") == "0", "download after Init: %r" % notes.get("download"))
need(len(getfiles) == 1 and not uploads, "one GetFile, from the call after Init: %d" % len(getfiles))
need(listing("out") == ["Plan.doc"] and read(os.path.join(work, "out", "Plan.doc")) == read(os.path.join(work, "plan.bytes")), "Plan.doc arrived: %r" % listing("out"))
need(not boxes, "nothing to tell")
'

# One megabyte in FileName, PrimKey, ViewName, LocalPath and FileSize, in an upload view and in the id.
reset_store; fresh_out
scenario big "files $(w "$files/pick.bin")" "${ok8[@]}" -- --arg case=big
verdict big '
for k in ("FileName", "PrimKey", "ViewName", "LocalPath", "FileSize"):
    need(notes.get("big." + k) in ("0", "1"), "%s: a status, not %r" % (k, notes.get("big." + k)))
need(notes.get("big.id") in ("0", "1"), "id: %r" % notes.get("big.id"))
need(all(not n.startswith("N" * 100) for n in listing("out")), "no megabyte name: %r" % [n[:40] for n in listing("out")])
need(len(boxes) >= 4, "the refusals are told: %d boxes" % len(boxes))
need(all(len(b) < 70000 for b in boxes), "no box carries the megabyte: %r" % [len(b) for b in boxes])
need(rss < 400000, "bounded memory: %d kB" % rss)
'

# Numbers and objects where texts are expected.
reset_store; fresh_out
scenario numbers "${ok8[@]}" -- --arg case=numbers
verdict numbers '
need(notes.get("num.download") in ("0", "1"), "numeric attributes: %r" % notes.get("num.download"))
need(notes.get("num.upload") == "1", "upload with a numeric view refused: %r" % notes.get("num.upload"))
need(not [r for r in getfiles if b"1234" in r["head"].encode("latin-1")], "a numeric key is not sent")
need(not os.path.exists(os.path.join(work, "object.doc")) and not os.path.exists(os.path.join(work, "..", "object.doc")), "object name outside")
need(all(notes.get(k) in ("0", "1") or notes.get(k, "").startswith("raised") for k in notes), "statuses or raised: %r" % notes)
need(not uploads, "nothing uploaded")
'

# Id lists: "|" alone (a folder is asked, nothing to fetch), "" (no element), "|m1||m2|" (two files).
reset_store; fresh_out
scenario ids "folder $(w "$out")" "folder $(w "$out")" "${ok8[@]}" -- --arg case=ids
verdict ids '
need(notes.get("ids.bar") in ("0", "1") and notes.get("ids.empty") in ("0", "1"), "statuses: %r" % notes)
need(notes.get("ids.gaps") == "0", "gaps: %r" % notes.get("ids.gaps"))
need(listing("out") == ["First.doc", "Second.doc"], "the two listed files: %r" % listing("out"))
need(len(getfiles) == 2, "two GetFile requests: %d" % len(getfiles))
'

# Names with ".." and drive letters, one at a time and as one list: everything lands in the out folder.
reset_store; fresh_out
names='..\..\up1.txt*C:\up2.txt*Z:\tmp\up3.txt*..*\\127.0.0.1\share\up4.txt*C:up5.txt'
scenario names "folder $(w "$out")" "${ok8[@]}" "${ok8[@]}" -- --arg case=names --arg "names=$names"
verdict names '
found = listing("out")
need(all(notes.get("single%d" % i) in ("0", "1") for i in range(6)) and notes.get("multi") in ("0", "1"), "statuses: %r" % notes)
for n in ("up1.txt", "up2.txt", "up3.txt", "up4.txt", "up5.txt"):
    need(any(f.endswith(n) for f in found), n + " confined to the folder: %r" % found)
for p in ("/tmp/up3.txt", os.path.join(work, "up1.txt"), os.path.join(work, "..", "up1.txt"), "/up2.txt"):
    need(not os.path.exists(p), "nothing at " + p)
need(all(":" not in f and "\\\\" not in f for f in found), "no drive or separator in a name: %r" % found)
'

# Characters beyond U+FFFF, lone surrogates, line breaks and NUL in names and keys; a re-upload whose key
# would add a header line.
reset_store; fresh_out
chars='FileName=\U smile.doc*FileName=lone\L.doc*FileName=two\r\nlines.doc*FileName=nul\0.doc*PrimKey=01234567-89ab-cdef-0123-456789abcdef\r\nX-Extra: 1*PrimKey=01234567-89ab-cdef-0123-456789abcdef\0tail*PrimKey=key\U'
scenario chars "${ok8[@]}" "${ok8[@]}" "when send this file => click 6" "when send this file => click 6" -- \
  --arg case=chars --arg "chars=$chars" --arg "upddir=$(w "$upd")"
verdict chars '
found = listing("out")
need(all(notes.get("chars%d" % i) in ("0", "1") for i in range(7)), "statuses: %r" % notes)
need("\U0001F600 smile.doc" in found, "the astral name arrives whole: %r" % found)
need(all(not any(ord(c) < 32 for c in f) for f in found), "no control character in a name: %r" % found)
for r in getfiles:
    need("X-Extra" not in r["head"].split("\r\n\r\n")[0], "no header line from a key")
need(not uploads or all(r["head"].count("vm_FileSize") == 1 for r in uploads), "one size line per upload")
need(not [r for r in uploads if "vm_FileSize :0" in r["head"] or "vm_FileSize: 0" in r["head"]], "no page-made size line")
need(any("line break" in b for b in boxes), "the line break is told: %r" % [b[:80] for b in boxes])
'

# ---- Re-entry ------------------------------------------------------------------------------------------------
# What each case gives: a call into the control from a page function that runs inside an operation (before and
# after a download, an upload's key request and file report while the progress dialog runs, a re-upload's
# before and after functions) is refused with status 1 and changes nothing, also through a second control
# object on the same page; Init with the same document inside an operation rebinds and answers 0, with a
# non-document it raises; the page letting go of the control mid-upload leaves the upload to finish, as the
# operation holds the control and its document until it returns.
nested_ok='
parts = [p for p in (notes.get("nested") or "").split("|") if p]
need(parts, "nested calls were made")
bad = [p for p in parts if not (p.endswith("=1") or p.endswith(":released") or p.endswith(":init=0") or "initHost=raised" in p)]
need(not bad, "every nested operation refused: %r" % bad)
'
reset_store; fresh_out
scenario reenter_download "${ok8[@]}" -- --arg case=reenter --arg op=download --arg second=1
verdict reenter_download "$nested_ok"'
need(notes.get("status") == "0" and notes.get("after") == "0", "download and the one after: %r %r" % (notes.get("status"), notes.get("after")))
need(listing("out") == ["Again.doc", "Plan.doc"], "only the two real downloads: %r" % listing("out"))
need(len(getfiles) == 2 and not uploads, "two GetFile requests: %d" % len(getfiles))
need(not any(e.get("kind") == "chooserStart" for e in ev), "no chooser opened by a nested call")
'
reset_store; fresh_out
scenario reenter_upload "files $(w "$files/pick.bin")" "${ok8[@]}" -- --arg case=reenter --arg op=upload --arg second=1
verdict reenter_upload "$nested_ok"'
need(notes.get("status") == "0", "upload status %r" % notes.get("status"))
need(len(uploads) == 1 and uploads[0]["body_crc"] == crc(read(os.path.join(work, "files", "pick.bin"))), "the chosen file, once")
need(any(p.startswith("key:") for p in notes.get("nested", "").split("|")) and any(p.startswith("report:") for p in notes.get("nested", "").split("|")), "calls from the key request and the report")
need(len([e for e in ev if e.get("kind") == "chooserStart"]) == 1, "one chooser only")
'
reset_store; fresh_out
scenario reenter_init "files $(w "$files/pick.bin")" "${ok8[@]}" -- --arg case=reenter --arg op=upload --arg keymode=init
verdict reenter_init "$nested_ok"'
need("key:init=0" in notes.get("nested", "") and "key:initHost=raised" in notes.get("nested", ""), "Init inside: %r" % notes.get("nested"))
need(len(uploads) == 1 and notes.get("reports", "").startswith("up?"), "the upload went on: %r" % notes.get("reports"))
'
reset_store; fresh_out
scenario reenter_release "files $(w "$files/pick.bin")" "${ok8[@]}" -- --arg case=reenter --arg op=upload --arg keymode=release --arg second=1
verdict reenter_release "$nested_ok"'
need("key:released" in notes.get("nested", ""), "released: %r" % notes.get("nested"))
need(len(uploads) == 1 and notes.get("reports", "").startswith("up?"), "the upload finished: %r" % notes.get("reports"))
'
reset_store; fresh_out
scenario reenter_update "when send this file => click 6" "${ok8[@]}" -- --arg case=reenter --arg op=update --arg second=1 --arg "upddir=$(w "$upd")"
verdict reenter_update "$nested_ok"'
need(notes.get("status") == "0", "update status %r" % notes.get("status"))
need(len(uploads) == 1 and uploads[0]["body_crc"] == crc(read(os.path.join(work, "upd", "Plan.doc"))), "the copy sent once")
need(any(p.startswith("updBefore:locked=1") for p in notes.get("nested", "").split("|")), "ProcessLockedFiles refused during UpdateFile")
need(any(p.startswith("report:locked=1") for p in notes.get("nested", "").split("|")), "also from the after-upload report")
'

# ---- Hostile servers -----------------------------------------------------------------------------------------
watch_url="http://127.0.0.1:$(cat "$work/watch.port")/entity.xml"
# server_case NAME FAULT PARAMS FOR CASE ANSWERS...: a download or upload against one fault; $linger is how long
# the page stays after the operation (ms).
linger=500
server_case() {
  local name=$1 f=$2 params=$3 target=$4 case=$5; shift 5
  reset_store; fresh_out
  fault "$f" "&for=$target$params"
  : >"$work/watch.log"
  scenario "$name" "$@" -- --arg "case=$case" --arg "linger=$linger"
}
server_ok='
need(not open(os.path.join(work, "watch.log"), "rb").read(), "nothing fetched from the watched port")
need(rss < 400000, "bounded memory: %d kB" % rss)
need(boxes, "the user is told")
need(all(len(b) < 1100000 for b in boxes), "a box of bounded size: %r" % [len(b) for b in boxes])
'
server_case doctype_download doctype-external "&url=$watch_url" getfile download "when OK => escape"
verdict doctype_download "$server_ok"'
need(listing("out") == [], "no file from a refused reply: %r" % listing("out"))
'
server_case doctype_upload doctype-external "&url=$watch_url" upload upload "files $(w "$files/pick.bin")" "when OK => escape"
verdict doctype_upload "$server_ok"'
need(not notes.get("reports"), "not reported as stored")
'
server_case bomb_download entity-bomb "&depth=12" getfile download "when OK => escape"
verdict bomb_download "$server_ok"'
need(listing("out") == [], "no file: %r" % listing("out"))
'
server_case bomb_upload entity-bomb "&depth=12" upload upload "files $(w "$files/pick.bin")" "when OK => escape"
verdict bomb_upload "$server_ok"'
need(not notes.get("reports"), "not reported as stored")
'
server_case huge_html_download huge-html "" getfile download "when OK => escape"
verdict huge_html_download "$server_ok"'
need(listing("out") == [], "no file: %r" % listing("out"))
need(any("Server Error" in b for b in boxes), "the page text is shown")
'
server_case huge_response_upload huge-response "" upload upload "files $(w "$files/pick.bin")" "when OK => escape"
verdict huge_response_upload "$server_ok"'
need(not notes.get("reports"), "not reported as stored")
'
server_case huge_response_download huge-response "" getfile download "when OK => escape"
verdict huge_response_download "$server_ok"'
need(listing("out") == [], "no file: %r" % listing("out"))
'
# A reply that never ends: the user presses Cancel after two seconds; the run ends soon after, no file stays.
never() {  # NAME TYPE FOR CASE [ANSWER...]
  local name=$1 type=$2 target=$3 case=$4; shift 4
  linger=6000 server_case "$name" endless "&type=$type&rate=64" "$target" "$case" "$@" \
    "when Cancel => wait 2000; click 2" "when OK => escape"
}
never_ok='
need(not [f for f in listing("out") if not f.endswith(".keep")], "no file: %r" % listing("out"))
need(rss < 400000, "bounded memory: %d kB" % rss)
need(any(e.get("kind") == "dialogEnd" and e.get("template") == "103" for e in ev), "the progress dialog ended")
need(any(e.get("kind") == "dialogEnd" and e.get("template") == "103" and e.get("result") == 2 for e in ev), "ended by Cancel")
# The page stays 6 s after the operation; a worker still reading the endless reply keeps its connection open.
need(idle >= 3, "the connection closed after Cancel (last open %.1f s before the end)" % idle)
'
never endless_text_download text/xml getfile download
verdict endless_text_download "$never_ok"
never endless_data_download binary/octet-stream getfile download
verdict endless_data_download "$never_ok"
never endless_upload text/xml upload upload "files $(w "$files/pick.bin")"
verdict endless_upload "$never_ok"'
need(not notes.get("reports"), "not reported as stored")
'
control faults/clear

echo "hostile: $checks scenarios, $failures failed"
[ $failures = 0 ]
