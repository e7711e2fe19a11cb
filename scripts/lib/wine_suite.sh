#!/usr/bin/env bash
# One Windows test program under Wine: a fresh prefix (a copy of QM_PREFIX_TEMPLATE when set), a display, and the
# reference store's address in QM_FILESTORE_URL (a store of its own unless one is given). Exit code 77 when the
# program is 32-bit and this machine cannot run such programs.
# Usage: wine_suite.sh PROGRAM.exe [GTEST ARGS...]
set -uo pipefail
source "$(dirname "$0")/harness.sh"
exe=$(readlink -f "$1"); shift
dist=$(dirname "$exe")
if [ "$(basename "$dist")" = x86 ] && ! qm_x86_runs; then
  echo "skipped: $QM_X86_WHY"
  exit 77
fi
qm_display || exit 1
qm_work "$(basename "$exe" .exe)"
export WINEPREFIX="$work/prefix"
qm_on_exit 'WINEPREFIX="$WINEPREFIX" "$QM_WINESERVER" -k 2>/dev/null'
qm_new_prefix "$WINEPREFIX"
if [ -z "${QM_FILESTORE_URL:-}" ]; then
  qm_start_store || exit 1
  export QM_FILESTORE_URL="$base"
fi
# The dialog tests' screenshots go to the project's out/ whatever the current folder.
export QM_UI_ARTIFACTS="${QM_UI_ARTIFACTS:-$(qm_winpath "$QM_ROOT/out/test-artifacts/ui")}"
mkdir -p "$QM_ROOT/out/test-artifacts/ui"
cd "$work" && timeout 900 "$(qm_loader_for "$dist")" "$exe" --gtest_color=no "$@"
