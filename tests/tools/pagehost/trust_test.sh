#!/usr/bin/env bash
# A page after the user's files, end to end: the page host drives the control against the reference file store.
# Each scenario checks that the user's bytes never reach the store, that nothing outside the folder meant for a
# file changed, and that the user was asked or told.
# Usage: trust_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite trust "$@"

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
printf 'when asks to replace the file => shot question-replace; click 7\n' >"$work/replace.user"
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
printf 'when can run commands => shot question-program; click 7\n' >"$work/dll.user"
run dll "$work/dll.user" -- --page "$page" --arg id=dll --arg download=1 --timeout 60
verdict dll '
need(code == 0, "exit code %d" % code)
need(any("version.dll" in b and "can run commands" in b for b in boxes), "the user was asked: %r" % boxes)
saved = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-saved")
need(any("qm-saved" in b for b in boxes), "the question names the remembered folder: %r" % boxes)
need(os.listdir(saved) == [], "nothing in the remembered folder: %r" % os.listdir(saved))
'

# A macro template or a library description lands in a folder the page named only after a Yes: Office runs the
# one from its start-up folder, and opening the other can send the user's login to a remote share.
mkdir -p "$WINEPREFIX/drive_c/qm-startup"
for id in macro library; do
  printf 'when can run commands => click 7\n' >"$work/$id.user"
  run "$id" "$work/$id.user" -- --page "$page" --arg id=$id --arg 'dir=C:\qm-startup' --arg download=1 --timeout 60
  verdict "$id" '
need(code == 0, "exit code %d" % code)
need(any("can run commands" in b and "qm-startup" in b for b in boxes), "the user was asked: %r" % boxes)
startup = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-startup")
need(os.listdir(startup) == [], "nothing in the folder: %r" % os.listdir(startup))
'
done

# A reply longer than the page said stops at the first extra byte: nothing is written, the user is told.
mkdir -p "$WINEPREFIX/drive_c/qm-long"
printf 'when Error in receiving file => escape\n' >"$work/long.user"
run long "$work/long.user" -- --page "$page" --arg id=plan --arg 'dir=C:\qm-long' --arg size=10 --arg download=1 \
  --timeout 60
verdict long '
need(code == 0, "exit code %d" % code)
need(any("Error in receiving file" in b for b in boxes), "told: %r" % boxes)
folder = os.path.join(os.environ["WINEPREFIX"], "drive_c", "qm-long")
need(os.listdir(folder) == [], "nothing written: %r" % os.listdir(folder))
'

# A dropped file the store cannot take (over 4 GiB) is named to the user before anything is read or sent, and
# the files dropped with it are not sent either.
big_dir="$WINEPREFIX/drive_c/qm-big"
mkdir -p "$big_dir"
truncate -s $(( (4 << 30) + 1 )) "$big_dir/film.mkv"
printf 'small' >"$big_dir/small.txt"
records big-before
printf 'when film.mkv => escape\n' >"$work/big.user"
run big "$work/big.user" -- --page "$base/drop.xhtml" --arg mode=shell \
  --arg 'steps=shell:C:\qm-big\small.txt|C:\qm-big\film.mkv*upload' --timeout 120
records big-after
verdict big '
untouched("big")
need(any("film.mkv" in b and "larger than 4 GB" in b and "Nothing was sent" in b for b in boxes), "told: %r" % boxes)
'
rm -f "$big_dir/film.mkv"

# Mail items whose subjects are device names are saved under safe names and sent; their copies do not stay.
qm_register "$dist/mailstandin.dll"
printf 'mail CON\nmail COM\xc2\xb9\nmail CONIN$\n' >"$work/mail.txt"
records mail-before
export QM_MAILSTANDIN=$(qm_winpath "$work/mail.txt") QM_MAILSTANDIN_LOG=$(qm_winpath "$work/mail.log")
run mail "" -- --page "$base/drop.xhtml" --arg mode=ole --arg steps=mail --timeout 60
unset QM_MAILSTANDIN QM_MAILSTANDIN_LOG
records mail-after
verdict mail '
need(code == 0, "exit code %d" % code)
after = json.load(open(os.path.join(work, "mail-after.json.store")))
names = sorted(r["name"] for r in after if r["view"] == "Dropped")
need(names == sorted(["_CON.msg", "_COM\u00b9.msg", "_CONIN$.msg"]), "stored under safe names: %r" % names)
users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
left = [os.path.join(d, f) for d, _, fs in os.walk(users) if "Quillmark Mail" in d for f in fs]
need(not left, "no saved message stays behind: %r" % left)
'

finish_suite
