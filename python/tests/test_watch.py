"""Presence: the shared cases of tests/presence, and a Watch on the simulated reader."""

import datetime
import json
import os
import shutil
import threading
import time

import pytest

import volneda
from volneda.reader import Tag

SOURCE = os.environ.get("VOLNEDA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
PRESENCE = os.path.join(SOURCE, "tests", "presence")
with open(os.path.join(PRESENCE, "cases.json")) as f:
    CASES = json.load(f)["cases"]
START = datetime.datetime(2026, 12, 8, 12, tzinfo=datetime.timezone.utc)


def ms(t):
    return round((t - START).total_seconds() * 1000)


@pytest.mark.parametrize("case", CASES, ids=[c["name"][:40] for c in CASES])
def test_shared_case(case):
    tracker = volneda.PresenceTracker(volneda.PresenceRules.from_dict(case["rules"]))
    got = []
    for r in case["rounds"]:
        tags = [Tag(t["id"], t.get("swtt", ""), "", t.get("antenna")) for t in r["tags"]]
        now = START + datetime.timedelta(milliseconds=r["t"])
        for e in tracker.update(tags, now):
            assert e.time == now
            got.append({"round": e.round, "event": e.event, "id": e.id, "count": e.count, "swtt": e.swtt,
                        "firstSeen": ms(e.first_seen), "lastSeen": ms(e.last_seen), "antenna": e.antenna})
    assert [{k: g[k] for k in want} for g, want in zip(got, case["events"])] == case["events"]
    assert len(got) == len(case["events"])


@pytest.mark.parametrize("rules, problem", [
    ({"arriveSeen": 2}, "arriveSeen must be 1 to arriveWindow"),
    ({"leaveRounds": 0}, "leaveRounds and leaveMs cannot both be 0"),
    ({"leaveRound": 3}, 'unknown watch rule "leaveRound"'),
    ({"reportSeen": 1}, 'watch rule "reportSeen" has an unusable value'),
])
def test_rules_that_cannot_work_are_named(rules, problem):
    with pytest.raises(ValueError, match=problem):
        volneda.PresenceRules.from_dict(rules)


@pytest.fixture
def field(tmp_path, monkeypatch):
    examples = os.path.join(SOURCE, "examples")
    for name in ("rfconfig.ini", "SWTT.INI"):
        shutil.copy(os.path.join(examples, name), tmp_path / name)
    shutil.copy(os.path.join(PRESENCE, "field.ini"), tmp_path / "field.ini")
    monkeypatch.chdir(tmp_path)
    monkeypatch.setenv("TAGDRV_FIELD", "field.ini")
    monkeypatch.delenv("RF_RFID_CONFIG", raising=False)
    yield
    assert not any(t.name == "volneda-watch" and t.is_alive() for t in threading.enumerate())


def test_the_changing_field_gives_the_shared_events(field):
    with open(os.path.join(PRESENCE, "expected.json")) as f:
        expected = json.load(f)
    rules = volneda.PresenceRules.from_dict(dict(expected["rules"], interval=5))
    with volneda.Reader() as reader, volneda.Watch(reader, "field(0)", count=expected["rounds"], rules=rules) as w:
        events = list(w)
    assert [[e.round, e.event, e.id, e.count] for e in events] == expected["events"]
    first = events[0].as_dict()
    assert list(first) == ["event", "reader", "round", "time", "id", "swtt", "type", "antenna", "firstSeen",
                           "lastSeen", "count", "fields"]
    assert first["reader"] == "DOCK1" and first["fields"][0]["value"] == "0456000000000101"
    assert "fields" not in events[2].as_dict() and first["time"].endswith("Z")


def test_a_watch_stops_within_its_round_and_calls_back(field):
    got = []
    with volneda.Reader() as reader:
        watch = volneda.Watch(reader, on_event=got.append, interval=60000, report_seen=True)
        while watch.round < 1:
            time.sleep(0.01)
        started = time.monotonic()
        watch.stop()
        assert time.monotonic() - started < 1 and watch.wait(0)
        assert [e.id for e in got] == ["0456000000000101", "0456000000000103"] and watch.next_event(0) is None
        with pytest.raises(ValueError, match="leaveRounds and leaveMs cannot both be 0"):
            volneda.Watch(reader, leave_rounds=0)
    # A round that fails ends the watch, and the iteration says why.
    with pytest.raises(ValueError, match="the reader is closed"):
        list(volneda.Watch(reader))
