#!/usr/bin/env bash
# The page host's own suite: scenarios run under Wine and Xvfb, each checked against its record.
# Usage: pagehost_test.sh [DIST_DIR]   (default dist/x64: pagehost.exe and Quillmark.dll)
# Environment: QM_PAGEHOST_PREFIX reuses a Wine prefix (otherwise a fresh one is made);
#              QM_PAGEHOST_KEEP=1 keeps the records and shots;
#              QM_FILESTORE is the file-store server binary (otherwise scripts/filestore builds and runs it).
set -uo pipefail
# One display for the whole suite (a display per run races with other programs starting theirs).
if [ -z "${QM_PAGEHOST_DISPLAY_SET:-}" ]; then
  export QM_PAGEHOST_DISPLAY_SET=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
dist=$(readlink -f "${1:-$root/dist/x64}")
source "$root/scripts/wine-env.sh"
# The x86 build runs under the 32-bit loader in a 64-bit prefix.
wine=$(qm_loader_for "$dist")

work=$(mktemp -d /tmp/pagehost-test.XXXXXX)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  if [ -n "${QM_PAGEHOST_KEEP:-}" ]; then echo "records kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

export WINEPREFIX=${QM_PAGEHOST_PREFIX:-$work/prefix}
[ -f "$WINEPREFIX/system.reg" ] || qm_new_prefix "$WINEPREFIX"
WINEPREFIX="$WINEPREFIX" timeout 120 "$wine" regsvr32 /s "$(qm_winpath "$dist/Quillmark.dll")" >/dev/null 2>&1 \
  || echo "warning: regsvr32 failed"

failures=0
checks=0
pages=$here/pages

# scenario NAME EXPECTED_EXIT CHECK [CHECK_ARGS...] -- PAGEHOST_ARGS...
scenario() {
  local name=$1 wanted=$2 check=$3; shift 3
  local extra=()
  while [ "$1" != "--" ]; do extra+=("$1"); shift; done
  shift
  mkdir -p "$work/shots-$name"
  timeout 180 "$wine" "$dist/pagehost.exe" --record "$(qm_winpath "$work")\\$name.json" \
    --shots "$(qm_winpath "$work/shots-$name")" "$@" >"$work/$name.out" 2>&1
  local code=$?
  checks=$((checks + 1))
  local ok=1
  if [ "$code" != "$wanted" ]; then
    echo "  exit code $code, wanted $wanted"
    ok=0
  fi
  python3 "$here/check_record.py" "$check" "$work/$name.json" "${extra[@]}" || ok=0
  if [ $ok = 1 ]; then
    echo "ok: $name"
  else
    echo "FAIL: $name"
    sed 's/^/    | /' "$work/$name.out" | grep -v "X connection" | head -20
    failures=$((failures + 1))
  fi
}

page() { qm_winpath "$pages/$1"; }

scenario elements 0 elements "$work/shots-elements" -- --page "$(page elements.xhtml)" --timeout 60
scenario calls 0 calls -- --page "$(page calls.xhtml)" --timeout 60
scenario message_box 0 message_box "$work/shots-message_box" -- --page "$(page message_box.xhtml)" \
  --href "gopher:nowhere" --timeout 60
printf 'when Torvane => escape\n' >"$work/escape.txt"
scenario message_box_escape 0 message_box_escape -- --page "$(page served.xhtml)" --href "gopher:nowhere" \
  --user "$(qm_winpath "$work/escape.txt")" --run main --timeout 60
printf 'when Nothing like this => click 1\n' >"$work/unused.txt"
scenario unused_answer 1 unused_answer -- --page "$(page calls.xhtml)" --user "$(qm_winpath "$work/unused.txt")" \
  --timeout 60
touch "$work/first file.txt" "$work/second.txt"
first=$(qm_winpath "$work/first file.txt")
second=$(qm_winpath "$work/second.txt")
scenario drops 0 drops "$first" "$second" -- --page "$(page drops.xhtml)" --arg "first=$first" --arg "second=$second" \
  --timeout 60
scenario hang 3 timeout "$work/shots-hang" -- --page "$(page hang.xhtml)" --timeout 8
scenario waits 3 timeout "$work/shots-waits" -- --page "$(page waits.xhtml)" --timeout 8
# A box nobody answers: the time bound stops the run and the box is in the record.
scenario unanswered_box 3 unanswered_box "$work/shots-unanswered_box" -- --page "$(page served.xhtml)" \
  --href "gopher:nowhere" --timeout 10
scenario broken 2 broken -- --page "$(page broken.xhtml)" --timeout 60
scenario script_error 1 script_error -- --page "$(page script_error.xhtml)" --timeout 60

# A page served by the reference file store, loaded by its URL.
mkdir -p "$work/store"
if [ -n "${QM_FILESTORE:-}" ]; then fs=("$QM_FILESTORE"); else fs=("$root/scripts/filestore"); fi
"${fs[@]}" --data "$work/store" --port 0 --port-file "$work/port" --pages "$pages" --quiet >"$work/fs.out" 2>&1 &
server=$!
for _ in $(seq 1 600); do [ -s "$work/port" ] && break; kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
if [ -s "$work/port" ]; then
  url="http://127.0.0.1:$(cat "$work/port")/served.xhtml"
  scenario served 0 served "$url" -- --page "$url" --timeout 60
else
  echo "FAIL: served (the file store did not start)"
  failures=$((failures + 1))
fi

echo "pagehost: $checks scenarios, $failures failed"
[ $failures = 0 ]
