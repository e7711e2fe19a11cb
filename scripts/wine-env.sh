# Sourced by the scripts: how to run Windows programs here. The 64-bit loader is called directly because the
# `wine` launcher starts the 32-bit loader first, which some kernels cannot run.
QM_WINE64=/usr/lib/wine/wine64
[ -x "$QM_WINE64" ] || QM_WINE64=$(command -v wine64 || command -v wine)
# The server is a Linux program; given to the loader it would be looked for as a Windows one.
QM_WINESERVER=/usr/lib/wine/wineserver64
[ -x "$QM_WINESERVER" ] || QM_WINESERVER=$(command -v wineserver || echo wineserver)
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

# Creates a fresh 64-bit prefix at $1.
qm_new_prefix() {
  local prefix="$1"
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  WINEPREFIX="$prefix" WINEARCH=win64 timeout 300 "$QM_WINE64" wineboot -i >/dev/null 2>&1 || true
  # No window manager runs under Xvfb: unmanaged windows show at once instead of waiting for one.
  WINEPREFIX="$prefix" "$QM_WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
} </dev/null >/dev/null 2>&1  # processes wineboot leaves behind print start-up errors of no consequence

# Windows path of a Linux path.
qm_winpath() { echo "Z:$(readlink -f "$1" | sed 's|/|\\|g')"; }
