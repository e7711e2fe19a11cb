#!/usr/bin/env bash
# One image of every dialog screenshot at every DPI the suites ran: a row per dialog, a column per DPI (96 is the
# suites' own run in out/test-artifacts/ui). Usage: contact_sheet.sh [ARTIFACTS_DIR]; writes ARTIFACTS_DIR/contact-sheet.png.
set -euo pipefail
artifacts=${1:-$(cd "$(dirname "$0")/../../.." && pwd)/out/test-artifacts}
command -v montage >/dev/null || { echo "contact sheet: montage (imagemagick) is missing"; exit 1; }
columns=()
[ -d "$artifacts/ui" ] && columns+=("96:$artifacts/ui")
for d in "$artifacts"/ui-[0-9]*; do
  [ -d "$d" ] && [ "${d##*-}" != 96 ] && columns+=("${d##*-}:$d")
done
[ ${#columns[@]} -gt 0 ] || { echo "contact sheet: no screenshots under $artifacts"; exit 1; }
# Every tile as large as the largest shot, so that no shot covers another's label.
size=$(for column in "${columns[@]}"; do identify -format '%w %h\n' "${column#*:}"/*.png 2>/dev/null; done |
       awk '$1 > w { w = $1 } $2 > h { h = $2 } END { print w "x" h }')
tiles=()
for name in progress-download progress-multidownload progress-upload progress-reupload file-download-default \
            file-download-edit-mode file-download-long-header file-download-long-footer save-to-server; do
  for column in "${columns[@]}"; do
    shot="${column#*:}/$name.png"
    if [ -f "$shot" ]; then tiles+=(-label "$name, ${column%%:*} DPI" "$shot"); else tiles+=(-label "$name, ${column%%:*} DPI: none" "null:"); fi
  done
done
font=$(fc-match -f '%{file}' sans 2>/dev/null || true)
montage -background '#d0d0d0' ${font:+-font "$font"} -pointsize 14 "${tiles[@]}" -tile "${#columns[@]}x" -geometry "${size}>+10+10" \
  "$artifacts/contact-sheet.png" 2>/dev/null ||
  # No font for the labels: the tiles alone, in the same order.
  montage -background '#d0d0d0' $(printf '%s\n' "${tiles[@]}" | grep -v -- '^-label$' | grep -E '\.png$|^null:$') \
    -tile "${#columns[@]}x" -geometry "${size}>+10+10" "$artifacts/contact-sheet.png"
echo "contact sheet: $artifacts/contact-sheet.png (${#columns[@]} DPIs)"
