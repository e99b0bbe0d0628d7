"""Presence: which tags arrive in a reader's field, which stay, which leave.

    with volneda.Reader("DOCK1", config="rfconfig.ini") as reader:
        with volneda.Watch(reader, interval=500, leave_rounds=3) as watch:
            for event in watch:
                print(event.round, event.event, event.id, event.count)

A Watch runs an identify (or, with `select`, a read) every `interval`
milliseconds on a thread of its own and hands each round's tags to a
PresenceTracker, whose rules and defaults are those of the tool's watch,
the console and the Java layer (docs/presence.md): a tag arrives when seen
in `arrive_seen` of the latest `arrive_window` rounds, and leaves after
`leave_rounds` rounds in a row unseen, or `leave_ms` milliseconds, whichever
comes first.  PresenceEvent.as_dict() gives an event under the JSON names
of the other front ends.
"""

import datetime
import json
import queue
import threading
from dataclasses import dataclass, field as dc_field, fields as dc_fields
from typing import Callable, Iterator, List, Optional, Sequence, Tuple

from .reader import Tag

ARRIVED, SEEN, LEFT = "arrived", "seen", "left"
_DAY_MS = 86400000


@dataclass
class PresenceRules:
    """The rules of a watch; the JSON names are in camelCase (as_dict)."""

    interval: int = 500         # "interval": ms from the start of one round to the next
    arrive_seen: int = 1        # "arriveSeen": sightings that make a tag arrive ...
    arrive_window: int = 1      # "arriveWindow": ... within this many latest rounds (at most 64)
    leave_rounds: int = 2       # "leaveRounds": unseen rounds in a row after which a tag leaves (0: by time only)
    leave_ms: int = 0           # "leaveMs": ms unseen after which a tag leaves (0: by rounds only)
    report_seen: bool = False   # "reportSeen": a "seen" event for every later sighting
    swtt: Sequence[str] = ()    # "swtt": the SWTT values kept (empty: all)
    ids: Sequence[str] = ()     # "ids": the tag IDs kept (empty: all)

    _NAMES = {"interval": "interval", "arriveSeen": "arrive_seen", "arriveWindow": "arrive_window",
              "leaveRounds": "leave_rounds", "leaveMs": "leave_ms", "reportSeen": "report_seen",
              "swtt": "swtt", "ids": "ids"}

    def problem(self) -> Optional[str]:
        """None when the rules are usable, else what is wrong with them."""
        if self.interval < 0:
            return "interval must be 0 or more"
        if not 1 <= self.arrive_window <= 64:
            return "arriveWindow must be 1 to 64"
        if not 1 <= self.arrive_seen <= self.arrive_window:
            return "arriveSeen must be 1 to arriveWindow"
        if self.leave_ms < 0:
            return "leaveMs must be 0 or more"
        if self.leave_rounds == 0 and self.leave_ms == 0:
            return "leaveRounds and leaveMs cannot both be 0"
        return None

    def as_dict(self) -> dict:
        return {name: list(getattr(self, attr)) if name in ("swtt", "ids") else getattr(self, attr)
                for name, attr in self._NAMES.items()}

    @classmethod
    def from_dict(cls, d: dict) -> "PresenceRules":
        """Rules from their JSON names (the rest default); ValueError names an
        unknown key or a value that cannot be used."""
        rules = cls()
        for name, value in d.items():
            if name not in cls._NAMES:
                raise ValueError('unknown watch rule "%s"' % name)
            limit = {"arriveSeen": 64, "arriveWindow": 64, "leaveRounds": 1000000}.get(name, _DAY_MS)
            if name in ("swtt", "ids"):
                ok = isinstance(value, list) and all(isinstance(x, str) for x in value)
            elif name == "reportSeen":
                ok = isinstance(value, bool)
            else:
                ok = isinstance(value, int) and not isinstance(value, bool) and 0 <= value <= limit
            if not ok:
                raise ValueError('watch rule "%s" has an unusable value' % name)
            setattr(rules, cls._NAMES[name], value)
        if rules.problem():
            raise ValueError(rules.problem())
        return rules


def utc_time(t: datetime.datetime) -> str:
    """'2026-12-08T12:00:00.123Z'."""
    t = t.astimezone(datetime.timezone.utc)
    return t.strftime("%Y-%m-%dT%H:%M:%S.") + "%03dZ" % (t.microsecond // 1000)


@dataclass(frozen=True)
class PresenceEvent:
    """What a round changed for one tag."""

    event: str                  # "arrived", "seen" or "left"
    id: str
    swtt: str
    type: str                   # the hardware tag type; "" when not reported
    antenna: Optional[int]      # None when not reported
    round: int                  # the round (from 1) that decided the event
    time: datetime.datetime     # when that round ended (UTC)
    first_seen: datetime.datetime  # the first sighting of this stay
    last_seen: datetime.datetime   # the latest sighting
    count: int                  # the rounds of this stay that saw the tag
    reader: str = ""
    tag: Optional[Tag] = None   # the sighting behind an arrival or a "seen" (None for "left")
    with_fields: bool = dc_field(default=False, repr=False)  # the watch's rounds are reads

    def as_dict(self) -> dict:
        """The event under the JSON names of the tool's watch and the console."""
        d = {"event": self.event, "reader": self.reader, "round": self.round, "time": utc_time(self.time),
             "id": self.id, "swtt": self.swtt}
        if self.type:
            d["type"] = self.type
        if self.antenna is not None:
            d["antenna"] = self.antenna
        d.update(firstSeen=utc_time(self.first_seen), lastSeen=utc_time(self.last_seen), count=self.count)
        if self.with_fields and self.tag is not None:
            d["fields"] = [_field_dict(f) for f in self.tag.fields]
        return d

    def to_json(self) -> str:
        return json.dumps(self.as_dict(), ensure_ascii=False)


def _field_dict(f) -> dict:
    d = {"type": f.kind} if f.kind else {}
    if f.entry_nr is not None:
        d["entryNr"] = f.entry_nr
    if f.warning:
        d["warning"] = f.warning
        return d
    if f.swtt_mask:
        d["swttMask"] = f.swtt_mask
    d.update(name=f.name, dataType=f.data_type)
    for key, value in (("dataStart", f.data_start), ("dataLen", f.data_len), ("fieldStatus", f.field_status)):
        if value is not None:
            d[key] = value
    d["value"] = f.value
    return d


class _Tracked:
    __slots__ = ("id", "swtt", "type", "antenna", "tag", "window", "last_round", "count", "first_seen",
                 "last_seen", "present", "seen_now")

    def __init__(self, tag_id):
        self.id, self.swtt, self.type, self.antenna, self.tag = tag_id, "", "", None, None
        self.window = self.last_round = self.count = 0
        self.first_seen = self.last_seen = None
        self.present = self.seen_now = False


class PresenceTracker:
    """Applies the rules to one round after another (the rules of docs/presence.md)."""

    def __init__(self, rules: Optional[PresenceRules] = None, reader: str = "", with_fields: bool = False):
        self.rules = rules or PresenceRules()
        problem = self.rules.problem()
        if problem:
            raise ValueError(problem)
        self.round = 0
        self._reader, self._with_fields = reader, with_fields
        self._tracked: List[_Tracked] = []   # in the order first tracked
        self._index = {}                     # ID -> place in _tracked
        self._round_times = []               # [k]: when the round k rounds ago ended
        self._swtt = {s.lower() for s in self.rules.swtt}
        self._ids = {s.lower() for s in self.rules.ids}

    def present(self) -> List[str]:
        """The IDs of the tags present now, in the order first tracked."""
        return [t.id for t in self._tracked if t.present]

    def update(self, tags: Sequence[Tag], now: datetime.datetime) -> List[PresenceEvent]:
        """One round: the tags it reported, in its order, and when it ended."""
        self.round += 1
        window = self.rules.arrive_window
        self._round_times.insert(0, now)
        del self._round_times[window:]
        mask = (1 << window) - 1
        for t in self._tracked:
            t.window = (t.window << 1) & mask  # bit 0 is the round being decided
            t.seen_now = False
        arrivals, sightings, departures = [], [], []
        for tag in tags:
            if (self._ids and tag.id.lower() not in self._ids) or (self._swtt and tag.swtt.lower() not in self._swtt):
                continue
            t = self._tracked[self._index[tag.id]] if tag.id in self._index else None
            if t is None:
                self._index[tag.id] = len(self._tracked)
                t = _Tracked(tag.id)
                self._tracked.append(t)
            elif t.seen_now:
                continue  # reported twice in one round: the first report holds
            t.seen_now = True
            t.window |= 1
            t.swtt, t.type, t.antenna, t.tag = tag.swtt, tag.hw_tag_type, tag.antenna, tag
            t.last_seen, t.last_round = now, self.round
            if t.present:
                t.count += 1
                if self.rules.report_seen:
                    sightings.append(self._event(SEEN, t, now, tag))
            elif bin(t.window).count("1") >= self.rules.arrive_seen:
                t.present = True
                t.count = bin(t.window).count("1")
                t.first_seen = self._round_times[min(t.window.bit_length() - 1, len(self._round_times) - 1)]
                arrivals.append(self._event(ARRIVED, t, now, tag))
        kept = []
        for t in self._tracked:
            if t.present and not t.seen_now:
                by_rounds = self.rules.leave_rounds > 0 and self.round - t.last_round >= self.rules.leave_rounds
                by_time = self.rules.leave_ms > 0 and now - t.last_seen >= datetime.timedelta(
                    milliseconds=self.rules.leave_ms)
                if by_rounds or by_time:
                    t.present = False
                    departures.append(self._event(LEFT, t, now, None))
            # A tag that has left and has no sighting inside the window is forgotten.
            if t.present or t.window:
                kept.append(t)
        if len(kept) != len(self._tracked):
            self._tracked = kept
            self._index = {t.id: i for i, t in enumerate(kept)}
        return arrivals + sightings + departures

    def _event(self, kind, t, now, tag):
        return PresenceEvent(kind, t.id, t.swtt, t.type, t.antenna, self.round, now, t.first_seen, t.last_seen,
                             t.count, self._reader, tag, self._with_fields)


_END = object()


class Watch:
    """Rounds on a reader at an interval, as presence events.

        Watch(reader, select=None, where=None, on_event=None, count=0, rules=None,
              interval=500, arrive_seen=1, arrive_window=1, leave_rounds=2, leave_ms=0,
              report_seen=False, swtt=(), ids=())

    Each round is an identify (`where`: 'swtt=MASK' or 'tagid=ID'), or with
    `select` a read of those fields (the events then carry the tag with its
    fields).  The watch starts at once, on a daemon thread of its own, and
    runs `count` rounds (0: until stopped).  Events go to on_event (called
    on the watch's thread; it must not call the reader's close) or, without
    it, to the iteration: `for event in watch` blocks until the next event
    and ends when the watch has ended; next_event(timeout) waits at most
    `timeout` seconds.  A round that fails ends the watch, and the iteration
    raises its VolnedaError.  stop() (and leaving a `with` block) ends the
    watch within the round under way; it never waits an interval out.
    """

    def __init__(self, reader, select: Optional[str] = None, where: Optional[str] = None,
                 on_event: Optional[Callable[[PresenceEvent], None]] = None, count: int = 0,
                 rules: Optional[PresenceRules] = None, **rule_values):
        base = rules or PresenceRules()
        self.rules = PresenceRules(**{f.name: rule_values.pop(f.name, getattr(base, f.name))
                                      for f in dc_fields(PresenceRules)})
        if rule_values:
            raise TypeError("unknown watch rule %s" % ", ".join(sorted(rule_values)))
        self._tracker = PresenceTracker(self.rules, reader.name or "", select is not None)
        self._reader, self._select, self._where, self._count = reader, select, where, count
        self._on_event = on_event
        self._events: "queue.Queue" = queue.Queue()
        self._stop = threading.Event()
        self.error: Optional[BaseException] = None
        self._thread = threading.Thread(target=self._run, name="volneda-watch", daemon=True)
        self._thread.start()

    @property
    def round(self) -> int:
        return self._tracker.round

    def present(self) -> List[str]:
        return self._tracker.present()

    def _run(self):
        try:
            while not self._stop.is_set():
                started = datetime.datetime.now(datetime.timezone.utc)
                if self._select is not None:
                    tags = self._reader.read(self._select, where=self._where)
                else:
                    tags = self._reader.identify(self._where)
                if self._stop.is_set():
                    break
                for event in self._tracker.update(tags, datetime.datetime.now(datetime.timezone.utc)):
                    if self._on_event:
                        self._on_event(event)
                    else:
                        self._events.put(event)
                if self._count and self._tracker.round >= self._count:
                    break
                spent = (datetime.datetime.now(datetime.timezone.utc) - started).total_seconds()
                self._stop.wait(max(0.0, self.rules.interval / 1000.0 - spent))
        except BaseException as e:  # a failed round ends the watch; the iteration raises it
            self.error = e
        finally:
            self._events.put(_END)

    def next_event(self, timeout: Optional[float] = None) -> Optional[PresenceEvent]:
        """The next event; None when `timeout` seconds pass without one or the watch has ended."""
        try:
            item = self._events.get(timeout=timeout)
        except queue.Empty:
            return None
        if item is _END:
            self._events.put(_END)  # every later call ends too
            if self.error is not None:
                raise self.error
            return None
        return item

    def __iter__(self) -> Iterator[PresenceEvent]:
        while True:
            event = self.next_event()
            if event is None:
                return
            yield event

    def wait(self, timeout: Optional[float] = None) -> bool:
        """Waits for the watch to end (its rounds done, or stopped); True when it has."""
        self._thread.join(timeout)
        return not self._thread.is_alive()

    def stop(self) -> None:
        """Ends the watch: the round under way is its last."""
        self._stop.set()
        if threading.current_thread() is not self._thread:
            self._thread.join()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False
