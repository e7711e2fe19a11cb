#!/usr/bin/env bash
# Files named in any language, end to end against the reference file store: chosen, dropped from the shell and
# through OLE, and edited and sent back, in folders named the same way. The file is found, read and stored
# whole; the page hears the real name; the header's name field is the ANSI code page's form of it.
# Usage: names_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite names "$@"

start_store
page="$base/names.xhtml"
verdict_prelude='import base64, re, zlib, urllib.request
def loadj(suffix):
    p = os.path.join(work, name + suffix)
    return json.load(open(p, encoding="utf-8")) if os.path.exists(p) else []
records = loadj(".records.json")
uploads = [r for r in loadj(".requests.json") if r.get("kind") == "upload"]
def crc(b): return zlib.crc32(b) & 0xffffffff
def field(head, fname):
    for line in head.split("\r\n"):
        m = re.match(re.escape(fname) + r" *: *(.*)$", line)
        if m: return m.group(1)
    return None
def named(n): return next((r for r in records if r.get("name") == n), None)
names = json.load(open(os.path.join(work, "names.json"), encoding="utf-8"))
'
snapshot() {  # NAME
  curl -s "$base/_filestore/records" >"$work/$1.records.json"
  curl -s "$base/_filestore/requests" >"$work/$1.requests.json"
}
scenario() {  # NAME USERFILE -- ARGS...
  local name=$1 user=$2; shift 3
  store_control reset
  run "$name" "$user" -- --page "$page" --timeout 90 "$@"
  snapshot "$name"
}
w() { qm_winpath "$1"; }

# Cyrillic with CJK and a Latin-1 letter, Greek, Arabic, beyond U+FFFF, combining marks: in a folder of such a name.
folder="$work/Проект 東京"
mkdir -p "$folder"
names=("Отчёт 東京 ü.txt" "Ελληνικά.doc" "تقرير سنوي.pdf" "clef 𝄞 and 😀.txt" $'Cafe\xcc\x81 n\xcc\x83.txt')
python3 -c 'import json, sys; json.dump(sys.argv[2:], open(sys.argv[1], "w"), ensure_ascii=False)' "$work/names.json" "${names[@]}"
list=""
for i in "${!names[@]}"; do
  head -c $((1000 + i * 777)) /dev/urandom >"$folder/${names[$i]}"
  list+="${list:+|}$(w "$folder/${names[$i]}")"
done

# What each upload scenario checks: every file stored whole under its key, the page told the real names, the
# first name's field exactly its Western code-page form.
all_stored='
need(code == 0, "exit code %d" % code)
need(len(uploads) == len(names), "%d uploads of %d: %r" % (len(uploads), len(names), boxes))
for n in names:
    body = read(os.path.join(work, "Проект 東京", n))
    sent = [u for u in uploads if u["body_crc"] == crc(body) and u["body_length"] == len(body)]
    need(sent and "stored" in sent[0]["outcome"], "%s sent whole and stored: %r" % (n, [u["outcome"] for u in uploads]))
    need(n in heard, "the page heard the real name %s: %r" % (n, heard))
first = read(os.path.join(work, "Проект 東京", names[0]))
u0 = [u for u in uploads if u["body_crc"] == crc(first)]
need(u0 and field(u0[0]["head"], "vm_FileName") == base64.b64encode(b"????? ?? \xfc.txt").decode(), "name field in 1252: %r" % [field(u["head"], "vm_FileName") for u in u0])
need(u0 and field(u0[0]["head"], "vm_FileNameEncoding") is None, "no added header line without the opt-in")
need(not boxes, "no message: %r" % boxes)
'

printf 'files %s\n' "$list" >"$work/chooser.user"
scenario chooser "$work/chooser.user" -- --arg op=upload --arg id=up --arg multi=1
verdict chooser "heard = notes.get('keyCalls', '') + notes.get('reports', '')
$all_stored"

scenario shell "" -- --arg op=shell --arg "files=$list"
verdict shell "heard = notes.get('summary', '') + notes.get('onceResults', '')
$all_stored"

scenario ole "" -- --arg op=ole --arg "files=$list"
verdict ole "heard = notes.get('summary', '') + notes.get('onceResults', '')
$all_stored"

# The edit round trip: downloaded into the folder under a Cyrillic and CJK name, changed, sent back on Save.
edit_round() {  # NAME [ARGS...]
  local name=$1; shift
  local file="Смета №5 — 東京.doc" dir="$work/edit-$name/Проект 東京"
  rm -rf "$work/edit-$name"; mkdir -p "$dir"
  store_control reset
  printf '[record]\nview = Documents\nkey = 0b1c2d3e-4444-5555-6666-0000000000ee\nname = %s\ncontent = edit me now!\n' "$file" >"$work/$name.seed"
  curl -s -o /dev/null -H 'X-Filestore-Control: 1' --data-binary "@$work/$name.seed" "$base/_filestore/seed"
  (for _ in $(seq 1 300); do [ -s "$dir/$file" ] && break; sleep 0.1; done
   sleep 2; head -c 4321 /dev/urandom >"$dir/$file") &
  local changer=$!
  printf 'when has been updated => click 1\n' >"$work/$name.user"
  run "$name" "$work/$name.user" -- --page "$page" --timeout 90 --arg op=edit --arg "name=$file" \
    --arg "dir=$(w "$dir")" --arg editms=5000 "$@"
  wait "$changer"
  snapshot "$name"
}
edit_round edit
verdict edit '
body = read(os.path.join(work, "edit-edit", "Проект 東京", "Смета №5 — 東京.doc"))
r = next((r for r in records if r["key"] == "0b1c2d3e-4444-5555-6666-0000000000ee"), None)
need(r and r["size"] == 4321 and r["crc"] == crc(body), "the store holds the edited bytes: %r" % r)
need(r and r["name"] == "????? ?5 — ??.doc", "stored under the code-page form: %r" % (r or {}).get("name"))
need("?Смета №5 — 東京.doc?4321?false?" in notes.get("reports", ""), "the page heard the real name: %r" % notes.get("reports"))
need(not boxes, "no message: %r" % boxes)
'

# The opt-in: FileNameEncoding="utf-8" on the element; the store keeps every true name, as the page heard it.
utf8_stored='
need(code == 0, "exit code %d" % code)
need(len(uploads) == len(names), "%d uploads of %d: %r" % (len(uploads), len(names), boxes))
for n in names:
    body = read(os.path.join(work, "Проект 東京", n))
    r = named(n)
    need(r and r["size"] == len(body) and r["crc"] == crc(body), "%s stored whole under its true name: %r" % (n, [x["name"] for x in records]))
    need(n in heard, "the page heard the real name %s" % n)
for u in uploads:
    need(field(u["head"], "vm_FileNameEncoding") == "utf-8", "the added line: %r" % u["head"])
    need(base64.b64decode(field(u["head"], "vm_FileName")).decode("utf-8") in names, "the name field in UTF-8")
need(not boxes, "no message: %r" % boxes)
'
scenario chooser_utf8 "$work/chooser.user" -- --arg op=upload --arg id=up --arg multi=1 --arg encoding=utf-8
verdict chooser_utf8 "heard = notes.get('keyCalls', '') + notes.get('reports', '')
$utf8_stored"
scenario shell_utf8 "" -- --arg op=shell --arg "files=$list" --arg encoding=utf-8
verdict shell_utf8 "heard = notes.get('summary', '') + notes.get('onceResults', '')
$utf8_stored"
scenario ole_utf8 "" -- --arg op=ole --arg "files=$list" --arg encoding=utf-8
verdict ole_utf8 "heard = notes.get('summary', '') + notes.get('onceResults', '')
$utf8_stored"
edit_round edit_utf8 --arg encoding=utf-8
verdict edit_utf8 '
body = read(os.path.join(work, "edit-edit_utf8", "Проект 東京", "Смета №5 — 東京.doc"))
r = next((r for r in records if r["key"] == "0b1c2d3e-4444-5555-6666-0000000000ee"), None)
need(r and r["size"] == 4321 and r["crc"] == crc(body), "the store holds the edited bytes: %r" % r)
need(r and r["name"] == "Смета №5 — 東京.doc", "stored under the true name: %r" % (r or {}).get("name"))
need(uploads and field(uploads[-1]["head"], "vm_FileNameEncoding") == "utf-8", "the added line")
need(not boxes, "no message: %r" % boxes)
'

# A name whose header form is longer than the store takes: refused, named, before the page is asked; in UTF-8 the
# limit counts UTF-8 bytes (with ".txt", 70 Cyrillic letters are 74 bytes as "?" and 144 in UTF-8; 100 are 104 and 204).
long_name="$(python3 -c 'print("д" * 100 + ".txt")')"
mid_name="$(python3 -c 'print("д" * 70 + ".txt")')"
printf 'long' >"$folder/../$long_name"; printf 'mid' >"$folder/../$mid_name"
printf 'files %s\nwhen too long => escape\n' "$(w "$work/$long_name")" >"$work/long.user"
scenario long_utf8 "$work/long.user" -- --arg op=upload --arg id=up --arg encoding=utf-8
verdict long_utf8 '
need(not uploads, "nothing sent")
need(notes.get("asked") == 0, "the page was not asked")
need(any("д" * 100 + ".txt" in b and "204 bytes in UTF-8" in b for b in boxes), "the refusal names the file: %r" % boxes)
'
printf 'files %s\n' "$(w "$work/$long_name")" >"$work/long_plain.user"
scenario long_plain "$work/long_plain.user" -- --arg op=upload --arg id=up
verdict long_plain 'need(len(uploads) == 1 and "stored" in uploads[0]["outcome"] and not boxes, "104 bytes in the code page fit: %r" % boxes)'
printf 'files %s\n' "$(w "$work/$mid_name")" >"$work/mid.user"
scenario mid_utf8 "$work/mid.user" -- --arg op=upload --arg id=up --arg encoding=utf-8
verdict mid_utf8 'need(named("д" * 70 + ".txt") and not boxes, "144 bytes in UTF-8 fit: %r" % boxes)'

finish_suite
