#!/usr/bin/env python3
"""Writes the tables of docs/result-codes.md and docs/status-messages.md, the
result code constants of include/volneda.h and the meanings table of
include/volneda.hpp, from
src/meanings/meanings.tsv, the one source of the meanings of result codes,
status levels and sources, and status messages.

    scripts/docs-tables.py           rewrite the tables in place
    scripts/docs-tables.py --check   exit 1 when a table differs from the TSV

Each table stands between a marker line <!-- table: NAME --> and the line
<!-- end of table -->, the constants between the lines CONSTANTS_BEGIN and
CONSTANTS_END, the C++ table between MEANINGS_BEGIN and MEANINGS_END; the text around the markers is left alone.
"""
import pathlib
import re
import sys
import textwrap

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


HEADER = ROOT / "include" / "volneda.h"
CONSTANTS_BEGIN = "/* Result codes: written by scripts/docs-tables.py from src/meanings/meanings.tsv. */\n"
CONSTANTS_END = "/* End of the result codes. */\n"


def constant_name(name):
    """The C name of a code's constant: VOLNEDA_OK, else VOLNEDA_ERR_NAME."""
    return "VOLNEDA_" + name if name == "OK" else "VOLNEDA_ERR_" + name


def constants(records):
    """The #define lines of the result codes, each after its meaning."""
    lines = []
    for code, name, meaning, _ in records["code"]:
        comment = textwrap.wrap(meaning, 72)
        if len(comment) == 1:
            lines.append(f"/** {comment[0]} */")
        else:
            lines += ["/**"] + [" * " + c for c in comment] + [" */"]
        value = code if int(code) >= 0 else f"({code})"
        lines.append(f"#define {constant_name(name)} {value}")
    return "".join(line + "\n" for line in lines)


def render_header(text, records):
    """The header's text with its constants block written from the TSV."""
    begin = text.index(CONSTANTS_BEGIN) + len(CONSTANTS_BEGIN)
    return text[:begin] + constants(records) + text[text.index(CONSTANTS_END, begin):]


CPP_HEADER = ROOT / "include" / "volneda.hpp"
MEANINGS_BEGIN = "// Meanings: written by scripts/docs-tables.py from src/meanings/meanings.tsv.\n"
MEANINGS_END = "// End of the meanings.\n"


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def meanings_table(records):
    """The C++ arrays of the codes (number, name, meaning), levels and sources."""
    lines = ["inline constexpr CodeMeaning kCodes[] = {"]
    lines += [f"    {{{code}, {c_string(name)}, {c_string(meaning)}}}," for code, name, meaning, _ in records["code"]]
    lines.append("};")
    for array, kind in (("kLevels", "level"), ("kSources", "source")):
        lines.append(f"inline constexpr Named {array}[] = {{")
        lines += [f"    {{{n}, {c_string(name)}}}," for n, name, _ in records[kind]]
        lines.append("};")
    return "".join(line + "\n" for line in lines)


def render_cpp_header(text, records):
    """The C++ header's text with its meanings table written from the TSV."""
    begin = text.index(MEANINGS_BEGIN) + len(MEANINGS_BEGIN)
    return text[:begin] + meanings_table(records) + text[text.index(MEANINGS_END, begin):]


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
    header = HEADER.read_text(encoding="utf-8")
    new = render_header(header, read_meanings())
    if new != header:
        if "--check" in argv:
            print(f"include/volneda.h: its result codes differ from {TSV.relative_to(ROOT)}; run scripts/docs-tables.py")
            stale.append(HEADER.name)
        else:
            HEADER.write_text(new, encoding="utf-8")
            print("rewrote the result codes of include/volneda.h")
    cpp = CPP_HEADER.read_text(encoding="utf-8")
    new = render_cpp_header(cpp, read_meanings())
    if new != cpp:
        if "--check" in argv:
            print(f"include/volneda.hpp: its meanings differ from {TSV.relative_to(ROOT)}; run scripts/docs-tables.py")
            stale.append(CPP_HEADER.name)
        else:
            CPP_HEADER.write_text(new, encoding="utf-8")
            print("rewrote the meanings of include/volneda.hpp")
    for page in stale:
        if page.endswith(".md"):
            print(f"docs/{page}: its tables differ from {TSV.relative_to(ROOT)}; run scripts/docs-tables.py")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
