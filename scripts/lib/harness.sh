# The one shell library of the suites, benches, scripts/test and the demo: how to run Windows programs here, a
# display, a per-run work folder, a Wine prefix with the control registered, the reference file store, and the
# page host's run and verdict. Sourced; defines functions and a few QM_* variables, runs nothing by itself.

# --- Wine ------------------------------------------------------------------------------------------------------
# The 64-bit loader is called directly because the `wine` launcher starts the 32-bit loader first, which some
# kernels cannot run.
QM_WINE64=/usr/lib/wine/wine64
[ -x "$QM_WINE64" ] || QM_WINE64=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
# The server is a Linux program; given to the loader it would be looked for as a Windows one.
QM_WINESERVER=/usr/lib/wine/wineserver64
[ -x "$QM_WINESERVER" ] || QM_WINESERVER=$(command -v wineserver || echo wineserver)
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Creates a fresh 64-bit prefix at $1. With QM_PREFIX_TEMPLATE naming a prefix that qm_template_prefix made, copies
# that instead: a copy takes about 3 s where wineboot takes about 15.
qm_new_prefix() {
  local prefix="$1"
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  if [ -n "${QM_PREFIX_TEMPLATE:-}" ] && [ -f "$QM_PREFIX_TEMPLATE/system.reg" ]; then
    cp -a "$QM_PREFIX_TEMPLATE" "$prefix"
    return
  fi
  WINEPREFIX="$prefix" WINEARCH=win64 timeout 300 "$QM_WINE64" wineboot -i >/dev/null 2>&1 || true
  # No window manager runs under Xvfb: unmanaged windows show at once instead of waiting for one.
  WINEPREFIX="$prefix" "$QM_WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
} </dev/null >/dev/null 2>&1  # processes wineboot leaves behind print start-up errors of no consequence

# Makes the template prefix at $1 and exports QM_PREFIX_TEMPLATE. Its server is waited for, so that the registry
# is written out before anything copies it.
qm_template_prefix() {
  local template="$1"
  unset QM_PREFIX_TEMPLATE
  qm_new_prefix "$template"
  WINEPREFIX="$template" timeout 60 "$QM_WINESERVER" -w 2>/dev/null || WINEPREFIX="$template" "$QM_WINESERVER" -k 2>/dev/null
  [ -f "$template/system.reg" ] && export QM_PREFIX_TEMPLATE="$template"
  return 0
}

# Windows path of a Linux path.
qm_winpath() { echo "Z:$(readlink -f "$1" | sed 's|/|\\|g')"; }

# The 32-bit loader runs 32-bit programs in a 64-bit prefix (WoW64), as a 32-bit browser runs on 64-bit Windows.
QM_WINE32=/usr/lib/wine/wine
# The loader for the programs of one build folder (dist/x64 or dist/x86).
qm_loader_for() { case "$(basename "$1")" in x86) echo "$QM_WINE32" ;; *) echo "$QM_WINE64" ;; esac; }

# Whether this machine runs 32-bit programs: some kernels here cannot ("Exec format error"). Sets QM_X86_WHY.
qm_x86_runs() {
  QM_X86_WHY=""
  if [ ! -x "$QM_WINE32" ]; then QM_X86_WHY="$QM_WINE32 is not installed (Debian package wine32:i386)"; return 1; fi
  local out
  if ! out=$(timeout 30 "$QM_WINE32" --version 2>&1); then
    QM_X86_WHY="this kernel cannot execute 32-bit programs ($QM_WINE32: ${out##*: })"
    return 1
  fi
  return 0
}

# --- Clean-up ---------------------------------------------------------------------------------------------------
# qm_on_exit COMMAND: run at exit, the last registered first.
QM_EXIT_STACK=()
qm_on_exit() {
  QM_EXIT_STACK=("$1" "${QM_EXIT_STACK[@]}")
  trap qm_run_exit_stack EXIT
}
qm_run_exit_stack() {
  local cmd
  # A failed step (a process already gone) must not end the clean-up under `set -e`.
  for cmd in "${QM_EXIT_STACK[@]}"; do eval "$cmd" || true; done
  QM_EXIT_STACK=()
}

# --- Display ----------------------------------------------------------------------------------------------------
# qm_display [SCRIPT ARGS...]: without a display, starts an Xvfb of its own for the rest of the script (stopped at
# exit). QM_SCREEN sets its size. A display already set (by scripts/test or the user) is used as it is.
qm_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for _ in 1 2 3 4 5 6 7 8; do
    n=$((100 + RANDOM % 400))
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "${QM_SCREEN:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      qm_on_exit "kill $pid 2>/dev/null"
      return 0
    fi
  done
  echo "FAIL: no Xvfb display could be started" >&2
  return 1
}

# --- Work folder and prefix -------------------------------------------------------------------------------------
# qm_work NAME: a new folder `work` for this run, removed at exit unless QM_KEEP (or QM_PAGEHOST_KEEP) is set.
qm_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  qm_on_exit 'if [ -n "${QM_KEEP:-}${QM_PAGEHOST_KEEP:-}" ]; then echo "work kept in $work"; else rm -rf "$work"; fi'
}

# qm_prefix DIST: WINEPREFIX for this run (QM_PAGEHOST_PREFIX reuses one, else a fresh one in $work), its server
# stopped at exit; Quillmark.dll of DIST registered unless QM_PAGEHOST_NO_REGISTER is set. Sets `wine`.
qm_prefix() {
  local dist="$1"
  wine=$(qm_loader_for "$dist")
  export WINEPREFIX=${QM_PAGEHOST_PREFIX:-$work/prefix}
  qm_on_exit 'WINEPREFIX="$WINEPREFIX" "$QM_WINESERVER" -k 2>/dev/null'
  [ -f "$WINEPREFIX/system.reg" ] || qm_new_prefix "$WINEPREFIX"
  [ -n "${QM_PAGEHOST_NO_REGISTER:-}" ] || qm_register "$dist/Quillmark.dll" || true
  return 0
}
# qm_register DLL: regsvr32 of DLL in WINEPREFIX with the loader of its build folder; a warning when it fails.
qm_register() {
  timeout 120 "$(qm_loader_for "$(dirname "$1")")" regsvr32 /s "$(qm_winpath "$1")" >/dev/null 2>&1 && return 0
  echo "warning: regsvr32 $(basename "$1") failed"
  return 1
}

# --- The reference file store -----------------------------------------------------------------------------------
# qm_store_command: the store's command line (QM_FILESTORE, else the native build's of this run, else
# scripts/filestore, which builds it).
qm_store_command() {
  if [ -n "${QM_FILESTORE:-}" ]; then
    QM_STORE=("$QM_FILESTORE")
  elif [ -x "$QM_ROOT/build${QM_RUN:-}/native/tools/filestore/filestore" ]; then
    QM_STORE=("$QM_ROOT/build${QM_RUN:-}/native/tools/filestore/filestore")
  else
    QM_STORE=("$QM_ROOT/scripts/filestore")
  fi
}

# qm_start_store [FILESTORE ARGS...]: the store on a free loopback port (or the arguments' --port) with its data in
# $work/store (unless the arguments give --data); its log is $work/store.log. One time limit (QM_STORE_TIMEOUT,
# 60 s); gives up at once when the store exits. Sets `base` and `store_pid`; stopped at exit. With store_name set,
# the port and log files are $work/NAME.port and NAME.log, so that a second store keeps the first one's log.
qm_start_store() {
  qm_store_command
  local data=() port="$work/${store_name:-store}.port" log="$work/${store_name:-store}.log"
  [[ " $* " == *" --data "* ]] || { mkdir -p "$work/store"; data=(--data "$work/store"); }
  rm -f "$port"
  "${QM_STORE[@]}" "${data[@]}" --host 127.0.0.1 --port 0 --port-file "$port" "$@" >"$log" 2>&1 &
  store_pid=$!
  qm_on_exit "kill $store_pid 2>/dev/null; wait $store_pid 2>/dev/null"
  local limit=$(( ${QM_STORE_TIMEOUT:-60} * 10 ))
  for _ in $(seq "$limit"); do
    [ -s "$port" ] && break
    kill -0 "$store_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$port" ] || ! kill -0 "$store_pid" 2>/dev/null; then
    echo "FAIL: the file store did not start" >&2
    sed 's/^/    | /' "$log" >&2
    return 1
  fi
  base="http://127.0.0.1:$(cat "$port")"
}
# store_control PATH: one of the store's state-changing control requests.
store_control() { curl -s -o /dev/null -X POST -H 'X-Filestore-Control: 1' -d '' "$base/_filestore/$1"; }

# --- Page-host suites -------------------------------------------------------------------------------------------
# qm_suite NAME [DIST_DIR]: the set-up of a page-host suite: `suite`, `here`, `root`, `dist`, display, work folder,
# prefix with the control registered, `seeds`. DIST_DIR defaults to dist/x64 (pagehost.exe and Quillmark.dll).
qm_suite() {
  suite="$1"
  here=$(cd "$(dirname "$0")" && pwd)
  root=$QM_ROOT
  dist=$(readlink -f "${2:-$root/dist/x64}")
  seeds="$QM_ROOT/tests/tools/pagehost/seeds"
  failures=0
  checks=0
  # 77: skipped, for ctest and scripts/test.
  if [ "$(basename "$dist")" = x86 ] && ! qm_x86_runs; then echo "$suite: skipped: $QM_X86_WHY"; exit 77; fi
  qm_display || exit 1
  qm_work "$suite-test"
  qm_prefix "$dist"
}

# start_store [SEED_FILE...]: the store serving the suites' pages (or pages_dir), seeded; exits the suite when it
# does not start.
start_store() {
  local seed=() f
  for f in "$@"; do seed+=(--seed "$f"); done
  qm_start_store --pages "${pages_dir:-$QM_ROOT/tests/tools/pagehost/pages}" "${seed[@]}" --quiet || exit 1
}

# run NAME USERFILE -- PAGEHOST_ARGS...   (the record goes to $work/NAME.json, the exit code to $work/NAME.code)
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
  return 0
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
  then echo "ok: $name"; else qm_failed "$name" "$work/$name.out"; fi
}
# qm_failed NAME [OUTPUT]: counts a failed scenario and shows the start of its output.
qm_failed() {
  echo "FAIL: $1"
  [ -n "${2:-}" ] && [ -f "$2" ] && sed 's/^/    | /' "$2" | grep -v "X connection" | head -20
  failures=$((failures + 1))
}
# finish_suite: the closing line scripts/test and CTest count, and the exit status.
finish_suite() {
  echo "$suite: $checks scenarios, $failures failed"
  [ "$failures" = 0 ]
}
