#!/usr/bin/env bash
# Download and upload of a 256 MiB file through curl against the reference file-store server on loopback,
# beside `cat` of the same file (the disk and memory limit). MB/s are 10^6 bytes per second, the median of
# three runs each. The last two lines are the results:
#   bench filestore-download: VALUE MB/s; ratio R against cat
#   bench filestore-upload: VALUE MB/s; ratio R against cat
set -euo pipefail
load() { cut -d" " -f1-3 /proc/loadavg; }  # a ratio taken on a busy machine must be seen as such
echo "load average before: $(load)"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_NATIVE_BUILD:-$root/build/native}
size=$((256 * 1024 * 1024))
runs=3

if [ ! -f "$build/CMakeCache.txt" ]; then (cd "$root" && cmake --preset native -B "$build" >/dev/null); fi
cmake --build "$build" --target filestore -j2 >/dev/null
bin=$build/tools/filestore/filestore

source "$root/scripts/lib/harness.sh"
qm_work filestore-bench

printf '[record]\nview = Bench\nkey = BIG\nname = big.bin\ngenerate = %d 42\n' "$size" >"$work/seed.txt"
QM_FILESTORE=$bin qm_start_store --data "$work/data" --quiet --seed "$work/seed.txt"
blob=$(ls "$work/data/blobs"/*)
crc=$(curl -s "$base/_filestore/record?view=Bench&key=BIG" | sed -E 's/.*"crc_signed":(-?[0-9]+).*/\1/')

now() { date +%s%N; }
median() { sort -n | sed -n "$(((runs + 1) / 2))p"; }
mbps() { awk -v b="$size" -v ns="$1" 'BEGIN { printf "%.1f", b / 1e6 / (ns / 1e9) }'; }

cat "$blob" >/dev/null  # warm the page cache, as the server's reads will be
cat_ns=$(for _ in $(seq $runs); do t=$(now); cat "$blob" >/dev/null; echo $(($(now) - t)); done | median)

down_ns=$(for _ in $(seq $runs); do
  t=$(now)
  curl -sf -X POST -H 'Content-Type: text/xml' \
    --data-binary '<DataRequest><GetFile ViewName="Bench" PrimKey="BIG"/></DataRequest>' \
    "$base/system/filestore/data.aspx" -o /dev/null
  echo $(($(now) - t))
done | median)

up_ns=$(for i in $(seq $runs); do
  t=$(now)
  curl -sf -X POST -T "$blob" -H 'Expect:' -H 'Content-Type: velmar/postedfile' -H "vm_PrimKey :UP$i" \
    -H 'vm_ViewName :Bench' -H 'vm_FileName :YmlnLmJpbg==' -H "vm_FileSize :$size" -H "vm_FileCRC :$crc" \
    "$base/system/filestore/data.aspx" -o "$work/reply"
  grep -q '<Success' "$work/reply" || { echo "upload failed: $(cat "$work/reply")" >&2; exit 1; }
  echo $(($(now) - t))
done | median)

rss=$(awk '/VmHWM/ { print $2 }' "/proc/$store_pid/status")
cat_mbps=$(mbps "$cat_ns")
down_mbps=$(mbps "$down_ns")
up_mbps=$(mbps "$up_ns")
ratio() { awk -v a="$1" -v b="$cat_mbps" 'BEGIN { printf "%.3f", a / b }'; }
echo "load average after: $(load)"
echo "filestore bench: cat of the 256 MiB file $cat_mbps MB/s; server peak resident memory $((rss / 1024)) MiB"
echo "bench filestore-download: $down_mbps MB/s; ratio $(ratio "$down_mbps") against cat"
echo "bench filestore-upload: $up_mbps MB/s; ratio $(ratio "$up_mbps") against cat"
