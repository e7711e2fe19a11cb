#!/usr/bin/env bash
# The page host's own suite: scenarios run under Wine and Xvfb, each checked against its record.
# Usage: pagehost_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite pagehost "$@"

pages=$here/pages

# scenario NAME EXPECTED_EXIT CHECK [CHECK_ARGS...] -- PAGEHOST_ARGS...: one run, checked by check_record.py CHECK.
scenario() {
  local name=$1 wanted=$2 check=$3; shift 3
  local extra=()
  while [ "$1" != "--" ]; do extra+=("$1"); shift; done
  shift
  QM_RUN_TIMEOUT=180 run "$name" "" -- "$@"
  local code ok=1
  code=$(cat "$work/$name.code")
  checks=$((checks + 1))
  if [ "$code" != "$wanted" ]; then
    echo "  exit code $code, wanted $wanted"
    ok=0
  fi
  python3 "$here/check_record.py" "$check" "$work/$name.json" "${extra[@]}" || ok=0
  if [ $ok = 1 ]; then echo "ok: $name"; else qm_failed "$name" "$work/$name.out"; fi
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
if qm_start_store --pages "$pages" --seed "$seeds/plan.txt" --quiet; then
  url="$base/served.xhtml"
  scenario served 0 served "$url" -- --page "$url" --timeout 60

  # Answers fit whole words only: the box asking to replace a file names a folder holding "aBokQ1" and
  # "want to replaced". Each "maybe" answer has a letter or digit on one side wherever it occurs; the last one
  # occurs first inside that folder name and only then as words of their own.
  curl -s -o "$work/plan.bytes" "$base/_filestore/bytes?view=Documents&key=01234567-89ab-cdef-0123-456789abcdef"
  words="$work/want to replaced.aBokQ1"
  mkdir -p "$words"
  printf 'older copy' >"$words/Plan.doc"
  touch -d 2020-01-01 "$words/Plan.doc"
  printf '%s\n' 'maybe when OK => shot wrong; click 7' 'maybe when aBokQ => click 7' 'maybe when eplace => click 7' \
    'maybe when replace the f => click 7' 'when want to replace => click 6' >"$work/words.txt"
  scenario words_not_paths 0 words_not_paths "$words/Plan.doc" "$work/plan.bytes" "$work/shots-words_not_paths" -- \
    --page "$base/download.xhtml" --arg ids=doc --arg "dir=$(qm_winpath "$words")" \
    --user "$(qm_winpath "$work/words.txt")" --timeout 60
else
  for name in served words_not_paths; do
    checks=$((checks + 1))
    qm_failed "$name (the file store did not start)"
  done
fi

finish_suite
