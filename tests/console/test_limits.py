"""volneda serve under abuse, on loopback: what a client may send, hold and keep.  Every attack is bounded
in size and time and ends by itself."""

import http.client
import select
import threading
import time

import pytest

CHUNK = 64 * 1024


def status_of(sock):
    try:
        line = sock.recv(64)
    except OSError:
        return None
    return int(line.split()[1]) if line.startswith(b"HTTP/1.1 ") else None


def flood(console, start, filler, limit_mb, results):
    """Sends `start`, then `filler` again and again up to limit_mb or until the server stops reading."""
    sock = console.connect(timeout=3)
    try:
        sock.sendall(start)
        for _ in range(int(limit_mb * 2**20 / len(filler))):
            sock.sendall(filler)
    except OSError:
        pass
    results.append(status_of(sock))
    sock.close()


POST = b"POST /api/command HTTP/1.1\r\nHost: HOST\r\nContent-Type: application/json\r\n"


@pytest.mark.parametrize("start, filler, status", [
    (b"GET /api/state HTTP/1.1\r\n", b"X-Fill: 0123456789abcdef\r\n" * 2000, 431),
    (b"GET /api/state HTTP/1.1\r\nX-Fill: ", b"a" * CHUNK, 431),
    (b"GET /", b"a" * CHUNK, 414),
    (POST + b"Transfer-Encoding: chunked\r\n\r\n", b"%x\r\n%s\r\n" % (CHUNK, b" " * CHUNK), 413),
    (POST + b"Connection: close\r\n\r\n", b" " * CHUNK, 413),
], ids=["header lines", "header line", "request line", "chunked body", "body without length"])
def test_a_flood_is_refused_before_it_is_stored(serve, start, filler, status):
    console = serve("--listen", "127.0.0.1:0")
    before, results = console.peak_mb(), []
    start = start.replace(b"HOST", b"127.0.0.1:%d" % console.port)
    attackers = [threading.Thread(target=flood, args=(console, start, filler, 48, results)) for _ in range(4)]
    for t in attackers:
        t.start()
    for t in attackers:
        t.join()
    assert results == [status] * 4
    assert console.peak_mb() - before < 16


def host(console):
    return b"Host: 127.0.0.1:%d\r\n" % console.port


def trickle(console, until, head, drop):
    """A request whose head or body comes a few bytes a second, until the server gives up on it."""
    sock = console.connect()
    try:
        sock.sendall(head)
        while time.monotonic() < until:
            sock.sendall(drop)
            time.sleep(1)
    except OSError:
        pass
    sock.close()


def slow_head(console, until):
    trickle(console, until, b"GET /api/state HTTP/1.1\r\n" + host(console), b"X-Slow: 1\r\n")


def slow_body(console, until):
    trickle(console, until, b"POST /api/command HTTP/1.1\r\n" + host(console) +
            b"Content-Type: application/json\r\nContent-Length: 60000\r\n\r\n", b" ")


def streams(console, until):
    """1,000 event streams, opened 200 at once, each wave held until the next one is open."""
    held = []
    for _ in range(5):
        wave = [console.connect() for _ in range(200)]
        for sock in wave:
            sock.sendall(b"GET /api/events HTTP/1.1\r\n" + host(console) + b"\r\n")
        for sock in held:
            sock.close()
        held = wave
        time.sleep(0.3)
    while time.monotonic() < until:
        time.sleep(0.1)
    for sock in held:
        sock.close()


# On loopback every program is one client address; the streams' user comes from another one, as another
# machine would (one address may hold 32 connections, and 1,000 streams in bursts fill them for a moment).
@pytest.mark.parametrize("attack, count, user", [
    (slow_head, 20, "127.0.0.1"),
    (slow_body, 20, "127.0.0.1"),
    (streams, 1, "127.0.0.2"),
], ids=["slow header lines", "slow bodies", "event streams"])
def test_a_user_is_answered_within_a_second_during_an_attack(serve, attack, count, user):
    console = serve("--listen", "127.0.0.1:0")
    until = time.monotonic() + 7
    attackers = [threading.Thread(target=attack, args=(console, until)) for _ in range(count)]
    for t in attackers:
        t.start()
    time.sleep(1.5)
    times = []
    for _ in range(4):
        started = time.monotonic()
        conn = http.client.HTTPConnection("127.0.0.1", console.port, timeout=5, source_address=(user, 0))
        conn.request("GET", "/api/state", headers={"Host": "127.0.0.1:%d" % console.port})
        assert conn.getresponse().status == 200
        times.append(time.monotonic() - started)
        conn.close()
        time.sleep(0.5)
    for t in attackers:
        t.join()
    assert max(times) < 1, times


def test_connections_and_streams_are_counted_per_client(serve):
    console = serve("--listen", "127.0.0.1:0")
    idle = [console.connect() for _ in range(40)]
    for sock in idle:
        sock.settimeout(0.5)
    assert [status_of(s) for s in idle].count(503) == 40 - 32
    for sock in idle:
        sock.close()
    # A seventh stream of one client takes the place of its oldest, which ends; another client's stays.
    socks = [console.connect("127.0.0.4")] + [console.connect("127.0.0.3") for _ in range(7)]
    for sock in socks:
        sock.sendall(b"GET /api/events HTTP/1.1\r\n" + host(console) + b"\r\n")
        assert status_of(sock) == 200
    ended, until = set(), time.monotonic() + 2
    while time.monotonic() < until:
        for sock in select.select([s for s in socks if s not in ended], [], [], 0.2)[0]:
            if not sock.recv(65536):
                ended.add(sock)
    assert [s in ended for s in socks] == [False, True] + [False] * 6
    for sock in socks:
        sock.close()
