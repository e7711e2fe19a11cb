#!/usr/bin/env bash
# A user's edits in place, end to end: the page host opens a stored file for editing, the page changes the copy
# as the user's program would, and the file is clicked again after the stored copy changed. Each scenario checks
# the files on disk, what the store holds, and what the user was asked.
# Usage: edits_test.sh [DIST_DIR]; environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite edits "$@"

start_store "$seeds/plan.txt"
page="$base/edits.xhtml"
export QM_STORE_BASE=$base
key=01234567-89ab-cdef-0123-456789abcdef
verdict_prelude='
import urllib.request
key = "01234567-89ab-cdef-0123-456789abcdef"
folder = [os.path.join(d, key) for d in (os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", u, "Temp")
          for u in os.listdir(os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")))
          if os.path.isdir(os.path.join(d, key))]
folder = folder[0] if folder else ""
files = sorted(os.listdir(folder)) if folder else []
stored = urllib.request.urlopen(os.environ["QM_STORE_BASE"] + "/_filestore/bytes?view=Documents&key=" + key).read()
'
# Each scenario starts from the seeded record, no copies and no journal of edited copies.
reset_copies() {
  find "$WINEPREFIX/drive_c/users" -type d -name "$key" -exec rm -rf {} + 2>/dev/null
  find "$WINEPREFIX/drive_c/users" -name edited-copies.txt -delete 2>/dev/null
  curl -s -o /dev/null -X POST -H 'X-Filestore-Control: 1' --data-binary "@$seeds/plan.txt" "$base/_filestore/seed"
}

# Edited, then the stored copy changes and the file is clicked again: the user is asked; No fetches the stored
# copy and keeps the edits beside it.
reset_copies
printf 'when changes that were not sent => shot question-edited-copy; click 7\n' >"$work/both.user"
run both "$work/both.user" -- --page "$page" --arg steps=open,edit,newer,open --timeout 90
verdict both '
need(code == 0, "exit code %d" % code)
need(any("changes that were not sent" in b for b in boxes), "the user was asked: %r" % boxes)
aside = [f for f in files if f.startswith("Plan (my edits ") and f.endswith(").doc")]
need(len(aside) == 1 and "Plan.doc" in files, "both copies: %r" % files)
if aside:
    need(read(os.path.join(folder, aside[0])) == stored + b"edited by the user", "the edits are kept beside")
need("Plan.doc" in files and read(os.path.join(folder, "Plan.doc")) == stored, "the stored copy fetched")
'

# Yes keeps the edited copy as it is and opens it; Cancel changes nothing.
for answer in keep:6 cancel:2; do
  name=${answer%%:*}
  reset_copies
  printf 'when changes that were not sent => click %s\n' "${answer#*:}" >"$work/$name.user"
  run "$name" "$work/$name.user" -- --page "$page" --arg steps=open,edit,newer,open --timeout 90
  verdict "$name" '
need(code == 0, "exit code %d" % code)
need(any("changes that were not sent" in b for b in boxes), "the user was asked: %r" % boxes)
need(files == ["Plan.doc"], "one copy: %r" % files)
need(files and read(os.path.join(folder, "Plan.doc")) == stored + b"edited by the user", "the edits are as they were")
'
done

# Sent first, the copy is no longer at stake: the newer stored copy replaces it without a question.
reset_copies
printf 'maybe when asks to send the file => click 6\n' >"$work/sent.user"
run sent "$work/sent.user" -- --page "$page" --arg steps=open,edit,save,newer,grown,open --timeout 90
verdict sent '
need(code == 0, "exit code %d" % code)
need(not any("changes that were not sent" in b for b in boxes), "nothing asked about edits: %r" % boxes)
need(stored.endswith(b"edited by the user"), "the edits reached the store")
need(files == ["Plan.doc"] and read(os.path.join(folder, "Plan.doc")) == stored, "the copy is the stored one")
'

# Edited, then the page goes away (the control with it); a later page of the same server offers the edits.
reset_copies
run restart_edit "" -- --page "$page" --arg steps=open,edit --timeout 90
printf 'when has been updated => click 1\n' >"$work/restart.user"
run restart "$work/restart.user" -- --page "$page" --arg steps=ask,walk,ask --timeout 90
verdict restart '
need(code == 0, "exit code %d" % code)
edited = [e.get("value") for e in ev if e.get("kind") == "note" and e.get("name") == "edited"]
need(len(edited) == 2 and edited[0].startswith("plan?Documents?" + key + "?Plan.doc?20") and edited[1] == "",
     "the page heard of the unsent edits, and of none once sent: %r" % edited)
need(any(e.get("kind") == "dialog" and "has been updated" in json.dumps(e) for e in ev), "Save to Server offered")
need(stored.endswith(b"edited by the user") and len(stored) == 10018, "the edits reached the store: %d" % len(stored))
'

# A page of another server (the same store under another name) never hears of them.
reset_copies
run foreign_edit "" -- --page "$page" --arg steps=open,edit --timeout 90
run foreign "" -- --page "${page/127.0.0.1/localhost}" --arg steps=ask,walk --timeout 90
verdict foreign '
need(code == 0, "exit code %d" % code)
need(notes.get("edited") == "", "the page heard of nothing: %r" % notes.get("edited"))
need(not any(e.get("kind") == "dialog" for e in ev), "nothing offered: %r" % [e for e in ev if e.get("kind") == "dialog"])
need(len(stored) == 10000, "the store holds what it held")
'

finish_suite
