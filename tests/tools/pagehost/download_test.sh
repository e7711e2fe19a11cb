#!/usr/bin/env bash
# Downloads end to end: the page host drives the control against the reference file store (real WinInet,
# MSXML and dialogs under Wine). Each scenario checks the record, the files that arrived and what stayed.
# Usage: download_test.sh [DIST_DIR]   (default dist/x64: pagehost.exe and Quillmark.dll)
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

work=$(mktemp -d /tmp/download-test.XXXXXX)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
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
created = 2024-01-02 03:04:05
updated = 2024-02-03 04:05:06

[record]
view = Documents
key = short-key
name = Short.doc
generate = 9999 3

[record]
view = Documents
key = big-key
name = Big.bin
generate = 268435456 5
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

failures=0
checks=0
# run NAME USERFILE -- PAGEHOST_ARGS...   (the record goes to $work/NAME.json)
run() {
  local name=$1 user=$2; shift 3
  local extra=()
  [ -n "$user" ] && extra=(--user "$(qm_winpath "$user")")
  mkdir -p "$work/shots-$name"
  timeout 300 "$wine" "$dist/pagehost.exe" --record "$(qm_winpath "$work")\\$name.json" \
    --shots "$(qm_winpath "$work/shots-$name")" "${extra[@]}" "$@" >"$work/$name.out" 2>&1
  echo $? >"$work/$name.code"
}
# verdict NAME PYTHON-CHECK: the check reads rec (the record), work (the folder) and code (the exit code).
verdict() {
  local name=$1 check=$2
  checks=$((checks + 1))
  if python3 - "$work" "$name" <<PY
import json, os, sys
work, name = sys.argv[1], sys.argv[2]
rec = json.load(open(os.path.join(work, name + ".json"), encoding="utf-8"))
code = int(open(os.path.join(work, name + ".code")).read())
ev = rec.get("events", [])
notes = {e.get("name"): e.get("value") for e in ev if e.get("kind") == "note"}
boxes = [e.get("text", "") for e in ev if e.get("kind") == "messageBox"]
opens = [e for e in ev if e.get("kind") == "shellOpen"]
def read(p):
    with open(p, "rb") as f: return f.read()
problems = []
def need(cond, what):
    if not cond: problems.append(what)
$check
if problems:
    print("  " + "\n  ".join(problems)); print("  boxes:", boxes); print("  notes:", notes); sys.exit(1)
PY
  then echo "ok: $name"; else echo "FAIL: $name"; sed 's/^/    | /' "$work/$name.out" | grep -v "X connection" | head -10; failures=$((failures + 1)); fi
}

page="$base/download.xhtml"
out="$work/out"
mkdir -p "$out"
wout=$(qm_winpath "$out")

# An element that needs no question: saved for editing into the page's folder, with the server's times.
run save_edit "" -- --page "$page" --arg ids=doc --arg "dir=$wout" --timeout 60
verdict save_edit '
need(code == 0, "exit code %d" % code)
p = os.path.join(work, "out", "Plan.doc")
need(os.path.exists(p) and read(p) == read(os.path.join(work, "plan.bytes")), "Plan.doc has the stored bytes")
import calendar
need(os.path.exists(p) and int(os.path.getmtime(p)) == calendar.timegm((2024, 2, 3, 4, 5, 6)), "server update time")
need("doc?true?Open?" in (notes.get("after") or ""), "after-download call: %r" % notes.get("after"))
need(not boxes, "no message")
need(not [n for n in os.listdir(os.path.join(work, "out")) if n.lower().endswith(".tmp")], "no temporary file")
'

# A reply one byte shorter than FileSize: the message, and the older copy stays as it was.
printf 'older copy' >"$out/Short.doc"
# The older copy is newer than the server's time: the user says No to keeping it.
printf 'when Use local version => click 7\nwhen Error in receiving => escape\n' >"$work/short.txt"
run short "$work/short.txt" -- --page "$page" --arg ids=short --arg "dir=$wout" --timeout 60
verdict short '
need(code == 0, "exit code %d" % code)
need(any("Error in receiving file. Try again." in b for b in boxes), "size message")
need(read(os.path.join(work, "out", "Short.doc")) == b"older copy", "older copy kept")
need(not [n for n in os.listdir(os.path.join(work, "out")) if n.lower().endswith(".tmp")], "no temporary file")
need("short?true?Open?" in (notes.get("after") or ""), "after-download still called")
'

# The server answers with an error document: its message, and nothing is created.
printf 'when No file is stored => escape\n' >"$work/missing.txt"
run missing "$work/missing.txt" -- --page "$page" --arg ids=missing --arg "dir=$wout" --timeout 60
verdict missing '
need(any("No file is stored under view Documents, key no-such-key." in b for b in boxes), "error document message")
need(not os.path.exists(os.path.join(work, "out", "Gone.doc")), "nothing created")
'

# A page-supplied name that tries to leave its folder stays inside it.
run escape_name "" -- --page "$page" --arg ids=doc --arg "dir=$wout" --arg 'name=..\..\escaped.txt' --timeout 60
verdict escape_name '
need(os.path.exists(os.path.join(work, "out", ".._.._escaped.txt")), "confined name inside the folder")
need(not os.path.exists(os.path.join(work, "escaped.txt")) and not os.path.exists(os.path.join(work, "..", "escaped.txt")), "nothing outside")
'

# Opening: an "open" download is opened through the shell (recorded, not carried out).
run open "" -- --page "$page" --arg ids=doc --arg action=open --timeout 60
verdict open '
need(code == 0, "exit code %d" % code)
need(len(opens) == 1 and opens[0]["file"].endswith("\\Plan.doc") and opens[0]["what"] == "file", "one shell open: %r" % opens)
'

# A program is not run without the user: the question comes, No opens nothing.
printf 'when can run commands => click 7\n' >"$work/danger.txt"
run danger "$work/danger.txt" -- --page "$page" --arg ids=doc --arg action=open --arg name=setup.exe --timeout 60
verdict danger '
need(any("setup.exe" in b for b in boxes), "risk question")
need(not opens, "nothing opened: %r" % opens)
'

# Server faults, each with an older copy at the target that must stay as it was.
fault() { curl -s -o /dev/null -X POST -d '' "$base/_filestore/fault?name=$1&for=getfile${2:-}"; }
for f in html long-body drop-mid-body; do
  printf 'older plain' >"$out/Plain.doc"
  printf 'when OK => escape\n' >"$work/fault.txt"
  fault "$f"
  run "fault_$f" "$work/fault.txt" -- --page "$page" --arg ids=plain --arg "dir=$wout" --timeout 60
  case $f in
    html) want='"Server Error" in b' ;;
    long-body) want='"Error in receiving file. Try again." in b' ;;
    *) want='len(b) > 0' ;;
  esac
  verdict "fault_$f" "
need(any($want for b in boxes), 'the fault is told')
need(read(os.path.join(work, 'out', 'Plain.doc')) == b'older plain', 'older copy intact')
need(not [n for n in os.listdir(os.path.join(work, 'out')) if n.lower().endswith('.tmp')], 'no temporary file')
"
done
curl -s -o /dev/null -X POST -d '' "$base/_filestore/faults/clear"

# The File Download dialog: Edit Mode checked, Open: downloaded into the temporary folder, opened, registered.
printf 'when File Download => shot file-download; check 209; click 1\n' >"$work/asked.txt"
run asked "$work/asked.txt" -- --page "$page" --arg ids=asked --timeout 60
verdict asked '
need(code == 0, "exit code %d" % code)
need(any(e.get("kind") == "dialogEnd" and e.get("template") == "104" and e.get("result") == 1005 for e in ev), "dialog 104 ended with 1005")
need(len(opens) == 1 and opens[0]["file"].endswith("\\Asked.doc"), "opened: %r" % opens)
need("asked?true?Lock?" in (notes.get("after") or ""), "after-download with Lock: %r" % notes.get("after"))
need(os.path.exists(os.path.join(work, "shots-asked", "file-download.png")), "screenshot")
'

# Cancel while a large file arrives over an older copy: the copy stays, no temporary file is left. Cancel is
# clicked as soon as the dialog shows: on a quiet machine the whole file arrives within a second and a half.
printf 'older big copy' >"$out/Big.bin"
printf 'when Big.bin => click 2\n' >"$work/cancel.txt"
run cancel "$work/cancel.txt" -- --page "$page" --arg ids=big --arg "dir=$wout" --timeout 120
sleep 2
verdict cancel '
need(any(e.get("kind") == "dialogEnd" and e.get("template") == "103" and e.get("result") == 2 for e in ev), "cancelled while receiving")
need(read(os.path.join(work, "out", "Big.bin")) == b"older big copy", "older copy intact")
need(not [n for n in os.listdir(os.path.join(work, "out")) if n.lower().endswith(".tmp")], "no temporary file")
'

# No server listening: the connection error is told, nothing arrives.
printf 'when OK => escape\n' >"$work/noserver.txt"
run no_server "$work/noserver.txt" -- --page "$(qm_winpath "$here/pages/download.xhtml")" --href "http://127.0.0.1:9/download.xhtml" \
  --arg ids=missing --arg "dir=$wout" --timeout 90
verdict no_server '
need(len(boxes) >= 1, "a message")
need(not os.path.exists(os.path.join(work, "out", "Gone.doc")), "nothing created")
'

# Over https: a test certificate for localhost that this prefix's root store trusts; WinInet verifies it as it
# would for a user. A second server with a certificate nobody trusts gives a clear message and no file.
tls() {  # NAME -> NAME.pem, NAME.key
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 2 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" >/dev/null 2>&1
}
tls trusted
tls untrusted
python3 - "$work/trusted.pem" "$work/trust.reg" <<'PY'
import base64, hashlib, ssl, struct, sys
der = ssl.PEM_cert_to_DER_cert(open(sys.argv[1]).read())
thumb = hashlib.sha1(der).hexdigest().upper()
blob = struct.pack("<III", 32, 1, len(der)) + der  # the certificate property of a serialized store entry
hexed = ",".join("%02x" % b for b in blob)
with open(sys.argv[2], "w") as f:
    f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]\n" % thumb)
    f.write('"Blob"=hex:%s\n' % hexed)
PY
timeout 60 "$wine" regedit /S "$(qm_winpath "$work/trust.reg")" >/dev/null 2>&1
tls_servers=()
for kind in trusted untrusted; do
  "${fs[@]}" --data "$work/store" --port 0 --port-file "$work/$kind.port" --pages "$here/pages" --quiet \
    --tls-cert "$work/$kind.pem" --tls-key "$work/$kind.key" >"$work/fs-$kind.out" 2>&1 &
  tls_servers+=($!)
  for _ in $(seq 1 300); do [ -s "$work/$kind.port" ] && break; sleep 0.1; done
done
mkdir -p "$work/out-tls"
tls_out=$(qm_winpath "$work/out-tls")
run https "" -- --page "$(qm_winpath "$here/pages/download.xhtml")" \
  --href "https://localhost:$(cat "$work/trusted.port")/download.xhtml" --arg ids=plain --arg "dir=$tls_out" --timeout 90
verdict https '
need(code == 0, "exit code %d" % code)
p = os.path.join(work, "out-tls", "Plain.doc")
need(os.path.exists(p) and read(p) == read(os.path.join(work, "plan.bytes")), "arrived over https: boxes %r" % boxes)
'
printf 'when OK => escape\n' >"$work/untrusted.txt"
run https_untrusted "$work/untrusted.txt" -- --page "$(qm_winpath "$here/pages/download.xhtml")" \
  --href "https://localhost:$(cat "$work/untrusted.port")/download.xhtml" --arg ids=short --arg "dir=$tls_out" --timeout 90
verdict https_untrusted '
need(len(boxes) >= 1 and any("certificate" in b for b in boxes), "a clear message: %r" % boxes)
need(not os.path.exists(os.path.join(work, "out-tls", "Short.doc")), "no file")
'
kill "${tls_servers[@]}" 2>/dev/null

echo "download: $checks scenarios, $failures failed"
[ $failures = 0 ]
