# Shared by the page host's scenario suites: sourced after the suite sets `suite` (its name). Gives the Xvfb
# display, the Wine prefix with the control registered, the reference file store, `run` and `verdict`.
# Usage of a suite: NAME_test.sh [DIST_DIR]   (default dist/x64: pagehost.exe and Quillmark.dll)
# Environment: QM_PAGEHOST_PREFIX reuses a Wine prefix; QM_PAGEHOST_KEEP=1 keeps the work folder;
#              QM_FILESTORE is the file-store server binary (otherwise scripts/filestore builds and runs it).
if [ -z "${QM_PAGEHOST_DISPLAY_SET:-}" ]; then
  export QM_PAGEHOST_DISPLAY_SET=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
dist=$(readlink -f "${1:-$root/dist/x64}")
source "$root/scripts/wine-env.sh"
wine=$(qm_loader_for "$dist")

work=$(mktemp -d "/tmp/$suite-test.XXXXXX")
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  WINEPREFIX="$WINEPREFIX" "$QM_WINESERVER" -k 2>/dev/null
  if [ -n "${QM_PAGEHOST_KEEP:-}" ]; then echo "work kept in $work"; else rm -rf "$work"; fi
}
export WINEPREFIX=${QM_PAGEHOST_PREFIX:-$work/prefix}
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || qm_new_prefix "$WINEPREFIX"
# A suite that installs the control itself sets QM_PAGEHOST_NO_REGISTER.
[ -n "${QM_PAGEHOST_NO_REGISTER:-}" ] || timeout 120 "$wine" regsvr32 /s "$(qm_winpath "$dist/Quillmark.dll")" >/dev/null 2>&1 ||
  echo "warning: regsvr32 failed"
if [ -n "${QM_FILESTORE:-}" ]; then fs=("$QM_FILESTORE"); else fs=("$root/scripts/filestore"); fi

# start_store [SEED_FILE...]: the reference store on a free port, serving the suites' pages (or pages_dir); sets `base`.
# seeds/ holds the records several suites share.
seeds="$here/seeds"
start_store() {
  local seed=() f
  for f in "$@"; do seed+=(--seed "$f"); done
  mkdir -p "$work/store"
  "${fs[@]}" --data "$work/store" --port 0 --port-file "$work/port" --pages "${pages_dir:-$here/pages}" "${seed[@]}" \
    --quiet >"$work/fs.out" 2>&1 &
  server=$!
  for _ in $(seq 1 600); do [ -s "$work/port" ] && break; kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
  [ -s "$work/port" ] || { echo "FAIL: the file store did not start"; cat "$work/fs.out"; exit 1; }
  base="http://127.0.0.1:$(cat "$work/port")"
}
# store_control PATH: one of the store's state-changing control requests.
store_control() { curl -s -o /dev/null -X POST -H 'X-Filestore-Control: 1' -d '' "$base/_filestore/$1"; }

failures=0
checks=0
# run NAME USERFILE -- PAGEHOST_ARGS...   (the record goes to $work/NAME.json)
run() {
  local name=$1 user=$2; shift 3
  local extra=()
  [ -n "$user" ] && extra=(--user "$(qm_winpath "$user")")
  mkdir -p "$work/shots-$name"
  timeout "${QM_RUN_TIMEOUT:-300}" "$wine" "$dist/pagehost.exe" --record "$(qm_winpath "$work")\\$name.json" \
    --shots "$(qm_winpath "$work/shots-$name")" "${extra[@]}" "$@" >"$work/$name.out" 2>&1
  echo $? >"$work/$name.code"
  # Screenshots the user rules took, kept for the documentation when asked for.
  if [ -n "${QM_SHOTS_OUT:-}" ]; then mkdir -p "$QM_SHOTS_OUT"; cp "$work/shots-$name"/*.png "$QM_SHOTS_OUT"/ 2>/dev/null; fi
}
# verdict NAME PYTHON-CHECK: the check reads rec (the record), ev (its events), notes, boxes, opens, code (the
# exit code) and work (the folder), and calls need(CONDITION, WHAT). A suite may set verdict_prelude to Python
# that runs before every check (helpers of its own).
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
def temporaries(folder):
    return [n for n in os.listdir(folder) if n.lower().endswith(".tmp")]
problems = []
def need(cond, what):
    if not cond: problems.append(what)
${verdict_prelude:-}
$check
if problems:
    print("  " + "\n  ".join(problems)); print("  boxes:", boxes); print("  notes:", notes); sys.exit(1)
PY
  then echo "ok: $name"; else echo "FAIL: $name"; sed 's/^/    | /' "$work/$name.out" | grep -v "X connection" | head -10; failures=$((failures + 1)); fi
}
# finish_suite: the closing line scripts/test counts, and the exit status.
finish_suite() {
  echo "$suite: $checks scenarios, $failures failed"
  [ $failures = 0 ]
}
