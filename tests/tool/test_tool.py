"""The volneda tool run as a user runs it, on the simulated reader of the examples."""

import json
import os
import re
import shutil
import subprocess

import pytest

TOOL = os.environ.get("VOLNEDA_TOOL", "build/bin/volneda")
EXAMPLES = os.path.join(os.environ.get("VOLNEDA_SOURCE_DIR", "."), "examples")
VERBS = ["readers", "identify", "read", "command", "write", "attr", "watch", "session", "serve", "demo", "version"]
CARTON = "0456000000000007"
MULLER = '<WriteTags><Tag ID="%s"><MEMField MemStart="48">Müller</MEMField></Tag></WriteTags>' % CARTON


@pytest.fixture(autouse=True)
def field(tmp_path, monkeypatch):
    for name in ("rfconfig.ini", "SWTT.INI", "tagfield.ini"):
        shutil.copy(os.path.join(EXAMPLES, name), tmp_path / name)
    monkeypatch.chdir(tmp_path)


def run(*args, stdin=None):
    env = dict(os.environ, TAGDRV_FIELD="tagfield.ini")
    env.pop("RF_RFID_CONFIG", None)
    # The tool carries its own sanitizer runtime, and leaks count there.
    if env.pop("LD_PRELOAD", None):
        env["ASAN_OPTIONS"] = "detect_leaks=1:abort_on_error=1"
    r = subprocess.run([TOOL, *args], input=None if stdin is None else stdin.encode(), capture_output=True,
                       env=env, timeout=60)
    # Decoded by hand: the documents' CR LF line ends stay as they are.
    return subprocess.CompletedProcess(r.args, r.returncode, r.stdout.decode(), r.stderr.decode())


@pytest.mark.parametrize("verb", VERBS)
def test_every_verb_has_help_with_syntax_and_example(verb):
    for args in ([verb, "--help"], ["help", verb]):
        r = run(*args)
        assert r.returncode == 0, r.stderr
        assert r.stdout.startswith("usage: volneda") and verb in r.stdout.splitlines()[0]
        assert "\nExample:\n  " in r.stdout


def test_usage_and_version():
    usage = run("--help")
    assert usage.returncode == 0
    assert all("\n  %s " % verb in usage.stdout for verb in VERBS)
    assert "RF_RFID_CONFIG" in usage.stdout and "Examples:" in usage.stdout
    version = run("--version")
    assert version.returncode == 0 and "VOLNEDA library 1.23" in version.stdout


def test_formats_of_one_read():
    select = ["read", "field(0,1,2) mem(head,0,2,i)", "where", "swtt=0123"]
    xml = run(*select)  # on a pipe XML is the default
    assert xml.stdout.startswith('<ReadTags Reader="DOCK1" TagCount="1"') and xml.stdout.endswith("</ReadTags>\r\n")
    # The same document, but for the second it was made in.
    assert re.sub('Time="[^"]*"', "", run("--format", "xml", *select).stdout) == re.sub('Time="[^"]*"', "", xml.stdout)
    doc = json.loads(run("--format", "json", *select).stdout)
    values = {f["name"]: f["value"] for f in doc["tags"][0]["fields"]}
    assert values == {"Serial": "0123456789ABCDEF", "Product": "WIDGET-A", "Count": 42, "head": 8961}
    assert (doc["reader"], doc["tagCount"], doc["tags"][0]["antenna"]) == ("DOCK1", 1, 1)
    table = run("--format", "table", *select).stdout.splitlines()
    assert table[0].startswith("DOCK1: 1 tag (") and table[1].startswith("0123456789ABCDEF  SWTT 0123456789AB")
    assert table[2].split() == ["FIELD", "NAME", "TYPE", "START", "LEN", "STATUS", "VALUE"]
    assert table[5].split() == ["2", "Count", "Int", "32", "2", "0", "42"]


def test_status_messages_name_level_source_code_and_meaning():
    r = run("read", "field(5)", "where", "swtt=0456")
    assert r.returncode == 0
    assert ("[warning] read -3302 (a requested template field is not defined in the tag's template (a warning)): "
            "Field 5\n") in r.stderr
    assert "[information] open 0 (success): Opening reader...\n" in r.stderr
    assert run("--quiet", "read", "field(5)").stderr == ""


@pytest.mark.parametrize("args, status, says", [
    (["command", "frobnicate"], 1, 'frobnicate: -3201 (the command begins with neither "read" nor "identify")'),
    (["identify", "tagid=12"], 1, "-3205 (a tagid value that is not 16 characters long)"),
    (["write", "missing.xml"], 1, "write missing.xml: -3000 (the write request file named after '@' cannot"),
    (["--reader", "DOCK9", "identify"], 1, "the reader list rfconfig.ini holds: DOCK1, GATE2"),
    (["--config", "none.ini", "readers"], 1, "-3251 (the reader list file cannot be loaded)"),
    (["attr", "get", "Nope"], 1, "-60 (reader driver: Unknown attribute)"),
    (["attr", "get"], 2, "attr get NAME"),
    (["--format", "yaml", "identify"], 2, "unknown format"),
    (["frob"], 2, "no verb 'frob'"),
])
def test_failures_exit_with_the_code_and_its_meaning(args, status, says):
    r = run(*args)
    assert r.returncode == status
    assert says in r.stderr


@pytest.mark.parametrize("select, note", [
    ("feild(1)", "'feild(1)' is neither field(...) nor mem(...)"),
    ("mem(note, 60, 5, s)", "blanks stay part of the name and the type"),
    ("field(1) mem(x,0,2,h)", None),
])
def test_read_notes_select_lists_the_library_would_skip(select, note):
    r = run("read", select)
    assert r.returncode == 0 and (note in r.stderr if note else "note:" not in r.stderr)


def test_session_writes_and_reads_back_on_one_reader():
    lines = ["# a comment", "write --inline " + MULLER, "read mem(name,48,6,s) where tagid=" + CARTON,
             "attr set Label Grüße €", "attr get Label", "frobnicate", "identify"]
    r = run("--format", "json", "session", stdin="\n".join(lines) + "\n")
    assert r.returncode == 1 and "session stopped at line 6" in r.stderr
    out = [json.loads(line) for line in r.stdout.splitlines()]
    assert [o["code"] for o in out] == [0, 0, 0, 0, -3201]  # nothing after the failing line
    assert out[1]["tags"][0]["fields"][0]["value"] == "Müller"
    assert out[3]["value"] == "Grüße €"
    # Each invocation opens the reader afresh: the field is as the file says.
    assert run("--format", "json", "read", "mem(name,48,6,s)").stdout.count("Müller") == 0
    assert run("write", "-", stdin=MULLER).returncode == 0


def test_mueller_round_trip_through_arguments_and_a_persisted_field(tmp_path):
    text = (tmp_path / "tagfield.ini").read_text()
    (tmp_path / "tagfield.ini").write_text(text.replace("persist = 0", "persist = 1"))
    assert run("write", "--inline", MULLER).returncode == 0
    r = run("--format", "table", "read", "mem(n,48,6,s)", "where", "tagid=" + CARTON)
    assert r.returncode == 0 and r.stdout.endswith("  Müller\n")


def test_watch_over_a_changing_field():
    events = [json.loads(line) for line in run("--format", "json", "watch", "--count", "9", "--interval", "5").stdout
              .splitlines()]
    assert [(e["round"], e["event"], e["id"]) for e in events] == [
        (1, "arrive", "0123456789ABCDEF"), (1, "arrive", CARTON), (3, "arrive", "0456000000000012"),
        (5, "arrive", "0123000000000002"), (5, "leave", "0456000000000012"), (9, "leave", "0123000000000002")]
    assert events[4]["timesSeen"] == 2
    text = run("--format", "table", "watch", "--count", "6", "--interval", "5", "field(1)").stdout.splitlines()
    assert text[2].startswith("round 3") and "arrive  0456000000000012" in text[2] and "Weight=750" in text[2]
    assert text[-2].startswith("   0456000000000012") and text[-2].endswith("  2     gone")
