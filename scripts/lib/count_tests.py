#!/usr/bin/env python3
"""Counts one ctest run from its JUnit file: a GoogleTest program counts its test cases, a page-host suite its
scenarios ("NAME: N scenarios, N failed"), any other test one. A test ctest skipped (exit code 77) counts as skipped.
Prints a line per test and, last, "P F S" for the caller; writes each test's output to LOGDIR/NAME.log."""
import os
import re
import sys
import xml.etree.ElementTree as ET

junit, logdir, tag = sys.argv[1], sys.argv[2], sys.argv[3]
total = [0, 0, 0]
failures = []
try:
    cases = list(ET.parse(junit).iter("testcase"))
except (OSError, ET.ParseError) as error:
    print("  %s: no results (%s)" % (tag, error))
    print("failed: %s (no results)" % tag, file=sys.stderr)
    print("0 1 0")
    sys.exit(0)
for case in cases:
    name = case.get("name")
    out = case.find("system-out")
    text = (out.text or "") if out is not None else ""
    log = os.path.join(logdir, "%s%s.log" % (name, tag))
    with open(log, "w", encoding="utf-8", errors="replace") as f:
        f.write(text)
    status = case.get("status")
    if status == "notrun" or case.find("skipped") is not None:
        p, f, s = 0, 0, 1
    else:
        ok = status == "run" and case.find("failure") is None
        passed = re.findall(r"^\[  PASSED  \] (\d+) test", text, re.M)
        failed = re.findall(r"^\[  FAILED  \] (\d+) test", text, re.M)
        skipped = re.findall(r"^\[  SKIPPED \] (\d+) test", text, re.M)
        suite = re.findall(r"^[a-z0-9]+: (\d+) scenarios, (\d+) failed", text, re.M)
        if passed or failed:
            p, f = int(passed[-1]) if passed else 0, int(failed[-1]) if failed else 0
            s = int(skipped[-1]) if skipped else 0
        elif suite:
            n, bad = map(int, suite[-1])
            p, f, s = max(n - bad, 0), bad, 0
        else:
            p, f, s = (1, 0, 0) if ok else (0, 1, 0)
        if not ok and f == 0:  # a crash or time-out after the summary, or without one
            f = 1
    total = [total[0] + p, total[1] + f, total[2] + s]
    print("  %s%s: %d passed, %d failed%s" % (name, tag, p, f, ", %d skipped" % s if s else ""))
    if f:
        print("failed: %s%s (log: %s)" % (name, tag, log), file=sys.stderr)
print("%d %d %d" % tuple(total))
