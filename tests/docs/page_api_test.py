#!/usr/bin/env python3
"""docs/page-api.md against the sources: every IFileDragDrop member of the IDL has a heading under
"Methods and properties" and every heading there is a member; every element attribute the sources read has a
row under "Element attributes" and every row there is read somewhere."""
import re
import sys
from pathlib import Path

root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2]


def section(text, title):
    m = re.search(r"^## " + re.escape(title) + r"\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    if not m:
        sys.exit(f"page-api.md has no section '{title}'")
    return m.group(1)


def idl_members(idl):
    m = re.search(r"interface IFileDragDrop\s*:\s*IDispatch\s*\{(.*?)\};", idl, re.S)
    if not m:
        sys.exit("quillmark.idl has no IFileDragDrop")
    return set(re.findall(r"HRESULT\s+(\w+)\s*\(", m.group(1)))


# Every way the sources read an element attribute: the port's TextAttribute, its helpers, the download reader's
# Or, and named constants of attribute names.
READ_CALL = re.compile(r'\b(?:TextAttribute|TextAttributeOr|BoolAttribute|Or)\((?:\*?[\w>.-]+,\s*)?L"(\w+)"')
CONSTANT = re.compile(r'\bk\w*Attribute\[\]\s*=\s*L"(\w+)"')


def source_attributes(src):
    names = set()
    for path in list(src.rglob("*.cpp")) + list(src.rglob("*.h")):
        text = path.read_text(encoding="utf-8", errors="replace")
        names |= set(READ_CALL.findall(text)) | set(CONSTANT.findall(text))
    return names


def main():
    doc = (root / "docs/page-api.md").read_text(encoding="utf-8")
    idl = (root / "src/module/win32/quillmark.idl").read_text(encoding="utf-8")
    problems = []

    members = idl_members(idl)
    documented = set(re.findall(r"^### `(\w+)`", section(doc, "Methods and properties"), re.M))
    problems += [f"member {n} of IFileDragDrop is not documented" for n in sorted(members - documented)]
    problems += [f"documented member {n} is not in IFileDragDrop" for n in sorted(documented - members)]

    read = source_attributes(root / "src")
    rows = set(re.findall(r"^\| `(\w+)` \|", section(doc, "Element attributes"), re.M))
    problems += [f"attribute {n} read in src/ is not documented" for n in sorted(read - rows)]
    problems += [f"documented attribute {n} is read nowhere in src/" for n in sorted(rows - read)]

    if len(members) < 9 or len(read) < 20:
        problems.append(f"too few names found (members {len(members)}, attributes {len(read)}): the patterns broke")
    for p in problems:
        print(p)
    print(f"{len(members)} members, {len(read)} attributes; {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
