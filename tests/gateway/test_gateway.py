"""volneda gateway against Debian's mosquitto, started here on loopback: events, outages, restarts, requests."""

import getpass
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import threading
import time

import pytest

TOOL = os.environ.get("VOLNEDA_TOOL", "build/bin/volneda")
EXAMPLES = os.path.join(os.environ.get("VOLNEDA_SOURCE_DIR", "."), "examples")
MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
CARTON = "0456000000000007"

# Tags of DOCK1: one always there, one in rounds 3 and 4, one from round 5 on
# (cycle 0) or, with a cycle, coming and going every few rounds.
FIELD = """[field]
cycle = %(cycle)d
[reader DOCK1]
attr.RFID_SWTT_FILE_NAME = SWTT.INI
[reader GATE2]
[reader GATE3]
[tag pallet-1]
reader = DOCK1
id = 0123456789ABCDEF
swtt = 0123456789AB
type = I2
antenna = 1
mem.0 = 0123456789ABCDEF
text.20 = WIDGET-A
mem.32 = 2A 00
[tag carton-7]
reader = DOCK1
id = 0456000000000007
swtt = 045600000007
type = I2
antenna = 2
present = 3-4
[tag carton-12]
reader = DOCK1
id = 0456000000000012
swtt = 045600000012
present = 5-
[tag gate-2]
reader = GATE2
id = 0222000000000002
[tag gate-3]
reader = GATE3
id = 0333000000000003
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Broker:
    """mosquitto on 127.0.0.1 with a persistent store, so that a subscriber's session outlives a restart
    (as our own user: as root it would switch to one that cannot write the test's directory)."""

    def __init__(self, tmp, conf="allow_anonymous true\n", client=()):
        self.port, self.dir, self.client = free_port(), tmp / "broker", list(client)
        self.dir.mkdir()
        (self.dir / "mosquitto.conf").write_text(
            "listener %d 127.0.0.1\n%spersistence true\npersistence_location %s/\nmax_queued_messages 0\n"
            "log_dest file %s/log\nuser %s\n" % (self.port, conf, self.dir, self.dir, getpass.getuser()))
        self.proc = None
        self.start()

    def start(self):
        self.proc = subprocess.Popen([MOSQUITTO, "-c", str(self.dir / "mosquitto.conf")])
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("mosquitto did not start")

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)

    def connections(self):
        return (self.dir / "log").read_text().count("New connection from")


class Subscriber:
    """mosquitto_sub with a persistent session (it reconnects by itself): (topic, retained, seq, correlation, payload)."""

    def __init__(self, broker, topic="volneda/#", name="sub"):
        self.messages, self.lock = [], threading.Lock()
        self.proc = subprocess.Popen(
            ["mosquitto_sub", "-V", "mqttv5", "-h", "127.0.0.1", "-p", str(broker.port), "-c", "-i", name, "-q", "1",
             "-t", topic, "-F", "%t\t%r\t%P\t%D\t%p"] + broker.client, stdout=subprocess.PIPE, text=True)
        STARTED.append(self.proc)
        threading.Thread(target=self._read, daemon=True).start()
        time.sleep(0.3)

    def _read(self):
        for line in self.proc.stdout:
            topic, retained, prop, corr, payload = line.rstrip("\n").split("\t", 4)
            seq = int(prop.split(":")[1]) if prop.startswith("seq:") else None
            with self.lock:
                self.messages.append((topic, retained == "1", seq, corr, payload))

    def wait(self, until, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            with self.lock:
                if until(list(self.messages)):
                    return list(self.messages)
            time.sleep(0.05)
        with self.lock:
            raise AssertionError("timed out; got %s" % self.messages[-20:])

    def events(self):
        with self.lock:
            return [(t, s, json.loads(p)) for t, r, s, c, p in self.messages if "/event/" in t]


STARTED = []  # processes a test leaves running when it fails

# Brokers that check: their lines and mosquitto_sub's arguments; {d} is the
# directory the secrets fixture fills.
TLS = "cafile {d}/ca.pem\ncertfile {d}/server.pem\nkeyfile {d}/server.key\nallow_anonymous true\n"
SECURED = {
    "tls": (TLS, ["--cafile", "{d}/ca.pem"]),
    "tls-client": (TLS + "require_certificate true\n",
                   ["--cafile", "{d}/ca.pem", "--cert", "{d}/client.pem", "--key", "{d}/client.key"]),
    "password": ("allow_anonymous false\npassword_file {d}/passwords\n", ["-u", "gw", "-P", "secret"]),
}


@pytest.fixture(scope="module")
def secrets(tmp_path_factory):
    """A CA with a certificate for 127.0.0.1 (the broker's) and one for a client, a CA that signed neither,
    and mosquitto's password file with the gateway's user."""
    if not shutil.which("openssl"):
        pytest.skip("no openssl to make the certificates with (Debian: openssl)")
    d = tmp_path_factory.mktemp("secrets")

    def run(*args):
        subprocess.run(args, cwd=d, check=True, capture_output=True, timeout=30)
    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout"]
    for ca in ("ca", "other-ca"):
        run("openssl", "req", "-x509", *key, ca + ".key", "-out", ca + ".pem", "-subj", "/CN=" + ca, "-days", "2")
    (d / "san").write_text("subjectAltName = IP:127.0.0.1, DNS:localhost\n")
    for name in ("server", "client"):
        run("openssl", "req", *key, name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name)
        run("openssl", "x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "2", "-extfile", "san", "-out", name + ".pem")
    run("mosquitto_passwd", "-c", "-b", "passwords", "gw", "secret")
    for name, text in (("user", "gw"), ("secret", "secret"), ("wrong", "guess")):
        (d / name).write_text(text + "\n")
    return d


@pytest.fixture
def env(tmp_path, monkeypatch, request):
    shutil.copy(os.path.join(EXAMPLES, "SWTT.INI"), tmp_path / "SWTT.INI")
    (tmp_path / "rfconfig.ini").write_text("[DOCK1]\n[GATE2]\n[GATE3]\n")
    monkeypatch.chdir(tmp_path)
    if hasattr(request, "param"):
        d = request.getfixturevalue("secrets")
        conf, client = SECURED[request.param]
        broker = Broker(tmp_path, conf.format(d=d), [a.format(d=d) for a in client])
    else:
        broker = Broker(tmp_path)
    yield tmp_path, broker
    for proc in STARTED:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    STARTED.clear()
    if broker.proc.poll() is None:
        broker.stop()


def gateway(tmp, broker, name="gw", readers=("DOCK1",), interval=20, cycle=0, extra="", mqtt=""):
    (tmp / ("field-%s.ini" % name)).write_text(FIELD % {"cycle": cycle})
    sections = "".join("[reader %s]\ninterval = %d\nleaveRounds = 1\n%s" % (r, interval, extra) for r in readers)
    (tmp / (name + ".ini")).write_text(
        "[gateway]\nname = %s\nreaders = rfconfig.ini\nqueue = queue-%s\nhealth = 1\n"
        "[mqtt]\nhost = 127.0.0.1\nport = %d\n%s%s" % (name, name, broker.port, mqtt, sections))
    # Paths relative to the test's directory: the library completes the
    # template file's name with the reader list's directory into a field of
    # limited length, which a long temporary path would overrun.
    env = dict(os.environ, TAGDRV_FIELD="field-%s.ini" % name)
    proc = subprocess.Popen([TOOL, "gateway", "--config", name + ".ini"], env=env, stderr=subprocess.PIPE, text=True)
    STARTED.append(proc)
    return proc


def stop(proc, sig=signal.SIGTERM):
    proc.send_signal(sig)
    _, err = proc.communicate(timeout=30)
    return proc.returncode, err


def seqs_whole(events):
    """The queue's numbers came in order, each at least once, from 1 on; returns the events without repeats."""
    seen, out = set(), []
    for topic, seq, e in events:
        assert seq in seen or seq == len(seen) + 1, "entry %d after %d" % (seq, len(seen))
        if seq not in seen:
            seen.add(seq)
            out.append((topic, e))
    return out


def test_events_of_a_changing_field_arrive_in_order(env):
    tmp, broker = env
    sub = Subscriber(broker)
    gw = gateway(tmp, broker)
    sub.wait(lambda m: sum("/event/" in x[0] for x in m) >= 4)
    code, err = stop(gw)
    assert code == 0, err
    got = [(t, e["round"], e["id"]) for t, e in seqs_whole(sub.events())]
    assert got == [("volneda/DOCK1/event/arrived", 1, "0123456789ABCDEF"), ("volneda/DOCK1/event/arrived", 3, CARTON),
                   ("volneda/DOCK1/event/arrived", 5, "0456000000000012"), ("volneda/DOCK1/event/left", 5, CARTON)]
    arrived, left = sub.events()[1][2], sub.events()[3][2]
    assert list(arrived) == ["event", "reader", "round", "time", "id", "swtt", "type", "antenna", "firstSeen",
                             "lastSeen", "count"]
    assert (arrived["swtt"], arrived["antenna"], left["count"]) == ("045600000007", 2, 2)
    sub.wait(lambda m: sum('"offline"' in x[4] for x in m) == 2)
    statuses = {t: json.loads(p)["status"] for t, r, s, c, p in sub.messages if t.endswith("/status")}
    assert statuses == {"volneda/gateway/gw/status": "offline", "volneda/DOCK1/status": "offline"}
    assert re.search(r"DOCK1 offline, \d+ rounds, 4 events, 2 present", err.splitlines()[-2])


def test_broker_outage_and_a_killed_gateway_lose_nothing(env):
    tmp, broker = env
    sub = Subscriber(broker)
    # The field starts over every 6 rounds: two events in each cycle.
    gw = gateway(tmp, broker, cycle=6, interval=25)
    sub.wait(lambda m: len(m) >= 6)
    broker.stop()
    time.sleep(5)
    broker.start()
    sub.wait(lambda m: len(m) > 40)
    # Killed while the broker is away: what it queued is sent by the next run.
    broker.stop()
    time.sleep(1)
    stop(gw, signal.SIGKILL)
    broker.start()
    queued = len(set(s for t, s, e in sub.events()))
    gw = gateway(tmp, broker, cycle=6, interval=25)
    sub.wait(lambda m: len(set(x[2] for x in m if x[2])) > queued + 20)
    code, err = stop(gw)
    assert code == 0 and "from before; they go first" in err and "health: broker connected" in err, err
    events = seqs_whole(sub.events())
    # Within each run, the rounds of the events only grow: nothing came out of order.
    rounds = [e["round"] for t, e in events]
    assert all(b >= a or b == 1 for a, b in zip(rounds, rounds[1:]))
    assert sum(1 for a, b in zip(rounds, rounds[1:]) if b < a) == 1  # the restart


def test_requests_are_answered_with_the_result_document(env):
    tmp, broker = env
    sub = Subscriber(broker)
    gw = gateway(tmp, broker, interval=200)
    sub.wait(lambda m: any("/event/" in x[0] for x in m))
    write = {"write": {"id": "0123456789ABCDEF", "fields": [{"start": 48, "length": 5, "type": "s", "value": "Hello"}]}}
    cases = [
        ({"command": "read field(0,1) mem(note,48,5,s) where swtt=0123", "ref": 7}, None),
        (write, "w1"),
        ({"command": "read mem(note,48,5,s) where tagid=0123456789ABCDEF"}, None),
        ({"command": "read where swtt=XYZ"}, "bad"),
        ({"nothing": 1}, None),
    ]
    for i, (request, corr) in enumerate(cases):
        args = ["mosquitto_pub", "-V", "mqttv5", "-h", "127.0.0.1", "-p", str(broker.port), "-q", "1",
                "-t", "volneda/DOCK1/request", "-m", json.dumps(request)]
        if corr:
            args += ["-D", "publish", "response-topic", "volneda/app/answers", "-D", "publish", "correlation-data", corr]
        subprocess.run(args, check=True, timeout=10)
        got = sub.wait(lambda m: sum(x[0] in ("volneda/DOCK1/reply", "volneda/app/answers") for x in m) > i)
    replies = [(t, c, json.loads(p)) for t, r, s, c, p in got if t in ("volneda/DOCK1/reply", "volneda/app/answers")]
    assert [(t, c, r["code"]) for t, c, r in replies][:2] == [("volneda/DOCK1/reply", "", 0), ("volneda/app/answers", "w1", 0)]
    first = replies[0][2]
    assert first["ref"] == 7 and first["tagCount"] == 1 and first["tags"][0]["fields"][0]["value"] == "0123456789ABCDEF"
    assert replies[2][2]["tags"][0]["fields"][0]["value"] == "Hello"
    assert replies[3][:2] == ("volneda/app/answers", "bad") and replies[3][2]["code"] == -3208 and "XYZ" in replies[3][2]["cause"]
    assert "error" in replies[4][2]
    # Killed outright: the broker says it is gone (the last will).
    stop(gw, signal.SIGKILL)
    sub.wait(lambda m: any(x[0] == "volneda/gateway/gw/status" and '"offline"' in x[4] for x in m))


def test_three_readers_in_one_gateway_and_two_gateways_on_one_broker(env):
    tmp, broker = env
    sub = Subscriber(broker)
    one = gateway(tmp, broker, "one", readers=("DOCK1", "GATE2", "GATE3"))
    two = gateway(tmp, broker, "two", readers=("GATE2",))
    sub.wait(lambda m: len({(x[0], x[4]) for x in m if "/event/" in x[0]}) >= 5)
    for g in (one, two):
        code, err = stop(g)
        assert code == 0, err
    ids = {(t.split("/")[1], json.loads(p)["id"]) for t, r, s, c, p in sub.messages if "/event/arrived" in t}
    assert {("GATE2", "0222000000000002"), ("GATE3", "0333000000000003"), ("DOCK1", "0123456789ABCDEF")} <= ids
    gate2 = [p for t, r, s, c, p in sub.messages if t == "volneda/GATE2/event/arrived"]
    assert len(gate2) == 2  # once from each gateway
    assert {t for t, r, s, c, p in sub.messages if "/gateway/" in t} == {"volneda/gateway/one/status",
                                                                        "volneda/gateway/two/status"}


@pytest.mark.parametrize("config, says", [
    ("[gateway]\nname = a/b\n", "bad value for name"),
    ("[mqtt]\nport = 99999\n[reader DOCK1]\n", "bad value for port"),
    ("[reader DOCK1]\narriveSeen = 3\n", "arriveSeen"),
    ("[reader DOCK1]\nfoo = 1\n", "foo"),
    ("[gateway]\n", "no [reader NAME] section"),
])
def test_bad_configurations_are_refused_with_the_line(tmp_path, config, says):
    (tmp_path / "g.ini").write_text(config)
    r = subprocess.run([TOOL, "gateway", "--config", str(tmp_path / "g.ini")], capture_output=True, text=True)
    assert r.returncode == 2 and says in r.stderr


def test_once_runs_a_round_and_delivers(env):
    tmp, broker = env
    sub = Subscriber(broker)
    (tmp / "once.ini").write_text("[gateway]\nname = o\nreaders = rfconfig.ini\nqueue = q\n[mqtt]\nhost = 127.0.0.1\n"
                                  "port = %d\n[reader DOCK1]\n[reader GATE2]\n" % broker.port)
    (tmp / "f.ini").write_text(FIELD % {"cycle": 0})
    r = subprocess.run([TOOL, "gateway", "--once", "--config", "once.ini"], capture_output=True, text=True,
                       env=dict(os.environ, TAGDRV_FIELD="f.ini"), timeout=30)
    assert r.returncode == 0, r.stderr
    sub.wait(lambda m: len([x for x in m if "/event/" in x[0]]) == 2)


def test_a_full_queue_drops_the_oldest_and_says_how_many(env):
    tmp, broker = env
    sub = Subscriber(broker)
    broker.stop()
    # 300 tags in every other round: 300 events a round, about 90 KiB, over a
    # queue of 64 KiB.
    tags = "".join("[tag t%d]\nreader = DOCK1\nid = %016X\npresent = 1\n" % (i, i + 1) for i in range(300))
    (tmp / "many.ini").write_text("[field]\ncycle = 2\n[reader DOCK1]\n" + tags)
    (tmp / "full.ini").write_text("[gateway]\nname = gw\nreaders = rfconfig.ini\nqueue = q\nqueue_limit = 64K\n"
                                  "[mqtt]\nhost = 127.0.0.1\nport = %d\n[reader DOCK1]\ninterval = 100\n"
                                  "leaveRounds = 1\n" % broker.port)
    gw = subprocess.Popen([TOOL, "gateway", "--config", "full.ini"], env=dict(os.environ, TAGDRV_FIELD="many.ini"),
                          stderr=subprocess.PIPE, text=True)
    STARTED.append(gw)
    time.sleep(1)
    broker.start()
    got = sub.wait(lambda m: any(x[0] == "volneda/gateway/gw/event/dropped" for x in m))
    code, err = stop(gw)
    assert code == 0 and "oldest events dropped" in err
    dropped = next(json.loads(x[4]) for x in got if x[0].endswith("/dropped"))
    assert dropped["count"] == dropped["last"] - dropped["first"] + 1 >= 300
    seqs = sorted({x[2] for x in sub.messages if x[2]})
    assert dropped["first"] not in seqs and seqs[seqs.index(dropped["last"] + 1):] == \
        list(range(dropped["last"] + 1, seqs[-1] + 1))


@pytest.mark.parametrize("env, mqtt, refused", [
    ("tls", "ca_file = {d}/ca.pem", None),
    ("tls", "ca_file = {d}/other-ca.pem", "certificate verify failed"),
    ("tls-client", "ca_file = {d}/ca.pem\ncert_file = {d}/client.pem\nkey_file = {d}/client.key", None),
    ("password", "username_file = {d}/user\npassword_file = {d}/secret", None),
    ("password", "username_file = {d}/user\npassword_file = {d}/wrong", "refused the connection: Not authorized"),
], indirect=["env"], ids=["tls", "tls-other-ca", "tls-client-cert", "password", "wrong-password"])
def test_tls_and_passwords_deliver_or_are_refused_and_retried(env, secrets, mqtt, refused):
    tmp, broker = env
    sub = Subscriber(broker)
    tried = broker.connections()
    gw = gateway(tmp, broker, mqtt=mqtt.format(d=secrets) + "\nreconnect_max = 1\n")
    if refused is None:
        sub.wait(lambda m: any("/event/" in x[0] for x in m))
    else:
        # Tried again every second (reconnect_max), the refusal logged once.
        end = time.time() + 10
        while broker.connections() < tried + 3 and time.time() < end:
            time.sleep(0.1)
        assert broker.connections() >= tried + 3 and gw.poll() is None and sub.messages == []
    code, err = stop(gw)
    assert code == 0, err
    if refused:
        assert err.count(refused) == 1 and "health: broker not connected" in err, err
