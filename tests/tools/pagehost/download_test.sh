#!/usr/bin/env bash
# Downloads end to end: the page host drives the control against the reference file store (real WinInet,
# MSXML and dialogs under Wine). Each scenario checks the record, the files that arrived and what stayed.
# Usage: download_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite download "$@"

cat >"$work/seed.txt" <<'SEED'
[record]
view = Documents
key = short-key
name = Short.doc
generate = 9999 3
SEED
start_store "$seeds/plan.txt" "$seeds/big.txt" "$work/seed.txt"
curl -s -o "$work/plan.bytes" "$base/_filestore/bytes?view=Documents&key=01234567-89ab-cdef-0123-456789abcdef"

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
need(not temporaries(os.path.join(work, "out")), "no temporary file")
'

# A reply one byte shorter than FileSize: the message, and the older copy stays as it was.
printf 'older copy' >"$out/Short.doc"
# The older copy is newer than the server's time: the user says No to keeping it.
printf 'when Use local version => click 7\nwhen asks to replace the file => click 6\nwhen Error in receiving => escape\n' >"$work/short.txt"
run short "$work/short.txt" -- --page "$page" --arg ids=short --arg "dir=$wout" --timeout 60
verdict short '
need(code == 0, "exit code %d" % code)
need(any("Error in receiving file. Try again." in b for b in boxes), "size message")
need(read(os.path.join(work, "out", "Short.doc")) == b"older copy", "older copy kept")
need(not temporaries(os.path.join(work, "out")), "no temporary file")
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
fault() { store_control "fault?name=$1&for=getfile${2:-}"; }
for f in html long-body drop-mid-body; do
  printf 'older plain' >"$out/Plain.doc"
  printf 'when asks to replace the file => click 6\nwhen OK => escape\n' >"$work/fault.txt"
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
need(not temporaries(os.path.join(work, 'out')), 'no temporary file')
"
done
store_control faults/clear

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
# clicked as soon as the dialog shows. The store sends at 100 MB/s (under 3 s for the file): at the full speed
# of loopback the whole file arrives before the click.
printf 'older big copy' >"$out/Big.bin"
store_control "fault?name=slow-body&for=getfile&rate=100000000"
printf 'when asks to replace the file => click 6\nwhen Big.bin => click 2\n' >"$work/cancel.txt"
run cancel "$work/cancel.txt" -- --page "$page" --arg ids=big --arg "dir=$wout" --timeout 120
sleep 2
verdict cancel '
need(any(e.get("kind") == "dialogEnd" and e.get("template") == "103" and e.get("result") == 2 for e in ev), "cancelled while receiving")
need(read(os.path.join(work, "out", "Big.bin")) == b"older big copy", "older copy intact")
need(not temporaries(os.path.join(work, "out")), "no temporary file")
'

# No server listening: the connection error is told, nothing arrives.
printf 'when OK => escape\n' >"$work/noserver.txt"
run no_server "$work/noserver.txt" -- --page "$(qm_winpath "$here/pages/download.xhtml")" --href "http://127.0.0.1:9/download.xhtml" \
  --arg ids=missing --arg "dir=$wout" --timeout 90
verdict no_server '
need(len(boxes) >= 1, "a message")
need(not os.path.exists(os.path.join(work, "out", "Gone.doc")), "nothing created")
'

# Several files in one go into a chosen folder: a listed id without an element is skipped, a name that tries to
# leave the folder stays inside it, no page function is called, and the user opens the folder at the end. The
# folders are on drive C: (the folder browser cannot select one on Z: in Wine).
drive_c="$WINEPREFIX/drive_c"
multi_dir="$drive_c/qm-multi"
mkdir -p "$multi_dir"
# The bodies come at 10 KB/s, so the user unchecks "Close this dialog box" while the job runs.
store_control "fault?name=slow-body&for=getfile&rate=10000&count=3"
printf 'when Select a folder => folder C:\\qm-multi\nwhen Estimated time left => uncheck 221; waitfor Download completed; click 218\n' >"$work/multi.txt"
run multi "$work/multi.txt" -- --page "$page" --arg 'ids=m1|nope|mesc|m3' --timeout 90
verdict multi '
need(code == 0, "exit code %d" % code)
d = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-multi")
names = sorted(os.listdir(d))
plan = read(os.path.join(work, "plan.bytes"))
need("One.doc" in names and read(os.path.join(d, "One.doc")) == plan, "One.doc arrived: %r" % names)
need("Three.doc" in names and read(os.path.join(d, "Three.doc")) == plan, "Three.doc arrived")
four = [n for n in names if n.endswith("Four.doc")]
need(len(four) == 1 and "\\" not in four[0] and ":" not in four[0], "the escaping name confined: %r" % names)
need(len(names) == 3, "nothing else in the folder: %r" % names)
need(not os.path.exists(os.path.join(os.path.dirname(d), "Four.doc")), "nothing outside")
need(not notes.get("after"), "no page function: %r" % notes.get("after"))
folders = [o for o in opens if o.get("what") == "folder"]
need(len(folders) == 1 and folders[0]["file"].rstrip("\\").lower() == "c:\\qm-multi", "Open Folder opened the folder: %r" % opens)
'

# A target that exists: No to the overwrite question keeps it and the rest still arrive.
printf 'older one' >"$multi_dir/One.doc"
rm -f "$multi_dir/Three.doc"
printf 'when Select a folder => folder C:\\qm-multi\nwhen already exists => click 7\n' >"$work/multi_keep.txt"
run multi_keep "$work/multi_keep.txt" -- --page "$page" --arg 'ids=m1|m3' --timeout 90
verdict multi_keep '
need(code == 0, "exit code %d" % code)
d = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-multi")
need(any("One.doc already exists." in b for b in boxes), "overwrite question: %r" % boxes)
need(read(os.path.join(d, "One.doc")) == b"older one", "the kept copy is intact")
need(read(os.path.join(d, "Three.doc")) == read(os.path.join(work, "plan.bytes")), "Three.doc arrived")
'

# No folder chosen: nothing more happens.
printf 'when Select a folder => escape\n' >"$work/multi_none.txt"
run multi_none "$work/multi_none.txt" -- --page "$page" --arg 'ids=m1|m3' --timeout 60
verdict multi_none '
need(code == 0, "exit code %d" % code)
need(any(e.get("kind") == "chooserStart" for e in ev), "the folder was asked for")
need(not any(e.get("kind") == "dialogStart" for e in ev), "no progress dialog")
'

# Cancel during the second of three files: the first stays, the second leaves nothing, the third is not fetched.
mkdir -p "$drive_c/qm-multi-cancel"
# As above, the store sends at 100 MB/s, so the click 300 ms into Big.bin comes while it arrives.
store_control "fault?name=slow-body&for=getfile&rate=100000000&count=2"
printf 'when Select a folder => folder C:\\qm-multi-cancel\nwhen Big.bin from => wait 300; click 2\n' >"$work/multi_cancel.txt"
run multi_cancel "$work/multi_cancel.txt" -- --page "$page" --arg 'ids=m1|big|m3' --timeout 120
sleep 2
verdict multi_cancel '
d = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-multi-cancel")
names = sorted(os.listdir(d))
need(any(e.get("kind") == "dialogEnd" and e.get("template") == "103" and e.get("result") == 2 for e in ev), "cancelled")
need(names == ["One.doc"], "only the first file stays: %r" % names)
'

# The administrator's site lock: with a list that leaves the page's host out, the control does nothing; with the
# host on it, the download goes as before. Written to the 64-bit view, which both builds read.
lock() { timeout 60 "$wine" reg "$@" /reg:64 >/dev/null 2>&1; }
lock_dir="$work/out-lock"
mkdir -p "$lock_dir"
lock add 'HKLM\Software\Velmar\Quillmark' /v AllowedHosts /t REG_SZ /d 'files.example.com;*.corp.example' /f
run locked "" -- --page "$page" --arg ids=doc --arg "dir=$(qm_winpath "$lock_dir")" --timeout 60
# A bare host is that host on http's port 80 (https's 443): the store's port is another application's.
store_port=${base##*:}
lock add 'HKLM\Software\Velmar\Quillmark' /v AllowedHosts /t REG_SZ /d "127.0.0.1;https://127.0.0.1:$store_port" /f
run other_port "" -- --page "$page" --arg ids=plain --arg "dir=$(qm_winpath "$lock_dir")" --timeout 60
lock add 'HKLM\Software\Velmar\Quillmark' /v AllowedHosts /t REG_MULTI_SZ /d "files.example.com\0http://127.0.0.1:$store_port" /f
run unlocked "" -- --page "$page" --arg ids=plain --arg "dir=$(qm_winpath "$lock_dir")" --timeout 60
lock delete 'HKLM\Software\Velmar\Quillmark' /v AllowedHosts /f
verdict locked '
need(code == 0, "exit code %d" % code)
need(not os.path.exists(os.path.join(work, "out-lock", "Plan.doc")), "nothing downloaded")
need(not any(e.get("kind") in ("dialogStart", "messageBox", "call") for e in ev), "no dialog, message or page call")
'
verdict other_port '
need(code == 0, "exit code %d" % code)
need(not any(e.get("kind") in ("dialogStart", "messageBox", "call") for e in ev), "no dialog, message or page call")
'
verdict unlocked '
need(code == 0, "exit code %d" % code)
need(read(os.path.join(work, "out-lock", "Plain.doc")) == read(os.path.join(work, "plan.bytes")), "downloaded on a listed host")
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
plain_base=$base
tls_servers=()
for kind in trusted untrusted; do
  store_name=$kind qm_start_store --data "$work/store" --pages "$here/pages" --quiet \
    --tls-cert "$work/$kind.pem" --tls-key "$work/$kind.key" || exit 1
  tls_servers+=("$store_pid")
done
base=$plain_base
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

finish_suite
