# Sourced by the scripts: how to run Windows programs here. The 64-bit loader is called directly because the
# `wine` launcher starts the 32-bit loader first, which some kernels cannot run.
QM_WINE64=/usr/lib/wine/wine64
[ -x "$QM_WINE64" ] || QM_WINE64=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
# The server is a Linux program; given to the loader it would be looked for as a Windows one.
QM_WINESERVER=/usr/lib/wine/wineserver64
[ -x "$QM_WINESERVER" ] || QM_WINESERVER=$(command -v wineserver || echo wineserver)
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

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
