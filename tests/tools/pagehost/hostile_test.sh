#!/usr/bin/env bash
# Hostile pages, re-entry and hostile servers through the real stack: the control is safe for scripting, so any
# page may drive it, and the server it talks to may answer anything. Every scenario checks that the page host
# ended cleanly (no crash, no time-out), that nothing was written outside the folders meant for it (the work
# folder and the prefix's drive_c), what the store received, and that the user was told when something was
# refused.
# Usage: hostile_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite hostile "$@"
drive_c="$WINEPREFIX/drive_c"
# The user's shell folders (Desktop, Documents, ...) are links to the Unix home: made real folders here, so a file
# the control puts there stays in the prefix, where the stray check sees it.
for link in "$drive_c"/users/*/*; do
  [ -L "$link" ] && rm "$link" && mkdir "$link"
done

cat >"$work/seed.txt" <<'SEED'
[record]
view = Documents
key = 01234567-89ab-cdef-0123-456789abcdef
name = Plan.doc
generate = 10000 7
SEED
start_store "$work/seed.txt"
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
qm_on_exit "kill $watcher 2>/dev/null; wait $watcher 2>/dev/null"
for _ in $(seq 1 100); do [ -s "$work/watch.port" ] && break; sleep 0.1; done
: >"$work/watch.log"

fault() { store_control "fault?name=$1${2:-}"; }
reset_store() {
  store_control faults/clear
  store_control requests/clear
  curl -s -o /dev/null -X POST -H 'X-Filestore-Control: 1' --data-binary "@$work/seed.txt" "$base/_filestore/seed"
}

w() { qm_winpath "$1"; }
out="$work/out"
files="$work/files"
upd="$work/upd"
# Folders chosen in the folder browser must be on drive C: (it cannot select Z: paths under Wine).
multi="$drive_c/hostile-out"
mkdir -p "$out" "$files" "$upd" "$multi"
head -c 3000 /dev/urandom >"$files/pick.bin"
head -c 7000 /dev/urandom >"$upd/Plan.doc"

# sample NAME: while NAME runs (until its exit code is written), the page host's peak resident memory (kB, from
# /proc) to NAME.rss and the last time a connection to the store was open to NAME.last.
sample() {
  local name=$1 peak=0 hwm p last_conn=0 store_port=${base##*:}
  while [ ! -e "$work/$name.code" ]; do
    [ -n "$(ss -Htn state established "( dport = :$store_port )" 2>/dev/null)" ] && last_conn=$(date +%s.%N)
    for p in $(pgrep -f 'pagehost\.exe'); do
      { tr '\0' '\n' <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null || continue
      hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$p/status" 2>/dev/null)
      [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
    done
    echo "$peak" >"$work/$name.rss"
    echo "$last_conn" >"$work/$name.last"
    sleep 0.2
  done
}
# measured_run NAME USERFILE -- PAGEHOST_ARGS...: `run`, and besides the record: NAME.rss; the seconds between the
# last time a connection to the store was open and the host's end to NAME.idle; files that appeared outside the
# out, upd and files folders to NAME.strays; the store's request log to NAME.requests.json.
measured_run() {
  local name=$1
  rm -f "$work/$name.code"
  touch "$work/$name.marker"
  sleep 1  # file times have a one-second grain on some file systems
  echo 0 >"$work/$name.rss"
  echo 0 >"$work/$name.last"
  sample "$name" &
  local sampler=$!
  run "$@"
  wait "$sampler"
  python3 -c "import sys, time; l = float(sys.argv[1]); print(round(time.time() - l, 1) if l else 999)" \
    "$(cat "$work/$name.last")" >"$work/$name.idle"
  curl -s "$base/_filestore/requests" >"$work/$name.requests.json"
  # Wine's own registry, font and cache files are not the control's.
  { find "$drive_c" -newer "$work/$name.marker" -type f 2>/dev/null | grep -v -E '/drive_c/(windows|hostile-out)/|/AppData/(Roaming|Local)/Microsoft/|/AppData/Local/Quillmark/edited-copies\.txt$'
    find "$work" -newer "$work/$name.marker" -type f 2>/dev/null | grep -v -E "^$work/(prefix|store|out|upd|files|shots-[^/]*)/|^$work/[^/]*\.(json|out|code|rss|marker|user|log|port|strays|ended|idle|last)$"
  } >"$work/$name.strays"
}
# Every verdict also reads requests (the store's log), strays, rss (kB), idle, and clean (the host ended by itself
# with no failure but answers the scripted user did not need), and needs a clean end and no strays.
verdict_prelude='
import re, zlib
rss = int(open(os.path.join(work, name + ".rss")).read() or 0)
idle = float(open(os.path.join(work, name + ".idle")).read())
strays = [l for l in open(os.path.join(work, name + ".strays")).read().splitlines() if l]
requests = json.load(open(os.path.join(work, name + ".requests.json"), encoding="utf-8"))
fails = [f if isinstance(f, str) else json.dumps(f) for f in rec.get("failures", [])]
# A crash or a hang ends with another code, or with no record at all.
clean = code == 0 or (code == 1 and fails and all("answer not used" in f for f in fails))
uploads = [r for r in requests if r.get("kind") == "upload"]
getfiles = [r for r in requests if r.get("kind") == "getfile"]
def listing(d): return sorted(os.listdir(d if d.startswith("/") else os.path.join(work, d)))
multi = os.environ["QM_HOSTILE_MULTI"]
def crc(b): return zlib.crc32(b) & 0xffffffff
need(clean, "the host did not end cleanly: code %d, result %r, failures %r" % (code, rec.get("result"), fails))
need(not strays, "files outside their folders: %r" % strays[:10])
'
# scenario NAME [ANSWER...] -- ARGS...: resets the store, writes the scripted user's answers (one a line) and runs
# the page.
scenario() {
  local name=$1; shift
  : >"$work/$name.user"
  while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do printf '%s\n' "$1" >>"$work/$name.user"; shift; done
  shift
  measured_run "$name" "$work/$name.user" -- --page "$base/hostile.xhtml" --timeout 90 --arg "dir=$(w "$out")" "$@"
}
# Message boxes the scenario may raise, each answered by Escape; unused ones are allowed by "clean".
oks() { local i; for i in $(seq 1 "$1"); do echo "when OK => escape"; done; }
mapfile -t ok8 < <(oks 8)
pick="when Look &in => files $(w "$files/pick.bin")"
choose_multi="when Browse for Folder => folder C:\hostile-out"
export QM_HOSTILE_MULTI="$multi"
# The out folders are emptied before each scenario.
fresh_out() { rm -rf "$out" "$multi"; mkdir -p "$out" "$multi"; }

# ---- Hostile pages -------------------------------------------------------------------------------------------
# The control's methods give script no status back (S_OK and S_FALSE both look like success), so each case is
# judged by what happened: the store's requests, the files, the dialogs and boxes.

# Every operation before Init does nothing (no request, no dialog); Init with the host object, null, a script
# object or a number raises; Init twice with the document binds it, and the download then works.
reset_store; fresh_out
scenario early "${ok8[@]}" -- --arg case=early
verdict early '
for k in ("download", "upload", "update", "locked", "dropped"):
    need(notes.get("beforeInit." + k) == "ok", "before Init %s: %r" % (k, notes.get("beforeInit." + k)))
for k in ("host", "null", "object", "number"):
    need(notes.get("init." + k, "").startswith("raised"), "Init(%s) refused: %r" % (k, notes.get("init." + k)))
need(notes.get("init.once") == "ok" and notes.get("init.twice") == "ok", "Init twice with the document")
need(len(getfiles) == 1 and not uploads, "one GetFile, from the call after Init: %d" % len(getfiles))
need(len([e for e in ev if e.get("kind") in ("dialogStart", "chooserStart")]) == 1, "one progress dialog, nothing before Init")
need(listing("out") == ["Plan.doc"] and read(os.path.join(work, "out", "Plan.doc")) == read(os.path.join(work, "plan.bytes")), "Plan.doc arrived: %r" % listing("out"))
need(not boxes, "nothing to tell")
'

# One megabyte in FileName, PrimKey, ViewName, LocalPath and FileSize, in an upload's view and in the id.
# What each gives: FileName: the file cannot be created, "Path not found" (the box cut to 255 characters);
# PrimKey and ViewName: the store refuses the GetFile body (over 64 KiB) and its message is shown; LocalPath: the
# folder cannot be made, so the file goes to the documents folder, the rule for a save whose folder fails;
# FileSize: the size check fails, "Error in receiving file"; the view in the upload's header: the store refuses
# the head; the id: no such element, nothing happens.
reset_store; fresh_out
scenario big "$pick" "${ok8[@]}" -- --arg case=big
verdict big '
moved = [p for p in strays if p.endswith("/Documents/Plan.doc")]
problems[:] = [p for p in problems if not p.startswith("files outside")]
need(not [p for p in strays if p not in moved], "files outside their folders: %r" % [p for p in strays if p not in moved])
need(len(moved) == 1, "the file whose folder cannot be made is in the documents folder: %r" % strays)
need(all(v == "ok" for v in notes.values()), "no call raised: %r" % notes)
need(listing("out") == [], "nothing in the page folder: %r" % [n[:40] for n in listing("out")])
need(sum("Path not found" in b for b in boxes) == 1, "the long name is told")
need(sum("longer than 65536 bytes" in b for b in boxes) == 2, "the long key and view are told")
need(sum("Error in receiving file" in b for b in boxes) == 1, "the long size is told")
need(len(boxes) >= 5, "the long upload view is told too: %d boxes" % len(boxes))
need(all(len(b) < 5000 for b in boxes), "no box carries the megabyte: %r" % [len(b) for b in boxes])
# The upload's head passes the store's 1 MiB bound: it is refused as a bad request, nothing is stored.
refused = [r for r in requests if r["kind"] == "bad-request"]
need(len(getfiles) == 5 and len(refused) == 1 and not uploads, "five GetFile requests and one refused post: %d %d" % (len(getfiles), len(refused)))
need(rss < 400000, "bounded memory: %d kB" % rss)
'

# Numbers and objects where texts are expected. A numeric PrimKey, ViewName or FileName counts as absent: the
# download does nothing, the upload's view is missing (after the chooser, as for any upload), the re-upload
# names the folder itself and is refused when the user agrees. Objects handed to the methods are turned into
# text by the platform's type conversion ("[object Object]": no such element) or refused with a type mismatch.
reset_store; fresh_out
scenario numbers "when Look &in => escape" "when send the file => click 6" "${ok8[@]}" -- --arg case=numbers
verdict numbers '
need(not [r for r in getfiles if "1234" in r["head"]], "a numeric key is not sent")
need(len(getfiles) == 1, "only the download named by a text id: %d" % len(getfiles))
need(not uploads, "nothing uploaded")
need(not os.path.exists(os.path.join(work, "object.doc")) and not os.path.exists(os.path.join(work, "..", "object.doc")), "an object name stays inside")
need(all(v == "ok" or v.startswith("raised") for v in notes.values()), "a status or a raise: %r" % notes)
'

# Id lists: "|" alone (the folder is asked, nothing to fetch), "" (no element), "|m1||m2|" (the two files).
reset_store; fresh_out
scenario ids "$choose_multi" "$choose_multi" "${ok8[@]}" -- --arg case=ids
verdict ids '
need(listing(multi) == ["First.doc", "Second.doc"], "the two listed files: %r" % listing(multi))
need(len(getfiles) == 2, "two GetFile requests: %d" % len(getfiles))
need(listing("out") == [], "nothing in the page folder")
'

# Names with "..", drive letters and a UNC start, one at a time and as one list: every file lands in its folder.
reset_store; fresh_out
names='..\..\up1.txt*C:\up2.txt*Z:\tmp\up3.txt*..*\\127.0.0.1\share\up4.txt*C:up5.txt'
scenario names "$choose_multi" "${ok8[@]}" -- --arg case=names --arg "names=$names"
verdict names '
for folder in (os.path.join(work, "out"), multi):
    found = listing(folder)
    for n in ("up1.txt", "up2.txt", "up3.txt", "up4.txt", "up5.txt"):
        need(any(f.endswith(n) for f in found), n + " confined to " + folder + ": %r" % found)
    need(all(":" not in f and "\\" not in f for f in found), "no drive or separator in a name: %r" % found)
    need(len(found) == 6, "six files: %r" % found)
for p in ("/tmp/up3.txt", os.path.join(work, "up1.txt"), os.path.join(work, "..", "up1.txt")):
    need(not os.path.exists(p), "nothing at " + p)
need(len(getfiles) == 12, "twelve GetFile requests: %d" % len(getfiles))
'

# Characters beyond U+FFFF, lone surrogates, line breaks and NUL in names and keys; re-uploads whose key would
# add a header line. What each gives: the astral name arrives whole; a lone surrogate cannot name a file
# ("File not found"); line breaks and NUL in a name become "_"; a key with a line break or an astral character
# is sent as a character reference in the GetFile body and is unknown to the store (its message is shown); a
# re-upload key with a line break is refused before anything is sent and told; a NUL in it cuts the header block
# there, so the store refuses the post for its missing fields and stores nothing (the store's message is shown).
reset_store; fresh_out
chars='FileName=\U smile.doc*FileName=lone\L.doc*FileName=two\r\nlines.doc*FileName=nul\0.doc*PrimKey=01234567-89ab-cdef-0123-456789abcdef\r\nX-Extra: 1*PrimKey=01234567-89ab-cdef-0123-456789abcdef\0tail*PrimKey=key\U'
scenario chars "${ok8[@]}" "when send this file => click 6" "when send this file => click 6" -- \
  --arg case=chars --arg "chars=$chars" --arg "upddir=$(w "$upd")"
verdict chars '
found = listing("out")
need("\U0001F600 smile.doc" in found, "the astral name arrives whole: %r" % found)
need(all(not any(ord(c) < 32 for c in f) for f in found), "no control character in a name: %r" % found)
for r in getfiles + uploads:
    need("X-Extra" not in r["head"], "no header line from a key")
for r in uploads:
    need(r["head"].count("vm_FileSize") <= 1, "at most one size line per upload")
    need("vm_FileSize :0" not in r["head"] and "vm_FileSize: 0" not in r["head"], "no page-made size line")
need(any("line break" in b for b in boxes), "the line break is told: %r" % [b[:80] for b in boxes])
need(all(r["outcome"].startswith("error") for r in uploads), "no re-upload stored: %r" % [r["outcome"] for r in uploads])
'

# ---- Re-entry ------------------------------------------------------------------------------------------------
# What each case gives: a call into the control from a page function that runs inside an operation (before and
# after a download, an upload's key request and file report while the progress dialog runs, a re-upload's
# before and after functions) is refused at once and changes nothing (no request, no dialog, no chooser), also
# through a second control object on the same page, and ProcessLockedFiles during UpdateFile; Init with the
# same document inside an operation rebinds it, Init with a non-document raises; the page letting go of the
# control mid-upload leaves the upload to finish, as the operation holds the control and its document until it
# returns. Once the operation has ended the control works again.
nested_ok='
parts = [p for p in (notes.get("nested") or "").split("|") if p]
need(parts, "nested calls were made")
bad = [p for p in parts if not (p.endswith("=ok") or p.endswith(":released") or "initHost=raised" in p)]
need(not bad, "no nested call raised: %r" % bad)
need(len([e for e in ev if e.get("kind") == "dialogStart" and e.get("template") == "103"]) == expected_dialogs, "progress dialogs: only the outer operations")
need(len([e for e in ev if e.get("kind") == "chooserStart"]) == expected_choosers, "choosers: only the outer operation")
'
reset_store; fresh_out
scenario reenter_download "${ok8[@]}" -- --arg case=reenter --arg op=download --arg second=1
verdict reenter_download 'expected_dialogs, expected_choosers = 2, 0'"$nested_ok"'
need(len([p for p in notes.get("nested", "").split("|") if p.startswith(("beforeDl:", "afterDl:"))]) == 12, "calls from both download functions")
need(listing("out") == ["Again.doc", "Plan.doc"], "only the two real downloads: %r" % listing("out"))
need(len(getfiles) == 2 and not uploads, "two GetFile requests: %d" % len(getfiles))
'
reset_store; fresh_out
scenario reenter_upload "$pick" "${ok8[@]}" -- --arg case=reenter --arg op=upload --arg second=1
verdict reenter_upload 'expected_dialogs, expected_choosers = 2, 1'"$nested_ok"'
need(len(uploads) == 1 and uploads[0]["body_crc"] == crc(read(os.path.join(work, "files", "pick.bin"))), "the chosen file, once")
need(len(getfiles) == 1 and listing("out") == ["Plan.doc"], "one GetFile: the download after the upload")
parts = notes.get("nested", "").split("|")
need(any(p.startswith("key:") for p in parts) and any(p.startswith("report:") for p in parts), "calls from the key request and the report")
'
reset_store; fresh_out
scenario reenter_init "$pick" "${ok8[@]}" -- --arg case=reenter --arg op=upload --arg keymode=init
verdict reenter_init 'expected_dialogs, expected_choosers = 2, 1'"$nested_ok"'
need("key:init=ok" in notes.get("nested", "") and "key:initHost=raised" in notes.get("nested", ""), "Init inside: %r" % notes.get("nested"))
need(len(uploads) == 1 and notes.get("reports", "").startswith("up?"), "the upload went on: %r" % notes.get("reports"))
need(listing("out") == ["Plan.doc"], "the control works after: %r" % listing("out"))
'
reset_store; fresh_out
scenario reenter_release "$pick" "${ok8[@]}" -- --arg case=reenter --arg op=upload --arg keymode=release --arg second=1
verdict reenter_release 'expected_dialogs, expected_choosers = 1, 1'"$nested_ok"'
need("key:released" in notes.get("nested", ""), "released: %r" % notes.get("nested"))
need(len(uploads) == 1 and notes.get("reports", "").startswith("up?"), "the upload finished: %r" % notes.get("reports"))
'
reset_store; fresh_out
scenario reenter_update "when send this file => click 6" "${ok8[@]}" -- --arg case=reenter --arg op=update --arg second=1 --arg "upddir=$(w "$upd")"
verdict reenter_update 'expected_dialogs, expected_choosers = 2, 0'"$nested_ok"'
need(len(uploads) == 1 and uploads[0]["body_crc"] == crc(read(os.path.join(work, "upd", "Plan.doc"))), "the copy sent once")
parts = notes.get("nested", "").split("|")
need("updBefore:locked=ok" in parts and "report:locked=ok" in parts, "ProcessLockedFiles called during UpdateFile: %r" % parts)
need(len(getfiles) == 1, "one GetFile: the download after the update")
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
# What these give: a reply with a document type is refused before it is parsed (nothing fetched, nothing
# expanded) and its text is shown; a 100 MB reply is read up to 1 MiB and the box shows its first 4096
# characters; the upload is not reported as stored.
server_ok='
need(not open(os.path.join(work, "watch.log"), "rb").read(), "nothing fetched from the watched port")
need(rss < 400000, "bounded memory: %d kB" % rss)
need(boxes, "the user is told")
need(all(len(b) < 5000 for b in boxes), "a box of bounded size: %r" % [len(b) for b in boxes])
need(listing("out") == [], "no file from a refused reply: %r" % listing("out"))
need(not notes.get("reports"), "not reported as stored")
'
for kind in download upload; do
  if [ $kind = upload ]; then target=upload; answers=("$pick"); else target=getfile; answers=(); fi
  server_case "doctype_$kind" doctype-external "&url=$watch_url" $target $kind "${answers[@]}" "when OK => escape"
  verdict "doctype_$kind" "$server_ok"
  server_case "bomb_$kind" entity-bomb "&depth=12" $target $kind "${answers[@]}" "when OK => escape"
  verdict "bomb_$kind" "$server_ok"
  server_case "huge_response_$kind" huge-response "" $target $kind "${answers[@]}" "when OK => escape"
  verdict "huge_response_$kind" "$server_ok"'
need(any("The rest of the server" in b for b in boxes), "the cut is said")
'
done
server_case huge_html_download huge-html "" getfile download "when OK => escape"
verdict huge_html_download "$server_ok"'
need(any("Server Error" in b for b in boxes), "the page text is shown")
'
# A reply that never ends: the user presses Cancel after two seconds; the dialog ends, the worker stops reading
# and closes the connection, and no file stays behind.
never() {  # NAME TYPE FOR CASE [ANSWER...]
  local name=$1 type=$2 target=$3 case=$4; shift 4
  linger=6000 server_case "$name" endless "&type=$type&rate=64" "$target" "$case" "$@" \
    "when Cancel => wait 2000; click 2" "when OK => escape"
}
never_ok='
need(listing("out") == [], "no file: %r" % listing("out"))
need(rss < 400000, "bounded memory: %d kB" % rss)
need(any(e.get("kind") == "dialogEnd" and e.get("template") == "103" and e.get("result") == 2 for e in ev), "ended by Cancel")
# The page stays 6 s after the operation; a worker still reading the endless reply keeps its connection open.
need(idle >= 3, "the connection closed after Cancel (last open %.1f s before the end)" % idle)
need(not boxes, "a cancelled transfer tells nothing: %r" % [b[:80] for b in boxes])
'
never endless_text_download text/xml getfile download
verdict endless_text_download "$never_ok"
never endless_data_download binary/octet-stream getfile download
verdict endless_data_download "$never_ok"
never endless_upload text/xml upload upload "$pick"
verdict endless_upload "$never_ok"'
need(not notes.get("reports"), "not reported as stored")
'
store_control faults/clear

finish_suite
