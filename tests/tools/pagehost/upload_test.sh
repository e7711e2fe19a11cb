#!/usr/bin/env bash
# Uploads end to end: the page host drives the control against the reference file store (real WinInet,
# MSXML and dialogs under Wine). Each scenario checks the record and what the store received, byte for byte.
# Usage: upload_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite upload "$@"

start_store "$seeds/plan.txt"
curl -s -o "$work/plan.bytes" "$base/_filestore/bytes?view=Documents&key=01234567-89ab-cdef-0123-456789abcdef"
# What the store holds: every record, and the facts of its last recorded requests.
snapshot() {  # NAME
  curl -s "$base/_filestore/records" >"$work/$1.records.json"
  curl -s "$base/_filestore/requests" >"$work/$1.requests.json"
}

# What each check may also read: the store's records and the uploads it received, header fields, CRC-32.
verdict_prelude='def loadj(suffix):
    p = os.path.join(work, name + suffix)
    return json.load(open(p, encoding="utf-8")) if os.path.exists(p) else []
records = loadj(".records.json")
uploads = [r for r in loadj(".requests.json") if r.get("kind") == "upload"]
import zlib, base64
def crc(b): return zlib.crc32(b) & 0xffffffff
def rec(key): return next((r for r in records if r.get("key") == key), None)
import re
def field(head, name):
    # Wine'"'"'s WinInet writes "name: value" for the "name :value" it was given.
    for line in head.split("\r\n"):
        m = re.match(re.escape(name) + r" *: *(.*)$", line)
        if m: return m.group(1)
    return None
'

page="$base/upload.xhtml"
files="$work/files"
mkdir -p "$files"
head -c 10000 /dev/urandom >"$files/one.bin"
printf 'alpha' >"$files/a.txt"; head -c 5000 /dev/urandom >"$files/b.bin"; printf 'gamma!' >"$files/c.txt"
: >"$files/empty.txt"
printf 'not for the server' >"$files/secret.txt"
w() { qm_winpath "$1"; }
# The store takes control actions only as POSTs with its control header.
control() { curl -s -H 'X-Filestore-Control: 1' "$@" >/dev/null; }
clear_requests() { control -d '' "$base/_filestore/requests/clear"; control -d '' "$base/_filestore/faults/clear"; }
# scenario NAME [ANSWER...] -- ARGS...: clears the request log, runs the page with the scripted user's answers
# (one a line), takes the store's snapshot.
scenario() {
  local name=$1; shift
  : >"$work/$name.user"
  while [ "$#" -gt 0 ] && [ "$1" != "--" ]; do printf '%s\n' "$1" >>"$work/$name.user"; shift; done
  shift
  clear_requests
  run "$name" "$work/$name.user" -- --page "$page" --timeout 90 "$@"
  snapshot "$name"
}

# One file: the store holds its bytes under the page's key, with the header fields the control sent.
scenario one "files $(w "$files/one.bin")" -- --arg op=upload --arg id=up
verdict one '
need(code == 0, "exit code %d" % code)
need(len(uploads) == 1, "one upload: %d" % len(uploads))
body = read(os.path.join(work, "files", "one.bin"))
r = rec("0a1b2c3d-1111-2222-3333-000000000001")
need(r and r["name"] == "one.bin" and r["size"] == 10000 and r["crc"] == crc(body), "record %r" % r)
if uploads:
    h = uploads[0]["head"]
    need(uploads[0]["body_length"] == 10000 and uploads[0]["body_crc"] == crc(body), "body as sent")
    need(field(h, "Content-Type") == "velmar/postedfile", "content type")
    need(field(h, "vm_FileName") == base64.b64encode(b"one.bin").decode(), "file name field")
    need(field(h, "vm_ViewName") == "Uploads", "view field")
    c = crc(body); need(field(h, "vm_FileCRC") == str(c - (1 << 32) if c >= 1 << 31 else c), "crc field")
    need(field(h, "vm_PrimKey") == "0a1b2c3d-1111-2222-3333-000000000001", "key field")
    need(field(h, "vm_FileSize") == "10000", "size field")
need(notes.get("reports", "").startswith("up?" + (r or {}).get("file_ref", "?") + "?one.bin?10000?false?"), "report %r" % notes.get("reports"))
need(not boxes, "no message")
'

# Three files in one choice; then an empty file.
scenario three "files $(w "$files/a.txt")|$(w "$files/b.bin")|$(w "$files/c.txt")" -- --arg op=upload --arg id=up --arg multi=1
verdict three '
need(len(uploads) == 3, "three uploads: %d" % len(uploads))
for n in ("a.txt", "b.bin", "c.txt"):
    body = read(os.path.join(work, "files", n))
    need(any(r["name"] == n and r["size"] == len(body) and r["crc"] == crc(body) for r in records), n + " stored whole")
need(len(notes.get("reports", "").split("|")) == 3, "three reports")
need(not boxes, "no message")
'
scenario empty "files $(w "$files/empty.txt")" -- --arg op=upload --arg id=up
verdict empty '
need(len(uploads) == 1 and uploads[0]["body_length"] == 0, "an empty body")
need(any(r["name"] == "empty.txt" and r["size"] == 0 for r in records), "empty record")
'

# The page leaves the file out, answers with something that is not a key, with a number, or raises.
scenario minus "files $(w "$files/a.txt")" -- --arg op=upload --arg id=up --arg keymode=minus
verdict minus 'need(not uploads and not boxes and notes.get("asked") == 1, "nothing sent, nothing said")'
scenario badkey "files $(w "$files/a.txt")" "when 0a1b2c3d1-111 => escape" -- --arg op=upload --arg id=up --arg keymode=bad
verdict badkey 'need(not uploads, "nothing sent"); need(any("0a1b2c3d1-111-2222-3333-444455556666" in b for b in boxes), "the key shown: %r" % boxes)'
scenario number "files $(w "$files/a.txt")" "when Cancel => wait 2500; click 2" -- --arg op=upload --arg id=up --arg keymode=number
verdict number '
need(code == 0, "exit code %d (a hang would time out)" % code)
need(not uploads, "nothing sent")
need(2 <= int(notes.get("asked", 0)) <= 40, "asked again, paced: %r" % notes.get("asked"))
'
scenario raise "files $(w "$files/a.txt")" -- --arg op=upload --arg id=up --arg keymode=raise
verdict raise 'need(code == 0 and not uploads and not boxes, "left out silently")'

# Replies without success: an error document and an HTML page.
printf 'files %s\nwhen Quota exceeded => escape\n' "$(w "$files/a.txt")" >"$work/error.user"
clear_requests
control -d '' "$base/_filestore/fault?name=error&for=upload&message=Quota%20exceeded"
run error "$work/error.user" -- --page "$page" --timeout 90 --arg op=upload --arg id=up
snapshot error
verdict error 'need(any("Quota exceeded" in b for b in boxes), "message shown: %r" % boxes); need(not notes.get("reports"), "no report")'
printf 'files %s\nwhen Server Error => escape\n' "$(w "$files/a.txt")" >"$work/html.user"
clear_requests
control -d '' "$base/_filestore/fault?name=html&for=upload"
run html "$work/html.user" -- --page "$page" --timeout 90 --arg op=upload --arg id=up
snapshot html
verdict html 'need(any("<h1>Server Error</h1>" in b for b in boxes), "the reply text shown: %r" % boxes); need(not notes.get("reports"), "no report")'

# Once-mode: the page names a file nobody picked; it never reaches the store.
scenario once_foreign "files $(w "$files/c.txt")" -- --arg op=upload --arg id=once \
  --arg "oncelist=$(w "$files/secret.txt")?0a1b2c3d-1111-2222-3333-000000000099|$(w "$files/c.txt")?0a1b2c3d-1111-2222-3333-000000000098"
verdict once_foreign '
need(len(uploads) == 1, "one upload: %d" % len(uploads))
need(not any(r["name"] == "secret.txt" for r in records), "secret.txt never stored")
need(rec("0a1b2c3d-1111-2222-3333-000000000098") is not None, "c.txt stored")
res = (notes.get("onceResults") or "").split("?")
need(len(res) == 7 and res[2] == "c.txt" and res[4] == "false", "result record %r" % notes.get("onceResults"))
'

# UpdateFile: a LocalPath naming an environment variable and ending in a blank; the page named the folder, so
# the user is asked first.
mkdir -p "$work/upd" "$work/upd-empty"
head -c 7000 /dev/urandom >"$work/upd/Plan.doc"
export QMUPDIR=$(w "$work/upd")
scenario update10001 "when Do you want to send this file => click 6" -- --arg op=update --arg id=upd --arg location=10001 --arg 'localpath=%QMUPDIR% '
verdict update10001 '
r = rec("01234567-89ab-cdef-0123-456789abcdef")
body = read(os.path.join(work, "upd", "Plan.doc"))
need(r and r["size"] == 7000 and r["crc"] == crc(body), "the store holds the new bytes: %r" % r)
need(notes.get("reports", "").startswith("upd?" + (r or {}).get("file_ref", "?") + "?Plan.doc?7000?false?"), "report %r" % notes.get("reports"))
'
scenario update_no "when Do you want to send this file => click 7" -- --arg op=update --arg id=upd --arg location=10001 --arg 'localpath=%QMUPDIR% '
verdict update_no 'need(not uploads and not notes.get("reports"), "declined: nothing sent")'
scenario update10003 "files $(w "$files/b.bin")" -- --arg op=update --arg id=upd --arg location=10003
verdict update10003 '
body = read(os.path.join(work, "files", "b.bin"))
need(len(uploads) == 1 and uploads[0]["body_crc"] == crc(body), "the chosen file was sent")
need(not any("send this file" in b for b in boxes), "no question for a chosen file")
'
scenario update10002 "when Do you want to send this file => click 6" "files $(w "$files/c.txt")" -- --arg op=update --arg id=upd --arg location=10002 --arg "localpath=$(w "$work/upd-empty")"
verdict update10002 'need(len(uploads) == 1 and uploads[0]["body_length"] == 6, "chooser fallback sent c.txt")'
scenario update_missing "when Do you want to send this file => click 6" "when does not exist => escape" -- --arg op=update --arg id=upd --arg location=10001 --arg "localpath=$(w "$work/upd-empty")"
verdict update_missing 'need(any("The requested file does not exist in the specified path." in b for b in boxes), "missing file message"); need(not uploads, "nothing sent")'

# The edit round trip: download for editing, change the copy, ProcessLockedFiles, Save to Server, Save.
edit_round() {  # NAME ANSWER
  local name=$1 answer=$2
  rm -rf "$work/edit-$name"; mkdir -p "$work/edit-$name"
  (for _ in $(seq 1 300); do [ -s "$work/edit-$name/Plan.doc" ] && break; sleep 0.1; done
   sleep 2; head -c 12345 /dev/urandom >"$work/edit-$name/Plan.doc") &
  local changer=$!
  scenario "$name" "when has been updated => shot save-to-server; $answer" -- --arg op=edit --arg id=doc \
    --arg "dir=$(w "$work/edit-$name")" --arg editms=5000
  wait "$changer"
}
# The record as it was seeded: earlier scenarios replaced its bytes.
control --data-binary "@$seeds/plan.txt" "$base/_filestore/seed"
edit_round edit_save "click 1"
verdict edit_save '
body = read(os.path.join(work, "edit-edit_save", "Plan.doc"))
r = rec("01234567-89ab-cdef-0123-456789abcdef")
need(r and r["size"] == 12345 and r["crc"] == crc(body), "the store holds the edited bytes: %r" % r)
need(notes.get("firstWalk", "").startswith("doc?" + (r or {}).get("file_ref", "?") + "?Plan.doc?12345?false?"), "page heard: %r" % notes.get("firstWalk"))
asked = [e for e in ev if e.get("kind") == "dialog" and "updated on your local system" in json.dumps(e)]
need(len(asked) == 1, "asked once: %d" % len(asked))
need(os.path.exists(os.path.join(work, "shots-edit_save", "save-to-server.png")), "screenshot")
'
control --data-binary "@$seeds/plan.txt" "$base/_filestore/seed"
edit_round edit_cancel "click 2"
verdict edit_cancel '
need(len(uploads) == 0, "nothing sent after Cancel")
asked = [e for e in ev if e.get("kind") == "dialog" and "updated on your local system" in json.dumps(e)]
need(len(asked) == 1, "no second question without a new change: %d" % len(asked))
'

# A file held open by another program: the platform's sharing error, and nothing is sent.
scenario held "files $(w "$files/a.txt")" "when Error => escape" -- --arg op=upload --arg id=up --arg "hold=$(w "$files/a.txt")"
verdict held '
need(not uploads, "nothing sent")
need(any("a.txt" in b and b.startswith("Error : ") for b in boxes), "the error names the file: %r" % boxes)
'

# Cancel in the middle of a body: the file is not stored, the second file is not sent, the page hears nothing.
# Cancel is clicked as soon as the progress caption shows: a quiet machine sends the rest of the body in about a second.
head -c $((96 << 20)) /dev/urandom >"$files/big.bin"
scenario cancel_body "files $(w "$files/big.bin")|$(w "$files/c.txt")" "when Cancel => click 2" -- --arg op=upload --arg id=up --arg multi=1
verdict cancel_body '
need(code == 0, "exit code %d" % code)
need(len(uploads) == 1 and uploads[0]["outcome"] != "stored", "one request, not stored: %r" % [u["outcome"] for u in uploads])
need(not any(r["name"] == "big.bin" for r in records), "big.bin not stored")
need(not notes.get("reports"), "no report: %r" % notes.get("reports"))
'

# Over https: a test certificate for localhost that this prefix's root store trusts.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/tls.key" -out "$work/tls.pem" -days 2 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" >/dev/null 2>&1
python3 - "$work/tls.pem" "$work/trust.reg" <<'PY'
import hashlib, ssl, struct, sys
der = ssl.PEM_cert_to_DER_cert(open(sys.argv[1]).read())
thumb = hashlib.sha1(der).hexdigest().upper()
blob = struct.pack("<III", 32, 1, len(der)) + der  # the certificate property of a serialized store entry
with open(sys.argv[2], "w") as f:
    f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]\n" % thumb)
    f.write('"Blob"=hex:%s\n' % ",".join("%02x" % b for b in blob))
PY
timeout 60 "$wine" regedit /S "$(qm_winpath "$work/trust.reg")" >/dev/null 2>&1
plain_base=$base
store_name=tls qm_start_store --data "$work/store" --pages "$here/pages" --quiet --tls-cert "$work/tls.pem" \
  --tls-key "$work/tls.key" || exit 1
tls_server=$store_pid
base=$plain_base
printf 'files %s\n' "$(w "$files/b.bin")" >"$work/https.user"
clear_requests
run https "$work/https.user" -- --page "$(qm_winpath "$here/pages/upload.xhtml")" \
  --href "https://localhost:$(cat "$work/tls.port")/upload.xhtml" --arg op=upload --arg id=up --arg keymode=fixed \
  --arg key=0a1b2c3d-1111-2222-3333-0000000000f5 --timeout 90
snapshot https
kill "$tls_server" 2>/dev/null
verdict https '
body = read(os.path.join(work, "files", "b.bin"))
r = rec("0a1b2c3d-1111-2222-3333-0000000000f5")
need(r and r["size"] == len(body) and r["crc"] == crc(body), "stored over https: %r, boxes %r" % (r, boxes))
'

finish_suite
