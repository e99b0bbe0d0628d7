#!/usr/bin/env python3
"""Writes the tables of docs/result-codes.md and docs/status-messages.md from
src/meanings/meanings.tsv, the one source of the meanings of result codes,
status levels and sources, and status messages.

    scripts/docs-tables.py           rewrite the tables in place
    scripts/docs-tables.py --check   exit 1 when a table differs from the TSV

Each table stands between a marker line <!-- table: NAME --> and the line
<!-- end of table -->; the text around the markers is left alone.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TSV = ROOT / "src" / "meanings" / "meanings.tsv"

# How the varying codes and texts of message records read in the docs.
CODE_WORDS = {
    "<check>": "the failing check's code, -3002 to -3014",
    "<parser>": "the parser's code, -3200 to -3208",
    "<driver>": "the driver's status or error code",
    "<write>": "what `G4Write` returned",
    "<field>": "the field's status",
    "<tag>": "the tag's status",
}
TEXT_WORDS = {
    "<empty>": "(empty)",
    "<path>": "the path of the reader list file",
    "<driver-text>": "the driver's text for the code",
    "<attribute>": "the attribute name",
    "<tag-id>": "the tag identifier, 16 hexadecimal digits",
}


def read_meanings(path=TSV):
    """The TSV's records by kind: lists of field lists, in file order."""
    records = {"level": [], "source": [], "code": [], "message": []}
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        fields = line.split("\t")
        if fields[0] not in records:
            raise ValueError(f"{path}:{number}: unknown record kind {fields[0]!r}")
        records[fields[0]].append(fields[1:])
    return records


def cell(text):
    return text.replace("|", "\\|")


def message_text(text):
    if text in TEXT_WORDS:
        return TEXT_WORDS[text]
    if "<n>" in text:
        return '"' + text.replace("<n>", "7") + '" (the field number in place of 7)'
    return '"' + text + '"'


def tables(records):
    levels = {n: name for n, name, _ in records["level"]}
    sources = {n: name for n, name, _ in records["source"]}
    out = {}
    rows = ["| Code | Name | Meaning | Returned by |", "|---:|---|---|---|"]
    for code, name, meaning, returned in records["code"]:
        rows.append(f"| {code} | `{name}` | {cell(meaning)} | {cell(returned)} |")
    out["codes"] = rows
    rows = ["| Level | Name | Meaning |", "|---:|---|---|"]
    rows += [f"| {n} | `{name}` | {cell(d)} |" for n, name, d in records["level"]]
    out["levels"] = rows
    rows = ["| Source | Name | Posted by |", "|---:|---|---|"]
    rows += [f"| {n} | `{name}` | {cell(d)} |" for n, name, d in records["source"]]
    out["sources"] = rows
    rows = ["| Level | Source | Code | Text | When |", "|---|---|---|---|---|"]
    for source, level, code, text, when in records["message"]:
        rows.append(f"| {level} {levels[level]} | {source} {sources[source]} | "
                    f"{cell(CODE_WORDS.get(code, code))} | {cell(message_text(text))} | {cell(when)} |")
    out["messages"] = rows
    return out


BLOCK = re.compile(r"(<!-- table: (\w+) -->\n)(.*?)(<!-- end of table -->)", re.S)


def render(text, generated):
    """text with every marked table replaced by its generated rows."""
    def replace(m):
        return m.group(1) + "\n".join(generated[m.group(2)]) + "\n" + m.group(4)
    return BLOCK.sub(replace, text)


def main(argv):
    generated = tables(read_meanings())
    stale = []
    for page in ("result-codes.md", "status-messages.md"):
        path = ROOT / "docs" / page
        text = path.read_text(encoding="utf-8")
        new = render(text, generated)
        if new == text:
            continue
        if "--check" in argv:
            stale.append(page)
        else:
            path.write_text(new, encoding="utf-8")
            print(f"rewrote the tables of docs/{page}")
    for page in stale:
        print(f"docs/{page}: its tables differ from {TSV.relative_to(ROOT)}; run scripts/docs-tables.py")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
