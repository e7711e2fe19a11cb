#!/usr/bin/env python3
"""Checks a page host record (JSON) for one scenario; prints what is wrong and exits 1 on a mismatch.
Usage: check_record.py SCENARIO RECORD [EXTRA...]"""
import json
import os
import sys

problems = []


def expect(what, actual, wanted):
    if actual != wanted:
        problems.append("%s: got %r, wanted %r" % (what, actual, wanted))


def events(record, kind):
    return [e for e in record["events"] if e["kind"] == kind]


def png(path):
    try:
        with open(path, "rb") as f:
            return f.read(8) == b"\x89PNG\r\n\x1a\n" and os.path.getsize(path) > 100
    except OSError:
        return False


def elements(record, extra):
    expect("result", record["result"], "passed")
    expect("failures", record["failures"], [])
    values = {(e["element"], e["name"]): e["value"] for e in events(record, "getAttribute")}
    expect("number attribute recorded as a number", values.get(("file", "FileSize")), "1234")
    expect("absent attribute recorded as null", values.get(("file", "IsLocked")), "true")  # last read, after set
    shots = events(record, "screenshot")
    expect("one screenshot", len(shots), 1)
    expect("screenshot file", png(os.path.join(extra[0], "elements.png")), True)


def calls(record, extra):
    expect("result", record["result"], "passed")
    got = [(c["function"], c["args"], c["result"]) for c in events(record, "call")]
    expect("first call", got[0], ("BeforeUpload", ["elem1", "a b.txt", "C:\\dir\\a b.txt", "extra"],
                                  "elem1|a b.txt|C:\\dir\\a b.txt"))
    expect("number result", got[1], ("GivesNumber", [], 42))
    expect("raising call", (got[2][0], got[2][2]), ("Raises", None))
    expect("call without result", got[3], ("NoResult", ["1"], None))
    expect("calls recorded", len(got), 4)
    lookups = events(record, "lookup")
    expect("unknown name recorded", [l["name"] for l in lookups], ["NotDefined"])
    errors = events(record, "scriptError")
    expect("the raised error is recorded as inside a page call", [e["inPageCall"] for e in errors], [True])


def message_box(record, extra):
    expect("result", record["result"], "passed")
    boxes = events(record, "messageBox")
    expect("one message box", len(boxes), 1)
    if boxes:
        expect("caption", boxes[0]["caption"], "Torvane - Quillmark")
        expect("text names the address", "gopher:nowhere" in boxes[0]["text"], True)
    dialogs = events(record, "dialog")
    expect("dialog seen by the user", len(dialogs), 1)
    if dialogs:
        expect("buttons", [(b["id"], b["text"]) for b in dialogs[0]["buttons"]], [(1, "OK")])
        expect("answer", dialogs[0]["answer"], "when Torvane - Quillmark => shot box; click 1")
        expect("same text as the box", dialogs[0]["text"], boxes[0]["text"] if boxes else None)
    ends = events(record, "messageBoxEnd")
    expect("end code", [e["result"] for e in ends], [1])
    kinds = [e["kind"] for e in record["events"]]
    expect("page went on after the box", kinds.index("log") > kinds.index("messageBoxEnd"), True)
    expect("screenshot of the box", png(os.path.join(extra[0], "box.png")), True)


def message_box_escape(record, extra):
    expect("result", record["result"], "passed")
    ends = events(record, "messageBoxEnd")
    expect("closed by Escape", len(ends), 1)
    expect("log after Init", [e["text"] for e in events(record, "log")], ["version 2,2,0,3"])


def unused_answer(record, extra):
    expect("result", record["result"], "failed")
    expect("failure names the answer", any("answer not used: when Nothing" in f for f in record["failures"]), True)


def drops(record, extra):
    expect("result", record["result"], "passed")
    posted = events(record, "shellDrop")
    expect("posted", [p["posted"] for p in posted], [True])
    taken = events(record, "dropNotTaken")
    expect("the window received the files", [t["files"] for t in taken], [extra[0] + "|" + extra[1]])
    ole = events(record, "oleDrop")
    expect("no drop target", [o["target"] for o in ole], [False])


def timeout(record, extra):
    expect("result", record["result"], "timeout")
    expect("failure says the time bound", any("did not end within" in f for f in record["failures"]), True)
    expect("screenshot at the stop", png(os.path.join(extra[0], "timeout.png")), True)


def unanswered_box(record, extra):
    timeout(record, extra)
    dialogs = events(record, "dialog")
    expect("box recorded without answer", [(d["caption"], d["answer"]) for d in dialogs], [("Torvane - Quillmark", "")])


def broken(record, extra):
    expect("result", record["result"], "failed")
    expect("parse failure reported", any("not well-formed" in f and "line" in f for f in record["failures"]), True)


def script_error(record, extra):
    expect("result", record["result"], "failed")
    errors = events(record, "scriptError")
    expect("one script error", len(errors), 1)
    if errors:
        expect("block", errors[0]["block"], "script block 1")


def served(record, extra):
    expect("result", record["result"], "passed")
    pages = events(record, "page")
    expect("href is the URL", pages[0]["href"] if pages else None, extra[0])
    expect("no message box for an http page", events(record, "messageBox"), [])


def words_not_paths(record, extra):
    expect("result", record["result"], "passed")
    asked = [d for d in events(record, "dialog") if "asks to replace the file" in d["text"]]
    expect("one replace question", len(asked), 1)
    if asked:
        expect("folder named in the question", "aBokQ1" in asked[0]["text"], True)
        expect("answer", asked[0]["answer"], "when want to replace => click 6")
    expect("no other answer used", [d["answer"] for d in events(record, "dialog") if d["answer"] and d not in asked], [])
    with open(extra[0], "rb") as got, open(extra[1], "rb") as stored:
        expect("the file replaced by the stored copy", got.read() == stored.read(), True)
    expect("no shot of a wrong answer", os.path.exists(os.path.join(extra[2], "wrong.png")), False)


def main():
    scenario, path = sys.argv[1], sys.argv[2]
    try:
        with open(path, encoding="utf-8") as f:
            record = json.load(f)
    except (OSError, ValueError) as error:
        print("  no readable record %s: %s" % (path, error))
        return 1
    globals()[scenario](record, sys.argv[3:])
    for p in problems:
        print("  " + p)
    return 1 if problems else 0


sys.exit(main())
