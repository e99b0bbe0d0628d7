"""Driver traces: a session over the simulated reader recorded by the driver host, read back with
volneda trace, and turned into a tag field file that replays the same results."""

import json
import os
import re
import shutil
import subprocess

import pytest

TOOL = os.environ.get("VOLNEDA_TOOL", "build/bin/volneda")
EXAMPLES = os.path.join(os.environ.get("VOLNEDA_SOURCE_DIR", "."), "examples")
CARTON = "0456000000000007"
SESSION = "\n".join([
    "identify",
    "read field(0,1) where swtt=0123",
    'write --inline <WriteTags><Tag ID="%s"><MEMField MemStart="48">Hello</MEMField></Tag></WriteTags>' % CARTON,
    "read mem(x,48,5,s) where tagid=%s" % CARTON,
    "identify", "identify", "identify", "identify",
]) + "\n"


@pytest.fixture(autouse=True)
def field(tmp_path, monkeypatch):
    for name in ("rfconfig.ini", "SWTT.INI", "tagfield.ini"):
        shutil.copy(os.path.join(EXAMPLES, name), tmp_path / name)
    monkeypatch.chdir(tmp_path)


def run(*args, field="tagfield.ini", config=None, stdin=None):
    env = dict(os.environ, TAGDRV_FIELD=field)
    env.pop("RF_RFID_CONFIG", None)
    env.pop("TAGDRV_CONFIG", None)
    if config:
        with open("tagdrv.ini", "w") as f:
            f.write(config)
        env["TAGDRV_CONFIG"] = os.path.abspath("tagdrv.ini")
    if env.pop("LD_PRELOAD", None):
        env["ASAN_OPTIONS"] = "detect_leaks=1:abort_on_error=1"
    r = subprocess.run([TOOL, "--config", "./rfconfig.ini", "--format", "xml", *args], capture_output=True,
                       input=None if stdin is None else stdin.encode(), env=env, timeout=60)
    return subprocess.CompletedProcess(r.args, r.returncode, r.stdout.decode(), r.stderr.decode())


def session(**kw):
    r = run("session", "-", stdin=SESSION, **kw)
    assert r.returncode == 0, r.stderr
    # The documents without the moment they were made in.
    return re.sub(r' (Date|Time)="[^"]*"', "", r.stdout)


def calls(path):
    with open(path) as f:
        return [json.loads(line) for line in f]


def test_trace_records_every_call_with_its_data():
    session(config="[reader DOCK1]\ntrace = dock1.trace\n[default]\n")
    trace = calls("dock1.trace")
    assert [c["seq"] for c in trace] == list(range(1, len(trace) + 1))
    fns = [c["fn"] for c in trace]
    assert fns[:3] == ["G4Open", "RFIDAllocateControl", "G4GetAttr"] and fns[-2:] == ["RFIDFreeControl", "G4Close"]
    assert fns.count("G4Identify") == 8 and fns.count("G4Read") == 2 and fns.count("G4Write") == 1
    assert all(c["reader"] == "DOCK1" and {"t", "dur", "thread", "handle"} <= set(c) for c in trace)
    assert len({c["handle"] for c in trace}) == 1  # the open's handle is the one every call gets
    assert trace[2]["name"] == "RFID_SWTT_FILE_NAME" and trace[2]["value"] == "SWTT.INI"
    first = next(c for c in trace if c["fn"] == "G4Identify")
    assert [(t["id"], t["swtt"], t["antenna"]) for t in first["tags"]] == [
        ("0123456789ABCDEF", "0123456789AB", 1), (CARTON, "045600000007", 2)]
    write = next(c for c in trace if c["fn"] == "G4Write")
    assert write["tags"][0]["fields"][0] == {"slot": 0, "start": 48, "length": 5, "kind": 0, "status": 0,
                                             "data": "Hello".encode().hex().upper()}
    read_back = [c for c in trace if c["fn"] == "G4Read"][-1]
    assert read_back["tags"][0]["fields"][0]["data"] == write["tags"][0]["fields"][0]["data"]

    table = run("trace", "dock1.trace").stdout
    assert re.search(r"G4Write tags 0\.\.\d, 1 slots +ret 0, %s: \[48\+5\] 48656C6C6F" % CARTON, table)
    assert re.search(r"\nG4Identify +8 ", table)
    assert run("--format", "json", "trace", "dock1.trace").stdout == open("dock1.trace").read()


def test_diffable_traces_of_two_runs_are_equal_and_hide_data():
    config = "[reader DOCK1]\ntrace = %s\ntrace.form = diffable\ntrace.data = hide\n"
    session(config=config % "one.trace")
    session(config=config % "two.trace")
    one, two = open("one.trace").read(), open("two.trace").read()
    assert one == two
    assert not any({"t", "dur", "thread", "handle", "data"} & set(c) for c in calls("one.trace"))
    assert '"data"' not in one and '"length":5' in one


def test_a_converted_trace_replays_the_same_session():
    original = session(config="[reader DOCK1]\ntrace = dock1.trace\n")
    field = run("trace", "--to-field", "dock1.trace")
    assert field.returncode == 0, field.stderr
    with open("replay.ini", "w") as f:
        f.write(field.stdout)
    assert "present = 3-4" in field.stdout  # the carton that came and went
    replayed = session(field="replay.ini")
    assert replayed == original
    assert replayed.count("<Tag ID=") == original.count("<Tag ID=") > 10


@pytest.mark.parametrize("content, problem", [
    ("not json\n", "dock1.trace:1: not a trace line"),
    (None, "trace file not found: dock1.trace"),
])
def test_bad_traces(content, problem):
    if content is not None:
        with open("dock1.trace", "w") as f:
            f.write(content)
    r = run("trace", "dock1.trace")
    assert r.returncode == 1 and problem in r.stderr
