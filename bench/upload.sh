#!/usr/bin/env bash
# UploadFile in the page host (under Wine, Xvfb) sending a 256 MiB file to the reference file store, against
# curl posting the same file with the same header lines to the same store, best of several rounds each. Then
# the same for a 1 GiB file, whose runs also give the page host's peak resident memory, against that of a 64 MiB
# upload. The machine's load average is told before and after. The last three lines:
#   bench upload: X MB/s; ratio R against curl
#   bench upload-1g: X MB/s; ratio R against curl
#   bench upload-memory: A MiB at 64 MiB, B MiB at 1 GiB; ratio B/A
# Usage: bench/upload.sh [DIST_DIR]  (pagehost.exe and Quillmark.dll; default dist/x64)
# Environment: QM_FILESTORE (server binary), QM_BENCH_ROUNDS (default 3), DISPLAY (else an Xvfb of its own),
# QM_KEEP=1 keeps the work folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(readlink -f "${1:-$root/dist/x64}")
rounds=${QM_BENCH_ROUNDS:-3}
source "$root/scripts/lib/harness.sh"
load() { cut -d" " -f1-3 /proc/loadavg; }  # a ratio taken on a busy machine must be seen as such
echo "load average before: $(load)"

qm_display
qm_work upload-bench
qm_prefix "$dist"

qm_start_store --data "$work/data" --quiet --pages "$root/bench/upload"
size=$((256 << 20))
head -c "$size" /dev/urandom >"$work/b256.bin"
head -c $((64 << 20)) /dev/urandom >"$work/b64.bin"
head -c $((1 << 30)) /dev/zero >"$work/b1g.bin"

# The control: one page-host run, one upload of one file chosen by the scripted user (one run per round: the
# progress dialog's texts would fit an answer meant for a second chooser).
peak_of_run() {  # ID FILE -> prints the page host's peak RSS in KiB; the record goes to $work/ID.json
  local id=$1 file=$2 peak=0 hwm
  printf 'files %s\n' "$(qm_winpath "$file")" >"$work/$id.user"
  "$wine" "$dist/pagehost.exe" --page "$base/bench.xhtml" --record "$(qm_winpath "$work")\\$id.json" \
    --user "$(qm_winpath "$work/$id.user")" --arg "rounds=1" --timeout 600 >"$work/$id.out" 2>&1 &
  local host=$!
  while kill -0 "$host" 2>/dev/null; do
    hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$host/status" 2>/dev/null || echo 0)
    [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
    sleep 0.05
  done
  wait "$host" || { echo "page host failed for $id" >&2; cat "$work/$id.out" >&2; exit 1; }
  echo "$peak"
}
best_ms() { python3 -c "import json,sys; r=json.load(open(sys.argv[1])); print(min(int(x) for e in r['events'] if e.get('kind')=='note' and e.get('name')=='ms' for x in e['value'].split(',') if x))" "$1"; }

crc_of() {  # FILE -> its CRC-32, unsigned
  python3 -c "import zlib,sys; c=0
with open(sys.argv[1],'rb') as f:
    for b in iter(lambda: f.read(1<<20), b''): c=zlib.crc32(b,c)
print(c & 0xffffffff)" "$1"
}
# The largest stored record must hold FILE's bytes.
check_stored() {  # FILE
  local stored
  stored=$(curl -s "$base/_filestore/records" | python3 -c "import json,sys; print(max(json.load(sys.stdin), key=lambda r: r['size'])['crc'])")
  [ "$stored" = "$(crc_of "$1")" ] || { echo "the stored file differs: $1" >&2; exit 1; }
}
# curl streams the file (-T; --data-binary would first read all of it into memory) with the control's header lines.
curl_best_ms() {  # FILE KEY_PREFIX -> curl's best time posting FILE
  local file=$1 prefix=$2 crc signed bytes
  crc=$(crc_of "$file"); signed=$(( crc >= 2147483648 ? crc - 4294967296 : crc ))
  bytes=$(stat -c %s "$file")
  for i in $(seq "$rounds"); do
    t=$(date +%s%N)
    curl -sf -X POST -H 'Content-Type: velmar/postedfile' -H "vm_PrimKey :$prefix$i" \
      -H 'vm_ViewName :Bench' -H "vm_FileName :$(printf '%s' "$(basename "$file")" | base64)" -H "vm_FileSize :$bytes" \
      -H "vm_FileCRC :$signed" -H 'Expect:' -T "$file" "$base/system/filestore/data.aspx" -o "$work/curl.reply" ||
      { echo "curl failed" >&2; exit 1; }
    echo $((($(date +%s%N) - t) / 1000000))
    grep -q '<Success' "$work/curl.reply" || { echo "curl's upload was refused: $(cat "$work/curl.reply")" >&2; exit 1; }
  done | sort -n | head -1
}

control_ms=$(for i in $(seq "$rounds"); do peak_of_run "f256-$i" "$work/b256.bin" >/dev/null; best_ms "$work/f256-$i.json"; done | sort -n | head -1)
check_stored "$work/b256.bin"
curl_ms=$(curl_best_ms "$work/b256.bin" 0a1b2c3d-1111-2222-3333-99999999999)

peak64=$(peak_of_run f64 "$work/b64.bin")
peak1g=0
control1g_ms=$(for i in $(seq "$rounds"); do
  p=$(peak_of_run "f1g-$i" "$work/b1g.bin"); [ "$p" -gt "$peak1g" ] && peak1g=$p; echo "$peak1g" >"$work/peak1g"
  best_ms "$work/f1g-$i.json"; done | sort -n | head -1)
peak1g=$(cat "$work/peak1g")
check_stored "$work/b1g.bin"
curl1g_ms=$(curl_best_ms "$work/b1g.bin" 0a1b2c3d-1111-2222-3333-88888888888)
echo "load average after: $(load)"

awk -v b="$size" -v c="$control_ms" -v k="$curl_ms" -v a="$peak64" -v g="$peak1g" -v c1="$control1g_ms" -v k1="$curl1g_ms" 'BEGIN {
  printf "256 MiB: control best %d ms, curl best %d ms; 1 GiB: control best %d ms, curl best %d ms\n", c, k, c1, k1
  printf "bench upload: %.1f MB/s; ratio %.2f against curl\n", b / 1e6 / (c / 1e3), k / c
  printf "bench upload-1g: %.1f MB/s; ratio %.2f against curl\n", 4 * b / 1e6 / (c1 / 1e3), k1 / c1
  printf "bench upload-memory: %.1f MiB at 64 MiB, %.1f MiB at 1 GiB; ratio %.2f\n", a / 1024, g / 1024, g / a
}'
