"""Names of status levels and sources, meanings of result codes.

They come from the table that the library's documentation is made from,
``meanings.tsv``, shipped inside this package (in a source tree, the one
under ``src/meanings``).
"""

import os

_HERE = os.path.dirname(os.path.abspath(__file__))
_LEVELS, _SOURCES, _CODES = {}, {}, {}


def _load():
    for path in (os.path.join(_HERE, "meanings.tsv"),
                 os.path.join(_HERE, os.pardir, os.pardir, "src", "meanings", "meanings.tsv")):
        try:
            with open(path, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except OSError:
            continue
        for line in lines:
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) < 4:
                continue
            try:
                number = int(fields[1])
            except ValueError:
                continue
            if fields[0] == "level":
                _LEVELS[number] = fields[2]
            elif fields[0] == "source":
                _SOURCES[number] = fields[2]
            elif fields[0] == "code":
                _CODES[number] = fields[3]
        return


_load()


def level_name(level):
    """The name of a status level: 'information', 'warning', 'error', 'critical'."""
    return _LEVELS.get(level, "level %d" % level)


def source_name(source):
    """The name of the operation that posts a status message, e.g. 'identify'."""
    return _SOURCES.get(source, "source %d" % source)


def code_meaning(code):
    """The meaning of a result code; other negative codes are the reader driver's."""
    if code in _CODES:
        return _CODES[code]
    return "a status of the reader driver" if code < 0 else "not a result code"


def is_library_code(code):
    """Whether the library's own table lists the code."""
    return code in _CODES
