#!/usr/bin/env bash
# A page after the user's files, end to end: the page host drives the control against the reference file store.
# Each scenario checks that the user's bytes never reach the store, that nothing outside the folder meant for a
# file changed, and that the user was asked or told.
# Usage: trust_test.sh [DIST_DIR]; environment as in common.sh.
set -uo pipefail
suite=trust
source "$(dirname "$0")/common.sh"

start_store "$seeds/plan.txt"
page="$base/trust.xhtml"
records() { curl -s "$base/_filestore/records" >"$work/$1.json.store"; }
secret_dir="$WINEPREFIX/drive_c/qm-secret"
mkdir -p "$secret_dir"
printf 'the user private text' >"$secret_dir/secret.txt"
verdict_prelude='
def store_same(name):
    before = json.load(open(os.path.join(work, name + "-before.json.store")))
    after = json.load(open(os.path.join(work, name + "-after.json.store")))
    key = lambda r: (r["key"], r["size"], r["crc"])
    return sorted(map(key, before)) == sorted(map(key, after))
secret = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-secret", "secret.txt")
def untouched(name):
    need(code == 0, "exit code %d" % code)
    need(store_same(name), "the store received nothing")
    need(read(secret) == b"the user private text", "the user file is as it was")
'

# A download that fails (the store has no such record) must not make the user's file at that path one the page
# can have sent back: UpdateFile asks first, and No sends nothing. (The user lets the download replace the file.)
records failed-before
printf 'when asks to replace the file => click 6\nwhen No file is stored => escape\nwhen asks to send the file => click 7\n' >"$work/failed.user"
run failed "$work/failed.user" -- --page "$page" --arg id=gone --arg 'dir=C:\qm-secret' --arg download=1 \
  --arg update=1 --timeout 60
records failed-after
verdict failed '
untouched("failed")
need(any("asks to send the file" in b and "secret.txt" in b for b in boxes), "the user was asked: %r" % boxes)
'

# A tracked copy in the working folder does not open the way to a file elsewhere through "/" and "..".
records slash-before
printf 'maybe when asks to send the file => click 7\nwhen does not exist => escape\n' >"$work/slash.user"
run slash "$work/slash.user" -- --page "$page" --arg id=plan --arg download=1 \
  --arg 'name=../../../../../../../../qm-secret/secret.txt' --arg update=1 --timeout 60
records slash-after
verdict slash '
untouched("slash")
need(any("does not exist" in b or "asks to send the file" in b for b in boxes), "told or asked: %r" % boxes)
'

# A file of the user's in a folder the page named is replaced only after a Yes that names it.
printf 'the user thesis' >"$secret_dir/thesis.docx"
printf 'when asks to replace the file => click 7\n' >"$work/replace.user"
run replace "$work/replace.user" -- --page "$page" --arg id=thesis --arg 'dir=C:\qm-secret' --arg download=1 \
  --timeout 60
verdict replace '
need(code == 0, "exit code %d" % code)
need(any("asks to replace the file" in b and "thesis.docx" in b for b in boxes), "the user was asked: %r" % boxes)
need(read(os.path.join(os.path.dirname(secret), "thesis.docx")) == b"the user thesis", "the thesis is as it was")
need(not temporaries(os.path.dirname(secret)), "no temporary file")
'

# A library saved for editing lands in the remembered save folder only after a Yes.
mkdir -p "$WINEPREFIX/drive_c/qm-saved"
timeout 60 "$wine" reg add 'HKCU\Software\Velmar\Quillmark' /v SaveFileLocation /t REG_SZ /d 'C:\qm-saved' /f \
  >/dev/null 2>&1
printf 'when can run commands => click 7\n' >"$work/dll.user"
run dll "$work/dll.user" -- --page "$page" --arg id=dll --arg download=1 --timeout 60
verdict dll '
need(code == 0, "exit code %d" % code)
need(any("version.dll" in b and "can run commands" in b for b in boxes), "the user was asked: %r" % boxes)
saved = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-saved")
need(any("qm-saved" in b for b in boxes), "the question names the remembered folder: %r" % boxes)
need(os.listdir(saved) == [], "nothing in the remembered folder: %r" % os.listdir(saved))
'

finish_suite
