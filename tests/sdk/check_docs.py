#!/usr/bin/env python3
"""Checks the user documentation against the library.

    check_docs.py SOURCE-DIR LIBVOLNEDA

Fails when include/volneda.h lacks the constant of a result code or gives
it another value; when docs/ lacks a result code, a status message, a
command form, a document element or attribute, a file key or an exported
function; when the generated tables or constants differ from
src/meanings/meanings.tsv; when a relative link or its #section leads
nowhere, or docs/README.md does not link a page; and when a command or
write request that the docs name as the cause of an error code gives
another code when run against the simulated reader (run from a directory
holding the example reader list, templates and tag field).

    check_docs.py --links DIR [PREFIX]

Checks only the relative links of every Markdown file under DIR (an
installed documentation directory): each leads to a file or directory, and
each #section to a heading; with PREFIX (where the SDK was installed), also
that every path under /usr the pages name is there under PREFIX.
"""
import ctypes
import pathlib
import re
import runpy
import sys
import types


def slug(heading):
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def link_failures(sources, skip=()):
    """Relative links of the Markdown files that lead nowhere, and #sections
    without their heading; targets named in skip may be missing."""
    found = []
    for source in sources:
        for target, anchor in re.findall(r"\]\(([^)#:]*)(?:#([^)]*))?\)", source.read_text(encoding="utf-8")):
            path = (source.parent / target).resolve() if target else source
            if path.name in skip and not path.exists():
                continue
            if not path.exists():
                found.append(f"{source}: link to missing {target}")
            elif anchor and path.suffix == ".md":
                headings = re.findall(r"^#+ (.*)$", path.read_text(encoding="utf-8"), re.M)
                if anchor not in {slug(h) for h in headings}:
                    found.append(f"{source}: link to missing section {target}#{anchor}")
    return found


def install_path_failures(sources, prefix):
    """Paths of the SDK under /usr that the pages name (up to a wildcard or
    a brace) and that the install under prefix lacks."""
    found = []
    for source in sources:
        for path in set(re.findall(r"/usr/([\w./-]*\w)", source.read_text(encoding="utf-8"))):
            if re.search("volneda|tagdrv", path) and not (prefix / path).exists():
                found.append(f"{source}: names /usr/{path}, which the install does not hold")
    return found


if sys.argv[1] == "--links":
    pages = sorted(pathlib.Path(sys.argv[2]).rglob("*.md"))
    problems = link_failures(pages)
    if len(sys.argv) > 3:
        problems += install_path_failures(pages, pathlib.Path(sys.argv[3]))
    for f in problems:
        print(f)
    print(f"{len(problems)} problems in the links of {len(pages)} pages")
    sys.exit(1 if problems or not pages else 0)

ROOT = pathlib.Path(sys.argv[1]).resolve()
DOCS = ROOT / "docs"
# Pages that come with the tool, the Java layer and the Python package.
PAGES_OF_THE_TOOLS = {"tool.md", "java-layer.md", "python.md"}

tables = types.SimpleNamespace(**runpy.run_path(str(ROOT / "scripts" / "docs-tables.py")))

failures = []


def page(name):
    return (DOCS / name).read_text(encoding="utf-8")


def require(name, items, form="`{}`"):
    text = page(name)
    for item in items:
        if form.format(item) not in text:
            failures.append(f"docs/{name}: missing {form.format(item)}")


# Every code, level, source and message of the TSV, as generated rows.
generated = tables.tables(tables.read_meanings())
for name, kinds in (("result-codes.md", ["codes"]), ("status-messages.md", ["levels", "sources", "messages"])):
    text = page(name)
    if tables.render(text, generated) != text:
        failures.append(f"docs/{name}: tables differ from meanings.tsv (run scripts/docs-tables.py)")
    for kind in kinds:
        for row in generated[kind][2:]:
            if row + "\n" not in text:
                failures.append(f"docs/{name}: no row {row}")

# Every code of the TSV has its constant in volneda.h, with the same value.
header = (ROOT / "include" / "volneda.h").read_text(encoding="utf-8")
defined = {name: int(value) for name, value in
           re.findall(r"^#define (VOLNEDA_\w+) \(?(-?\d+)\)?$", header, re.M)}
for code, name, _, _ in tables.read_meanings()["code"]:
    constant = tables.constant_name(name)
    if defined.get(constant) != int(code):
        failures.append(f"include/volneda.h: {constant} is {defined.get(constant)}, not {code}")
if tables.render_header(header, tables.read_meanings()) != header:
    failures.append("include/volneda.h: result codes differ from meanings.tsv (run scripts/docs-tables.py)")
cpp_header = (ROOT / "include" / "volneda.hpp").read_text(encoding="utf-8")
if tables.render_cpp_header(cpp_header, tables.read_meanings()) != cpp_header:
    failures.append("include/volneda.hpp: meanings differ from meanings.tsv (run scripts/docs-tables.py)")

exports = [line.strip() for line in (ROOT / "src" / "exports.list").read_text().splitlines()
           if re.fullmatch(r"[A-Za-z]\w*", line.strip())]
require("c-reference.md", exports, "{}(")

require("commands.md", ["identify", "identify where ...", "read", "read *", "read where ...",
                        "read field(...)", "read mem(...)"], "### `{}`")
require("commands.md", ["where swtt=0123", "where tagid=0123456789ABCDEF", "and", "h", "i", "s"])
require("documents.md", [
    "IdentifyTags", "ReadTags", "WriteTags", "Tag", "Field", "SWTT", "SWTTField", "MEMField", "DTField",
    "Reader", "TagCount", "Date", "Time", "ApiVersion", "ID", "HWTAGTYPE", "Antenna", "NrFields", "Type",
    "EntryNr", "SWTTmask", "Name", "DataType", "DataStart", "DataLen", "FieldStatus", "Warning",
    "FieldDoesNotExist", "MEM", "Hex", "Int", "String", "Locked", "MemStart", "MemLen", "MemType",
    "HEX", "H", "HEXADECIMAL", "INT", "I", "INTEGER", "STRING", "S", "STR", "TRUE", "FALSE",
    "MMDDYYYY", "HH:MM:SS"])
require("documents.md", ["CR LF"], "**{}**")
require("file-formats.md", ["ID", "f_00", "f_15", "name,start,length,type", "h", "i", "s", "x",
                            "RF_RFID_CONFIG", "rfconfig.ini", "RFID_SWTT_FILE_NAME", "SWTT.INI",
                            "/SWTT.INI", "\\SWTT.INI", "C:\\cfg\\\\SWTT.INI", "/etc/volneda//SWTT.INI"])


# Relative links, and their #sections, lead somewhere; the index links
# every page.
failures += link_failures(sorted(DOCS.glob("*.md")) + [ROOT / "README.md"], PAGES_OF_THE_TOOLS)
indexed = set(re.findall(r"\]\(([\w.-]+\.md)\)", page("README.md")))
failures += [f"docs/README.md: no link to {p.name}" for p in sorted(DOCS.glob("*.md"))
             if p.name != "README.md" and p.name not in indexed]

# The error tables: each documented cause gives its code.
lib = ctypes.CDLL(sys.argv[2])


def w(text):
    return ctypes.create_string_buffer(text.encode("utf-16-le") + b"\0\0")


def causes(name, heading):
    section = page(name).split(heading, 1)[1].split("\n#", 1)[0]
    return re.findall(r"^\| (-3\d\d\d) \| `([^`]*)` \|", section, re.M)


handle = ctypes.c_void_p()
lib.VOLNEDA_StartAll(ctypes.byref(handle), w("./rfconfig.ini"))
lib.StartDispatcher(handle)
if lib.VOLNEDA_Open(handle, w("DOCK1")) != 0:
    failures.append("the simulated reader DOCK1 does not open here")
length, count = ctypes.c_int32(), ctypes.c_int32()
checked = 0
for name, heading, run in (
        ("commands.md", "## Errors", lambda t: lib.VOLNEDA_Command(handle, w(t), ctypes.byref(length), ctypes.byref(count))),
        ("documents.md", "### Errors of a write request", lambda t: lib.VOLNEDA_Write(handle, w(t)))):
    rows = causes(name, heading)
    if not rows:
        failures.append(f"docs/{name}: no error table under {heading}")
    for code, cause in rows:
        got = run(cause)
        checked += 1
        if got != int(code):
            failures.append(f"docs/{name}: `{cause}` gives {got}, not {code}")
lib.VOLNEDA_Close(handle)
lib.StopDispatcher(handle)
lib.VOLNEDA_StopAll(ctypes.byref(handle))

for f in failures:
    print(f)
print(f"{len(failures)} problems; {checked} documented error causes run")
sys.exit(1 if failures else 0)
