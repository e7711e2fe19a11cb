#!/usr/bin/env bash
# Cancel stress: many downloads and uploads against a slowed store, each cancelled by the user at a random point.
# Nothing may crash or hang, nothing may be left behind, and the page host's threads and memory stay flat.
# Usage: stress_test.sh [DIST_DIR]; QM_STRESS_RUNS runs of each kind (default 20; the long run is 300),
# QM_STRESS_SEED the seed of the cancel points, QM_STRESS_SETTLE_S how long the page waits at most for the last
# workers to end (default 60). Other environment as in scripts/lib/harness.sh.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/harness.sh"
qm_suite stress "$@"
runs=${QM_STRESS_RUNS:-20}
seed=${QM_STRESS_SEED:-20261208}
settle=${QM_STRESS_SETTLE_S:-60}
# The page gives up after page_timeout; the run is killed after run_timeout, should the page host hang.
page_timeout=$((60 + runs * 5 + settle))
run_timeout=$((120 + runs * 6 + settle))

start_store "$seeds/big.txt"
page="$base/stress.xhtml"

# answers KIND: one chooser answer (uploads) and one Cancel a run, the Cancel after a random wait of 0-1200 ms;
# uploads may meet a reset connection (below).
answers() {
  python3 - "$1" "$runs" "$seed" "$(qm_winpath "$work/files/upload.bin")" <<'PY'
import random, sys
kind, runs, seed, upload = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rnd = random.Random(seed)
for _ in range(runs):
    if kind == "upload":
        print("when Open => files " + upload)
    else:  # the older copy was not written by the control: replacing it is asked
        print("when asks to replace the file => click 6")
    print("when Cancel => wait %d; click 2" % rnd.randint(0, 1200))
    if kind == "upload":
        print("maybe when Connection reset => click 1")
PY
}
# What the process held every tenth run, and once the last workers have ended: flat means at most a few threads
# and 8 MiB more when settled than at the first sample (the first runs warm up WinInet and the dialogs). The
# samples taken during the runs may hold workers still finishing a cancelled step, so they are only reported.
# Closing a cancelled reply makes Wine's WinInet read the rest of its body, 1 KiB a call, until nothing more has
# arrived: when the machine is too busy for that to catch up with the store's 4 MB/s, the worker reads on to the
# end of the file (up to a minute), and such workers pile up while runs keep coming. They end when their
# bodies do; a long run on a loaded machine may need QM_STRESS_SETTLE_S of several minutes.
flat='
t = [int(x) for x in str(notes.get("threads") or "").split(",") if x]
m = [int(x) for x in str(notes.get("memory") or "").split(",") if x]
s = [int(x) for x in str(notes.get("settled") or "").split(",") if x]
need(len(t) >= 2 and len(m) >= 2 and len(s) == 3 and min(t) > 0 and min(m) > 0, "samples: %r %r %r" % (t, m, s))
if len(s) == 3 and t and m:
    print("  threads %r, memory (KiB) %r, settled %d threads, %d KiB after %d ms" % (t, m, s[0], s[1], s[2]))
    need(s[0] - t[0] <= 3, "threads grew: %r, settled %d" % (t, s[0]))
    need(s[1] - m[0] <= 8192, "memory grew (KiB): %r, settled %d" % (m, s[1]))
'

# Downloads over an older copy, the body sent at 4 MB/s.
out="$work/out"
mkdir -p "$out"
printf 'older big copy' >"$out/Big.bin"
store_control "fault?name=slow-body&for=getfile&count=-1&rate=4000000"
answers download >"$work/download.user"
QM_RUN_TIMEOUT=$run_timeout run downloads "$work/download.user" -- --page "$page" --arg op=download \
  --arg "dir=$(qm_winpath "$out")" --arg "runs=$runs" --arg "settle=$settle" --timeout $page_timeout
sleep 2
verdict downloads "
need(code == 0, 'exit code %d' % code)
ends = [e for e in ev if e.get('kind') == 'dialogEnd' and e.get('template') == '103']
need(len(ends) == $runs and all(e.get('result') == 2 for e in ends), 'every run cancelled: %r' % [e.get('result') for e in ends][:20])
need(read(os.path.join(work, 'out', 'Big.bin')) == b'older big copy', 'the older copy is intact')
need(sorted(os.listdir(os.path.join(work, 'out'))) == ['Big.bin'], 'nothing left behind: %r' % os.listdir(os.path.join(work, 'out')))
told = [b for b in boxes if 'Do you want to replace it?' not in b]  # the older copy is not the control's
need(not told, 'no message after a cancel: %r' % told[:3])
$flat"
store_control faults/clear

# Uploads of a 32 MiB file, the store reading the body at 4 MB/s: no record may be stored.
mkdir -p "$work/files"
head -c 33554432 /dev/urandom >"$work/files/upload.bin"
store_control "fault?name=slow-body&for=upload&count=-1&rate=4000000"
answers upload >"$work/upload.user"
QM_RUN_TIMEOUT=$run_timeout run uploads "$work/upload.user" -- --page "$page" --arg op=upload \
  --arg "runs=$runs" --arg "settle=$settle" --timeout $page_timeout
sleep 2
curl -s "$base/_filestore/records" >"$work/records.json"
verdict uploads "
need(code == 0, 'exit code %d' % code)
ends = [e for e in ev if e.get('kind') == 'dialogEnd' and e.get('template') == '103']
# A run whose connection was reset ends with -1, or with Cancel when the user clicks it while told.
need(len(ends) == $runs and all(e.get('result') in (2, -1) for e in ends), 'every run ended: %r' % [e.get('result') for e in ends])
records = json.load(open(os.path.join(work, 'records.json')))
need(not [r for r in records if r.get('view') == 'Uploads'], 'no record stored: %r' % records[:3])
# Known: Wine's WinInet may hand the next upload the connection a cancelled one left mid-body, which the store
# then resets; that upload tells the user so. Any other message is a fault.
others = [b for b in boxes if 'Connection reset by peer' not in b]
need(not others, 'no other message: %r' % others[:3])
need(len(boxes) <= $runs // 10 + 1, 'resets stay rare: %d' % len(boxes))
$flat"
store_control faults/clear
finish_suite
