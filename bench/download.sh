#!/usr/bin/env bash
# DownloadFile in the page host (under Wine, Xvfb) fetching a 256 MiB stored file from the reference file store,
# against curl fetching the same file from the same store into the same folder, best of several rounds each.
# The same for a 1 GiB file, whose runs also give the page host's peak resident memory, against that of a 64 MiB
# download. The machine's load average is told before and after. The last three lines:
#   bench download: X MB/s; ratio R against curl
#   bench download-1g: X MB/s; ratio R against curl
#   bench download-memory: A MiB at 64 MiB, B MiB at 1 GiB; ratio B/A
# Usage: bench/download.sh [DIST_DIR]  (pagehost.exe and Quillmark.dll; default dist/x64)
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
qm_work download-bench
qm_prefix "$dist"

printf '[record]\nview = Bench\nkey = %s\nname = %s\ngenerate = %d 7\n\n' \
  B256 b256.bin $((256 << 20)) B64 b64.bin $((64 << 20)) B1G b1g.bin $((1 << 30)) >"$work/seed.txt"
# Generating the seeded files takes a while on a slow disk.
: "${QM_STORE_TIMEOUT:=120}"
qm_start_store --data "$work/data" --quiet --pages "$root/bench/download" --seed "$work/seed.txt"
mkdir -p "$work/out"
size=$((256 << 20))

# The control: one page-host run, the page times each DownloadFile call.
peak_of_run() {  # ID ROUNDS -> prints the page host's peak RSS in KiB; the record goes to $work/ID.json
  local id=$1 n=$2 peak=0 hwm
  "$wine" "$dist/pagehost.exe" --page "$base/bench.xhtml" --record "$(qm_winpath "$work")\\$id.json" \
    --arg "id=$id" --arg "dir=$(qm_winpath "$work/out")" --arg "rounds=$n" --timeout 600 >"$work/$id.out" 2>&1 &
  local host=$!
  while kill -0 "$host" 2>/dev/null; do
    hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$host/status" 2>/dev/null || echo 0)
    [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
    sleep 0.05
  done
  wait "$host" || { echo "page host failed for $id" >&2; cat "$work/$id.out" >&2; exit 1; }
  echo "$peak"
}
best_ms() { python3 -c "import json,sys; r=json.load(open(sys.argv[1])); print(min(int(x) for e in r['events'] if e.get('kind')=='note' and e.get('name')=='ms' for x in e['value'].split(',')))" "$1"; }

curl_best_ms() {  # KEY -> curl's best time for that record, into the same folder
  for _ in $(seq "$rounds"); do
    t=$(date +%s%N)
    curl -sf -X POST -H 'Content-Type: text/xml' \
      --data-binary "<DataRequest><GetFile ViewName=\"Bench\" PrimKey=\"$1\"/></DataRequest>" \
      "$base/system/filestore/data.aspx" -o "$work/out/curl.bin" || { echo "curl failed" >&2; exit 1; }
    echo $((($(date +%s%N) - t) / 1000000))
  done | sort -n | head -1
  rm -f "$work/out/curl.bin"
}

peak_of_run f256 "$rounds" >/dev/null
control_ms=$(best_ms "$work/f256.json")
cmp -s "$work/out/b256.bin" <(curl -s "$base/_filestore/bytes?view=Bench&key=B256") || { echo "the downloaded file differs" >&2; exit 1; }
curl_ms=$(curl_best_ms B256)

peak64=$(peak_of_run f64 1)
peak1g=$(peak_of_run f1g "$rounds")
control1g_ms=$(best_ms "$work/f1g.json")
cmp -s "$work/out/b1g.bin" <(curl -s "$base/_filestore/bytes?view=Bench&key=B1G") || { echo "the downloaded 1 GiB file differs" >&2; exit 1; }
rm -f "$work/out/b1g.bin"
curl1g_ms=$(curl_best_ms B1G)
echo "load average after: $(load)"

awk -v b="$size" -v c="$control_ms" -v k="$curl_ms" -v a="$peak64" -v g="$peak1g" -v c1="$control1g_ms" -v k1="$curl1g_ms" 'BEGIN {
  printf "256 MiB: control best %d ms, curl best %d ms; 1 GiB: control best %d ms, curl best %d ms\n", c, k, c1, k1
  printf "bench download: %.1f MB/s; ratio %.2f against curl\n", b / 1e6 / (c / 1e3), k / c
  printf "bench download-1g: %.1f MB/s; ratio %.2f against curl\n", 4 * b / 1e6 / (c1 / 1e3), k1 / c1
  printf "bench download-memory: %.1f MiB at 64 MiB, %.1f MiB at 1 GiB; ratio %.2f\n", a / 1024, g / 1024, g / a
}'
