#!/usr/bin/env bash
# The sample page of docs/sample, served by the reference store and driven by the scripted user, one step per
# visit: a download, an edit sent back through Save to Server, both files at once, an upload of chosen files
# and a drop. Each scenario checks the files on disk and the store's records, so the sample cannot rot.
# Usage: sample_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite sample "$@"

pages_dir="$root/docs/sample"
start_store "$seeds/sample.txt"
page="$base/quillmark-sample.xhtml"
export QM_STORE_BASE=$base
minutes=5a3e0c1d-2b4f-4c6d-8e9f-0a1b2c3d4e01
budget=5a3e0c1d-2b4f-4c6d-8e9f-0a1b2c3d4e02
verdict_prelude='
import urllib.request, zlib
base = os.environ["QM_STORE_BASE"]
def fetch(path): return urllib.request.urlopen(base + path).read()
def stored(key): return fetch("/_filestore/bytes?view=Documents&key=" + key)
records = json.loads(fetch("/_filestore/records"))
def temp_copy(key, name):
    users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
    for u in os.listdir(users):
        p = os.path.join(users, u, "Temp", key, name)
        if os.path.isfile(p): return p
    return ""
'
w() { qm_winpath "$1"; }

# Download: the File Download question, Open; the copy arrives in its own folder and is opened.
printf 'when File Download => click 1\n' >"$work/open.user"
run open "$work/open.user" -- --page "$page" --arg step=open --timeout 90
verdict open '
need(code == 0, "exit code %d" % code)
p = temp_copy("'$minutes'", "Minutes.doc")
need(p and read(p) == stored("'$minutes'"), "the stored copy arrived: %r" % p)
need(any(o.get("file", "").endswith("Minutes.doc") for o in opens), "opened: %r" % opens)
need((notes.get("downloads") or "").startswith("minutes?Open?"), "the page heard: %r" % notes.get("downloads"))
need(not boxes, "no message: %r" % boxes)
'

# Both files at once into a folder the user picks (before the edit below changes one of them).
mkdir -p "$WINEPREFIX/drive_c/qm-sample"
printf 'when Select a folder => folder C:\\qm-sample\nmaybe when Download completed => click 218\n' >"$work/both.user"
run both "$work/both.user" -- --page "$page" --arg step=both --timeout 90
verdict both '
need(code == 0, "exit code %d" % code)
d = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-sample")
names = sorted(os.listdir(d))
need(names == ["Budget.xls", "Minutes.doc"], "both arrived: %r" % names)
for n, k in (("Minutes.doc", "'$minutes'"), ("Budget.xls", "'$budget'")):
    if n in names: need(read(os.path.join(d, n)) == stored(k), n + " as stored")
'

# Open for edit, the user's program changes the copy, and a later visit offers Save to Server.
run edit "" -- --page "$page" --arg step=edit --timeout 90
verdict edit '
need(code == 0, "exit code %d" % code)
need((notes.get("downloads") or "").startswith("budget?Lock?"), "opened for edit: %r" % notes.get("downloads"))
need((notes.get("after") or "") == "", "nothing edited yet: %r" % notes.get("after"))
'
copy=$(find "$WINEPREFIX/drive_c/users" -path "*/Temp/$budget/Budget.xls" | head -1)
if [ -n "$copy" ]; then printf 'the user edited this\n' >>"$copy"; touch -d '+2 minutes' "$copy"; cp "$copy" "$work/edited.xls"; fi
printf 'when has been updated => click 1\n' >"$work/save.user"
run save "$work/save.user" -- --page "$page" --arg step=save --timeout 90
verdict save '
need(code == 0, "exit code %d" % code)
need((notes.get("edited") or "").startswith("budget?Documents?'$budget'?Budget.xls?"), "the page saw the edits: %r" % notes.get("edited"))
need(os.path.isfile(os.path.join(work, "edited.xls")) and stored("'$budget'") == read(os.path.join(work, "edited.xls")),
     "the store holds the edited copy")
need((notes.get("stored") or "").startswith("Budget.xls?9021?"), "the page heard of it: %r" % notes.get("stored"))
need(notes.get("after") == "", "nothing left unsent: %r" % notes.get("after"))
'

# Upload of chosen files: each under the key the page gave; the empty file is left out.
files="$work/files"; mkdir -p "$files"
head -c 7000 /dev/urandom >"$files/photo.bin"; printf 'agenda\n' >"$files/agenda.txt"; : >"$files/empty.txt"
printf 'files %s|%s|%s\n' "$(w "$files/photo.bin")" "$(w "$files/agenda.txt")" "$(w "$files/empty.txt")" >"$work/upload.user"
run upload "$work/upload.user" -- --page "$page" --arg step=upload --timeout 90
verdict upload '
need(code == 0, "exit code %d" % code)
ups = {r["name"]: r for r in records if r.get("view") == "Uploads"}
need(sorted(ups) == ["agenda.txt", "photo.bin"], "the chosen files are stored: %r" % sorted(ups))
for n in ups:
    body = read(os.path.join(work, "files", n))
    need(ups[n]["size"] == len(body) and ups[n]["crc"] == zlib.crc32(body), n + " stored as sent")
    need(ups[n]["key"].startswith("6b000000-0000-4000-8000-"), "under the page key: %r" % ups[n]["key"])
need(len((notes.get("stored") or "").split("|")) == 2, "the page heard of both: %r" % notes.get("stored"))
'

# Dropped files go the same way.
printf 'dropped\n' >"$files/dropped.txt"
run drop "" -- --page "$page" --arg step=drop --arg "drop=$(w "$files/dropped.txt")" --timeout 90
verdict drop '
need(code == 0, "exit code %d" % code)
ups = [r for r in records if r.get("view") == "Uploads" and r["name"] == "dropped.txt"]
need(len(ups) == 1 and ups[0]["size"] == 8, "the dropped file is stored: %r" % ups)
need((notes.get("stored") or "").startswith("dropped.txt?8?false?6b000000-"), "the page heard: %r" % notes.get("stored"))
'

finish_suite
