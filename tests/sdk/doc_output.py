#!/usr/bin/env python3
"""Runs an example and compares what it prints with its session in a page.

    doc_output.py PAGE FIRST-LINE COMMAND...

The page holds the session as a fenced block whose first line is
FIRST-LINE (the command as a user types it, "$ ..."); the lines after it
are what COMMAND must print on standard output, exactly.
"""
import re
import subprocess
import sys

page, first, command = sys.argv[1], sys.argv[2], sys.argv[3:]
with open(page, encoding="utf-8") as f:
    blocks = re.findall(r"^```[^\n]*\n(.*?)^```", f.read(), re.M | re.S)
sessions = [b.splitlines()[1:] for b in blocks if b.splitlines() and b.splitlines()[0] == first]
if len(sessions) != 1:
    sys.exit("%s: %d blocks begin with %r, not one" % (page, len(sessions), first))
run = subprocess.run(command, capture_output=True, text=True, timeout=120)
if run.returncode != 0 or run.stdout.splitlines() != sessions[0]:
    sys.exit("%s: the session of %r differs from what the example prints (status %d):\n%s%s"
             % (page, first, run.returncode, run.stdout, run.stderr))
print("%s: %d lines as printed" % (page, len(sessions[0])))
