#!/usr/bin/env bash
# The bytes on the wire: a GetFile of a 24 MiB file, a multi-file download of two files over one connection, and
# the upload of a 24 MiB file, each compared byte for byte with the requests recorded in wire/ (request line and
# header lines as the store captured them off the socket, the body's length and CRC-32; the port is written
# PORT). The files that arrive must hold the stored bytes. How the control sizes its reads and writes is free;
# these bytes are not.
# Usage: wire_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh, and QM_WIRE_RECORD=DIR writes the requests seen
# into DIR instead of comparing (how wire/ was made, with the control as it was before its pieces grew).
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite wire "$@"

cat >"$work/seed.txt" <<'SEED'
[record]
view = Wire
key = wire-key
name = Wire.bin
generate = 25165837 11
SEED
start_store "$seeds/plan.txt" "$work/seed.txt"
curl -s -o "$work/wire.bytes" "$base/_filestore/bytes?view=Wire&key=wire-key"
curl -s -o "$work/plan.bytes" "$base/_filestore/bytes?view=Documents&key=01234567-89ab-cdef-0123-456789abcdef"
port=${base##*:}
golden="$here/wire"
w() { qm_winpath "$1"; }

# The upload's file: the same bytes on every run, so its header fields (size, CRC) are too.
mkdir -p "$work/files" "$work/out"
python3 -c "import random,sys; open(sys.argv[1],'wb').write(random.Random(27).randbytes(25165837))" "$work/files/wire.bin"

# capture NAME: the endpoint requests the store recorded since the last clear, as wire/NAME.json holds them.
capture() {
  curl -s -o "$work/$1.requests.json" "$base/_filestore/requests"
  python3 -c "
import json, sys
port, out = sys.argv[1], sys.argv[2]
seen = [{'kind': r['kind'], 'head': r['head'].replace('127.0.0.1:' + port, '127.0.0.1:PORT'),
         'head_truncated': r['head_truncated'], 'body_length': r['body_length'], 'body_crc': r['body_crc']}
        for r in json.load(open(sys.argv[3])) if r['kind'] in ('getfile', 'upload')]
json.dump(seen, open(out, 'w'), indent=1)
" "$port" "$work/$1.wire.json" "$work/$1.requests.json"
  if [ -n "${QM_WIRE_RECORD:-}" ]; then mkdir -p "$QM_WIRE_RECORD"; cp "$work/$1.wire.json" "$QM_WIRE_RECORD/$1.json"; fi
}
# The check every scenario makes: the requests seen are the recorded ones, byte for byte.
verdict_prelude='seen = json.load(open(os.path.join(work, name + ".wire.json")))
want_path = os.path.join("'"$golden"'", name + ".json")
want = json.load(open(want_path)) if os.path.exists(want_path) else None
need(want is not None, "no recorded requests in " + want_path)
if want is not None:
    need(len(seen) == len(want), "%d requests, recorded %d" % (len(seen), len(want)))
    for i, (s, x) in enumerate(zip(seen, want)):
        if s["head"] != x["head"]:
            at = next(k for k in range(min(len(s["head"]), len(x["head"])) + 1) if s["head"][k:k+1] != x["head"][k:k+1])
            need(False, "request %d head differs at byte %d: %r, recorded %r" % (i, at, s["head"][at:at+40], x["head"][at:at+40]))
        for f in ("kind", "head_truncated", "body_length", "body_crc"):
            need(s[f] == x[f], "request %d %s: %r, recorded %r" % (i, f, s[f], x[f]))
'
clear() { store_control requests/clear; }

clear
run getfile "" -- --page "$base/download.xhtml" --arg ids=wire --arg "dir=$(w "$work/out")" --timeout 120
capture getfile
verdict getfile '
need(code == 0, "exit code %d" % code)
need(read(os.path.join(work, "out", "Wire.bin")) == read(os.path.join(work, "wire.bytes")), "Wire.bin has the stored bytes")
need(not boxes, "no message: %r" % boxes)
'

rm -rf "$WINEPREFIX/drive_c/wire-multi"; mkdir -p "$WINEPREFIX/drive_c/wire-multi"
printf 'when Select a folder => folder C:\\wire-multi\n' >"$work/multi.user"
clear
run multi "$work/multi.user" -- --page "$base/download.xhtml" --arg 'ids=m1|m3' --timeout 120
capture multi
verdict multi '
need(code == 0, "exit code %d" % code)
d = os.path.join(os.environ["WINEPREFIX"], "drive_c", "wire-multi")
plan = read(os.path.join(work, "plan.bytes"))
need(sorted(os.listdir(d)) == ["One.doc", "Three.doc"] and all(read(os.path.join(d, n)) == plan for n in os.listdir(d)), "both arrived whole")
need(len({r["connection"] for r in json.load(open(os.path.join(work, name + ".requests.json"))) if r["kind"] == "getfile"}) == 1, "one connection")
'

printf 'files %s\n' "$(w "$work/files/wire.bin")" >"$work/upload.user"
clear
run upload "$work/upload.user" -- --page "$base/upload.xhtml" --arg op=upload --arg id=up --timeout 120
capture upload
verdict upload '
import zlib
need(code == 0, "exit code %d" % code)
body = read(os.path.join(work, "files", "wire.bin"))
need(len(seen) == 1 and seen[0]["body_length"] == len(body) and seen[0]["body_crc"] == zlib.crc32(body) & 0xffffffff, "the file is the body")
need(not boxes, "no message: %r" % boxes)
'
finish_suite
