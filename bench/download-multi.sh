#!/usr/bin/env bash
# A multi-file download in the page host (under Wine, Xvfb): 8 stored files of 32 MiB from the reference file
# store into one folder, against curl fetching the same 8 files one after another on one connection into the
# same folder, best of several rounds each. The control's time runs from the end of the folder chooser (which
# the scripted user answers) to the end of DownloadFile. The machine's load average is told before and after.
# The last line:
#   bench download-multi: X MB/s; ratio R against curl
# Usage: bench/download-multi.sh [DIST_DIR]  (pagehost.exe and Quillmark.dll; default dist/x64)
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
qm_work download-multi-bench
qm_prefix "$dist"

count=8
piece=$((32 << 20))
for i in $(seq "$count"); do
  printf '[record]\nview = Bench\nkey = M%d\nname = m%d.bin\ngenerate = %d %d\n\n' "$i" "$i" "$piece" "$i"
done >"$work/seed.txt"
# Generating the seeded files takes a while on a slow disk.
: "${QM_STORE_TIMEOUT:=120}"
qm_start_store --data "$work/data" --quiet --pages "$root/bench/download-multi" --seed "$work/seed.txt"

# Both write to the same disk: the control's folder is on the prefix's drive C: (the folder chooser does not
# reach Z: under Wine), curl's beside it.
control_ms=$(for r in $(seq "$rounds"); do
  folder=$WINEPREFIX/drive_c/multi-$r
  mkdir -p "$folder"
  printf 'when Select a folder => folder C:\\multi-%d\n' "$r" >"$work/$r.user"
  "$wine" "$dist/pagehost.exe" --page "$base/bench.xhtml" --record "$(qm_winpath "$work")\\$r.json" \
    --user "$(qm_winpath "$work/$r.user")" --timeout 600 >"$work/$r.out" 2>&1 ||
    { echo "page host failed in round $r" >&2; cat "$work/$r.out" >&2; exit 1; }
  for i in $(seq "$count"); do
    cmp -s "$folder/m$i.bin" <(curl -s "$base/_filestore/bytes?view=Bench&key=M$i") ||
      { echo "m$i.bin differs in round $r" >&2; exit 1; }
  done
  rm -rf "$folder"
  python3 -c "import json,sys
ev = json.load(open(sys.argv[1]))['events']
chosen = [e['at'] for e in ev if e.get('kind') == 'chooserEnd' and e.get('chosen')]
end = [int(e['value']) for e in ev if e.get('kind') == 'note' and e.get('name') == 'end']
print(end[0] - chosen[0])" "$work/$r.json"
done | sort -n | head -1)

mkdir -p "$WINEPREFIX/drive_c/curl"
curl_ms=$(for _ in $(seq "$rounds"); do
  args=()
  for i in $(seq "$count"); do
    [ "$i" -gt 1 ] && args+=(--next)
    args+=(-sf -X POST -H 'Content-Type: text/xml'
      --data-binary "<DataRequest><GetFile ViewName=\"Bench\" PrimKey=\"M$i\"/></DataRequest>"
      -o "$WINEPREFIX/drive_c/curl/m$i.bin" "$base/system/filestore/data.aspx")
  done
  t=$(date +%s%N)
  curl "${args[@]}"
  echo $((($(date +%s%N) - t) / 1000000))
  rm -f "$WINEPREFIX"/drive_c/curl/*.bin
done | sort -n | head -1)
connections=$(curl -s "$base/_filestore/requests" | python3 -c "import json,sys
r = [x for x in json.load(sys.stdin) if x.get('kind') == 'getfile']
print(len({x['connection'] for x in r[-$count:]}))")
[ "$connections" = 1 ] || { echo "curl used $connections connections for the last $count files" >&2; exit 1; }
echo "load average after: $(load)"

awk -v b=$((count * piece)) -v c="$control_ms" -v k="$curl_ms" 'BEGIN {
  printf "8 x 32 MiB: control best %d ms, curl best %d ms\n", c, k
  printf "bench download-multi: %.1f MB/s; ratio %.2f against curl\n", b / 1e6 / (c / 1e3), k / c
}'
