#!/usr/bin/env bash
# The dialogs' layout checks (no shown control overlaps another, leaves the client area or cuts its text) at
# 120, 144 and 192 DPI: a fresh Wine prefix per DPI with HKCU\Control Panel\Desktop\LogPixels set, and the
# progress, File Download and Save to Server dialog cases of the Wine suites run in it. 96 DPI is the suites' own run.
# Usage: dpi_test.sh [DIST_DIR]; prints "dpi: N scenarios, N failed". Screenshots go to out/test-artifacts/ui-DPI.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
root=$QM_ROOT
dist=$(readlink -f "${1:-$root/dist/x64}")
# 77: skipped, for ctest and scripts/test.
if [ "$(basename "$dist")" = x86 ] && ! qm_x86_runs; then echo "dpi: skipped: $QM_X86_WHY"; exit 77; fi
wine=$(qm_loader_for "$dist")
QM_SCREEN=1600x1200x24 qm_display || exit 1
qm_work dpi-test
checks=0; failures=0
# The server of the prefix in use, should the run be stopped in the middle.
qm_on_exit '[ -z "${WINEPREFIX:-}" ] || WINEPREFIX="$WINEPREFIX" "$QM_WINESERVER" -k 2>/dev/null'
for dpi in ${QM_DPI_LIST:-120 144 192}; do
  export WINEPREFIX=$work/prefix-$dpi
  qm_new_prefix "$WINEPREFIX"
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
  "$QM_WINESERVER" -w
  for exe in ui_wine_tests download_wine_tests upload_wine_tests; do
    checks=$((checks + 1))
    log=$work/$exe-$dpi.log
    (cd "$work" && QM_UI_ARTIFACTS="$(qm_winpath "$root/out/test-artifacts/ui-$dpi")" timeout 600 "$wine" "$dist/$exe.exe" \
      --gtest_color=no --gtest_filter='*ProgressDialogModes.*:FileDownloadDialogTest.*:SaveToServerDialogTest.*') \
      >"$log" 2>&1
    if [ $? -eq 0 ] && grep -qE '^\[  PASSED  \] [1-9]' "$log"; then
      echo "ok: $exe at $dpi DPI"
    else
      failures=$((failures + 1)); echo "FAIL: $exe at $dpi DPI"; grep -E 'Failure|overlaps|cut|outside|FAILED' "$log" | head -10 | sed 's/^/    | /'
    fi
  done
  "$QM_WINESERVER" -k 2>/dev/null
  rm -rf "$WINEPREFIX"
done
# Every shot at every DPI in one image a person can look over (an artifact, not a check).
bash "$root/tests/ui/win32/contact_sheet.sh" "$root/out/test-artifacts" || true
echo "dpi: $checks scenarios, $failures failed"
[ $failures = 0 ]
