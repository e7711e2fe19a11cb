#!/usr/bin/env bash
# The progress dialog under a worker moving 1 GiB in 1 MiB reads, then in 4095-byte reads (a step per percent, a
# progress report after every read), against the same loop without a dialog. Needs Wine and Xvfb (DISPLAY, else
# an Xvfb of its own); QM_BENCH_PREFIX is the prefix kept between runs.
#   bench/progress.sh [SIZE_MIB] [ROUNDS]    (defaults 1024 and 5)
set -euo pipefail
load() { cut -d" " -f1-3 /proc/loadavg; }  # a ratio taken on a busy machine must be seen as such
echo "load average before: $(load)"
root=$(cd "$(dirname "$0")/.." && pwd)
size_mib=${1:-1024}
rounds=${2:-5}
source "$root/scripts/lib/harness.sh"
qm_display
qm_work qm-bench-progress
# The transferred file lives in memory where it can: a disk's write-back stalls would swamp what is measured.
data=$work
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  data=$(mktemp -d /dev/shm/qm-bench-progress.XXXXXX)
  qm_on_exit 'rm -rf "$data"'
fi

cxx=x86_64-w64-mingw32-g++-posix
flags=(-std=c++20 -O2 -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -I"$root/src")
x86_64-w64-mingw32-windres -I"$root/src" "$root/src/ui/win32/progress_dialog.rc" -O coff -o "$work/progress.res"
"$cxx" "${flags[@]}" -municode "$root/bench/progress/progress_bench.cpp" "$root"/src/ui/*.cpp "$root/src/common/text_format.cpp" \
    "$root/src/ui/win32/progress_dialog.cpp" "$root/src/ui/win32/hover_button.cpp" \
    "$root/src/ui/win32/modal_dialog.cpp" "$root/src/ui/win32/progress_accessible.cpp" \
    "$root/src/common/win32/module_instance.cpp" "$work/progress.res" \
    -static -static-libgcc -static-libstdc++ -lcomctl32 -lgdi32 -luser32 -loleacc -loleaut32 -luuid \
    -o "$work/progress_bench.exe"

# A prefix kept between runs (it needs no control); its server stopped at exit.
export WINEPREFIX="${QM_BENCH_PREFIX:-${TMPDIR:-/tmp}/qm-bench-progress-prefix}"
[ -f "$WINEPREFIX/system.reg" ] || qm_new_prefix "$WINEPREFIX"
qm_on_exit 'WINEPREFIX="$WINEPREFIX" "$QM_WINESERVER" -k 2>/dev/null'
status=0
# First with the 1 MiB pieces a download reads on a fast link, then with the 4095-byte reads of old (the last line).
for piece in 1048576 4095; do
  "$QM_WINE64" "$work/progress_bench.exe" "$(qm_winpath "$data")\\big.bin" "$size_mib" "$rounds" "$piece" \
      </dev/null >"$work/out-$piece.txt" 2>&1 || status=$?
done
echo "load average after: $(load)"
for piece in 1048576 4095; do
  tr -d '\r' <"$work/out-$piece.txt" | grep -E '^(round|bench progress)' || { cat "$work/out-$piece.txt"; exit 1; }
done
exit $status
