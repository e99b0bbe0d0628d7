"""The volneda tool run as a user runs it, on the simulated reader of the examples."""

import fcntl
import json
import os
import pty
import re
import shutil
import struct
import subprocess
import termios

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


def run(*args, stdin=None, env=None):
    env = dict(os.environ, **dict({"TAGDRV_FIELD": "tagfield.ini"}, **(env or {})))
    env.pop("RF_RFID_CONFIG", None)
    # The tool carries its own sanitizer runtime, and leaks count there.
    if env.pop("LD_PRELOAD", None):
        env["ASAN_OPTIONS"] = "detect_leaks=1:abort_on_error=1"
    feed = {"stdin": stdin} if hasattr(stdin, "fileno") else {"input": None if stdin is None else stdin.encode()}
    r = subprocess.run([TOOL, *args], capture_output=True, env=env, timeout=60, **feed)
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
    (["--reader", "DOCK9", "identify"], 1, "-100 (reader driver: No such reader in the tag field file: name one"),
    (["TAGDRV_FIELD=missing.ini", "identify"], 1, "-101 (reader driver: Tag field file cannot be read: set "
     "TAGDRV_FIELD"),
    # Parse codes give their likely cause for the command at hand.
    (["read", "where", "serial=1"], 1, "-3202 (malformed command: its form breaks the grammar or a limit of the "
     "command language): 'serial' is not a word of the where clause"),
    (["command", "read mem(a,0,4,h,x)"], 1, "mem(a,0,4,h,x) has 5 items; a mem list has four"),
    (["command", "identify tagid=0123456789ABCDEF"], 1, "but no where: identify where tagid=0123456789ABCDEF"),
    (["read", "where", "swtt=12G4"], 1, "-3208 (a swtt value with a character outside '0' to 'F'): 'G' in '12G4'"),
    (["--config", "none.ini", "readers"], 1, "-3251 (the reader list file cannot be loaded)"),
    (["attr", "get", "Nope"], 1, "-60 (reader driver: Unknown attribute)"),
    (["attr", "get"], 2, "attr get NAME"),
    (["--format", "yaml", "identify"], 2, "unknown format"),
    (["frob"], 2, "no verb 'frob'"),
])
def test_failures_exit_with_the_code_and_its_meaning(args, status, says):
    # NAME=VALUE before the verb sets a variable of the environment.
    env = dict(a.split("=", 1) for a in args if a.startswith("TAGDRV_FIELD="))
    r = run(*[a for a in args if not a.startswith("TAGDRV_FIELD=")], env=env)
    assert r.returncode == status
    assert says in r.stderr


@pytest.mark.parametrize("select, note", [
    ("feild(1)", "'feild(1)' is neither field(...) nor mem(...)"),
    ("mem(note, 60, 5, s)", "blanks stay part of the name and the type"),
    ("field(1) mem(x,0,2,h)", None),
    ("where swtt=0456", "read where ... reads no field, only the tags it selects: read * where ... reads every field"),
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
    events = [json.loads(line) for line in run("--format", "json", "watch", "--count", "10", "--interval", "5").stdout
              .splitlines()]
    # The carton is there in rounds 3 and 4, and gone after two rounds without it.
    assert [(e["round"], e["event"], e["id"]) for e in events] == [
        (1, "arrived", "0123456789ABCDEF"), (1, "arrived", CARTON), (3, "arrived", "0456000000000012"),
        (5, "arrived", "0123000000000002"), (6, "left", "0456000000000012"), (10, "left", "0123000000000002")]
    assert events[4]["count"] == 2 and events[4]["reader"] == "DOCK1" and events[4]["time"].endswith("Z")
    text = run("--format", "table", "watch", "--count", "7", "--interval", "5", "field(1)").stdout.splitlines()
    assert text[2].startswith("round 3") and "arrived  0456000000000012" in text[2] and "Weight=750" in text[2]
    assert text[4].startswith("round 6  ") and "left     0456000000000012  (seen 2 times, last at " in text[4]
    assert text[-2].startswith("   0456000000000012") and text[-2].endswith("  2     gone")


def test_demo_says_what_its_watch_shows():
    r = run("demo")
    assert r.returncode == 0, r.stderr
    watch = r.stdout[r.stdout.index("5. A watch of six rounds"):]
    assert "rounds 3 and 4" in watch and "in round 6), a pallet arrives (5):" in watch
    events = [line.split()[1] + " " + line.split()[3] + " " + line.split()[4] for line in watch.splitlines()
              if line.startswith("round ")]
    assert events == ["1 arrived 0123456789ABCDEF", "1 arrived " + CARTON, "3 arrived 0456000000000012",
                      "5 arrived 0123000000000002", "6 left 0456000000000012"]


def test_watch_rules_give_the_shared_events_of_a_changing_field(tmp_path):
    presence = os.path.join(os.environ.get("VOLNEDA_SOURCE_DIR", "."), "tests", "presence")
    with open(os.path.join(presence, "expected.json")) as f:
        expected = json.load(f)
    r = expected["rules"]
    args = ["--arrive", "%d/%d" % (r["arriveSeen"], r["arriveWindow"]), "--leave-rounds", str(r["leaveRounds"])]
    out = run("--format", "json", "watch", "--count", str(expected["rounds"]), "--interval", "5", *args,
              env={"TAGDRV_FIELD": os.path.join(presence, "field.ini")}).stdout
    assert [[e["round"], e["event"], e["id"], e["count"]] for e in map(json.loads, out.splitlines())] == expected["events"]
    # Filters, sightings and departures by time, as options.
    out = run("--format", "json", "watch", "--count", "6", "--interval", "5", "--ids", "0456000000000012,0123000000000002",
              "--swtt", "045600000012", "--seen", "--leave-ms", "1", "field(1)").stdout
    assert [(e["round"], e["event"], e.get("fields", [{}])[0].get("value")) for e in map(json.loads, out.splitlines())] == [
        (3, "arrived", 750), (4, "seen", 750), (5, "left", None)]


@pytest.mark.parametrize("args, says", [
    (["watch", "--arrive", "3/2"], "--arrive needs N/M"),
    (["watch", "--leave-rounds", "0"], "the watch rules: leaveRounds and leaveMs cannot both be 0"),
    (["identify", "--seen"], "belong to watch"),
])
def test_watch_rules_that_cannot_work_are_refused(args, says):
    r = run(*args)
    assert r.returncode == 2 and says in r.stderr


@pytest.mark.parametrize("args, stdin, says", [
    (["session", "pipe"], None, "session: cannot read pipe: it is a named pipe, not a regular file"),
    (["write", "pipe"], None, "write pipe: cannot read pipe: it is a named pipe, not a regular file"),
    (["--config", "pipe", "readers"], None, "cannot read the reader list pipe: it is a named pipe"),
    (["session", "/dev/zero"], None, "cannot read /dev/zero: it is a device, not a regular file"),
    (["write", "big.xml"], None, "cannot read big.xml: it is larger than 16 MiB"),
    (["write", "-"], "/dev/zero", "write -: standard input holds more than 16 MiB"),
    (["session", "-"], "/dev/zero", "session: line 1 is longer than 16 MiB"),
    (["identify"], None, "-102 (reader driver: Tag field file is not a regular file (a pipe or a device)"),
])
def test_input_that_is_no_file_or_too_large_is_refused_at_once(tmp_path, args, stdin, says):
    os.mkfifo(tmp_path / "pipe")
    with open(tmp_path / "big.xml", "wb") as f:
        f.truncate((16 << 20) + 1)
    with open(stdin or os.devnull, "rb") as feed:
        r = run(*args, stdin=feed, env={"TAGDRV_FIELD": "pipe"} if args == ["identify"] else None)
    assert r.returncode == 1 and says in r.stderr


LODZ = "Łódź 日本"


@pytest.mark.parametrize("args, stdin", [
    (["write", "--inline", MULLER.replace("Müller", LODZ)], None),
    (["write", "-"], MULLER.replace("Müller", "&#x141;ód&#378; 日本")),
    (["attr", "set", "Label", LODZ], None),
    (["read", "mem(%s,48,6,s)" % LODZ], None),
])
def test_text_the_code_page_cannot_hold_is_refused_unless_lossy(args, stdin):
    r = run("--quiet", *args, stdin=stdin)
    assert r.returncode == 1 and "code page (Windows-1252) cannot hold 'Ł' (U+0141)" in r.stderr
    assert "'ź' (U+017A)" in r.stderr and "'ó'" not in r.stderr and "--lossy" in r.stderr
    lossy = run("--lossy", *args, stdin=stdin)
    assert lossy.returncode == 0 and "volneda: warning: " in lossy.stderr and "stores '?'" in lossy.stderr


def test_trim_drops_the_blanks_that_pad_strings():
    lines = ['write --inline <WriteTags><Tag ID="%s"><MEMField MemStart="48" MemLen="12">Hi</MEMField></Tag>'
             '</WriteTags>' % CARTON, "read mem(n,48,12,s) where tagid=" + CARTON]
    for options, value in ([], "Hi          "), (["--trim"], "Hi"):
        r = run("--format", "json", *options, "session", stdin="\n".join(lines) + "\n")
        assert json.loads(r.stdout.splitlines()[1])["tags"][0]["fields"][0]["value"] == value


def screens_of_a_watch(columns, terminal):
    """A live watch of 12 rounds on a terminal `terminal` columns wide; COLUMNS set when `columns`."""
    leader, follower = pty.openpty()
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 40, terminal, 0, 0))
    env = dict(os.environ, TAGDRV_FIELD="tagfield.ini")
    env.pop("COLUMNS", None)
    env.update({"COLUMNS": str(columns)} if columns else {})
    p = subprocess.Popen([TOOL, "watch", "--count", "12", "--interval", "5"], stdout=follower,
                         stderr=subprocess.DEVNULL, env=env)
    os.close(follower)
    out = b""
    while True:
        try:
            chunk = os.read(leader, 65536)
        except OSError:  # the tool has ended
            break
        if not chunk:
            break
        out += chunk
    assert p.wait(timeout=60) == 0
    os.close(leader)
    return [s.replace("\r", "").split("\n") for s in out.decode().split("\x1b[H\x1b[2J")[1:]]


@pytest.mark.parametrize("columns, terminal", [(None, 60), (60, 200), (None, 120)])
def test_live_watch_fits_the_terminal_and_keeps_its_columns(columns, terminal):
    screens = screens_of_a_watch(columns, terminal)
    assert len(screens) == 12
    width = columns or terminal
    assert max(len(line) for screen in screens for line in screen) <= width
    # The title and every row's state keep their places, in rounds 9 and 10 alike.
    assert len({screen[0].index("in the field") for screen in screens}) == 1
    state = screens[0][2].index("STATE")
    for screen in screens:
        assert screen[2].index("STATE") == state
        for row in filter(None, screen[3:]):
            assert row[state:].split()[0] in ("in", "arrived", "left", "gone")


def test_watch_events_keep_their_columns_past_round_nine():
    events = run("watch", "--count", "12", "--interval", "5").stdout.splitlines()
    assert events[-1].startswith("round 11") and len({re.search("arrived|left", e).start() for e in events}) == 1
