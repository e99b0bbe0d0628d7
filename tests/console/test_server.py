"""volneda serve as HTTP: who may ask, what it answers, what it refuses."""

import json
import socket
import time

import pytest

TAG = "0123456789ABCDEF"


def test_loopback_by_default_and_no_token_there(serve):
    console = serve("--listen", "0")
    assert console.url.startswith("http://127.0.0.1:") and console.token is None
    status, headers, page = console.request("GET", "/")
    assert status == 200 and "<title>VOLNEDA reader console</title>" in page
    assert "default-src 'none'" in headers["Content-Security-Policy"]


def test_another_address_needs_the_printed_token(serve):
    console = serve("--listen", "127.0.0.2:0")
    assert console.url.startswith("http://127.0.0.2:") and console.token
    for path in ("/", "/app.js", "/api/state", "/api/events", "/api/readers", "/nothing"):
        for headers in ({"Authorization": "Bearer"}, {"Authorization": "Bearer " + "0" * len(console.token)},
                        {"Authorization": "Basic " + console.token}):
            assert console.request("GET", path, headers=headers)[0] == 401, (path, headers)
    assert console.request("POST", "/api/open", '{"reader": "DOCK1"}', {"Authorization": "x"})[0] == 401
    assert console.request("GET", "/api/readers")[0] == 200
    # The address printed at start sets a cookie that the page's own requests carry.
    status, headers, _ = console.request("GET", "/?token=" + console.token, headers={"Authorization": "x"})
    assert status == 200
    cookie = headers["Set-Cookie"].split(";")[0]
    assert "HttpOnly" in headers["Set-Cookie"] and "SameSite=Strict" in headers["Set-Cookie"]
    assert console.request("GET", "/api/state", headers={"Authorization": "x", "Cookie": cookie})[0] == 200
    # The cookie is this port's alone: another port's name, or the token itself as its value, is refused.
    name, value = cookie.split("=")
    assert name == "volneda_token_%d" % console.port and value != console.token
    for other in ("volneda_token_%d=%s" % (console.port + 1, value), "%s=%s" % (name, console.token)):
        assert console.request("GET", "/api/state", headers={"Authorization": "x", "Cookie": other})[0] == 401
    assert console.request("GET", "/api/state", headers={"Authorization": "bEARER " + console.token})[0] == 200


def test_an_ipv6_address_is_printed_in_brackets(serve):
    console = serve("--listen", "[::ffff:127.0.0.2]:0")
    assert "listening on [::ffff:127.0.0.2]:%d;" % console.port in console.out
    assert console.request("GET", "/api/state")[0] == 200


def test_on_port_80_the_host_comes_without_the_port(serve):
    try:
        socket.create_server(("127.0.0.1", 80)).close()
    except OSError as e:
        pytest.skip("port 80 of 127.0.0.1 cannot be had here: %s" % e)
    console = serve("--listen", "127.0.0.1:80")
    for host in ("127.0.0.1", "127.0.0.1:80", "localhost"):
        assert console.request("GET", "/api/state", headers={"Host": host})[0] == 200, host
    assert console.request("POST", "/api/watch", "{}", {"Host": "127.0.0.1", "Origin": "http://127.0.0.1"})[0] == 200
    assert console.request("GET", "/api/state", headers={"Host": "127.0.0.1:8080"})[0] == 403


@pytest.fixture(scope="module")
def local(serve):
    return serve("--listen", "127.0.0.1:0")


@pytest.mark.parametrize("method, path, body, headers, status", [
    ("GET", "/app.js", None, {}, 200),
    ("GET", "/style.css", None, {}, 200),
    ("GET", "/index.html", None, {}, 404),
    ("GET", "/appXjs", None, {}, 404),
    ("GET", "/api/attribute?name=Power", None, {"Sec-Fetch-Site": "cross-site"}, 403),
    ("GET", "/web/app.js", None, {}, 404),
    ("GET", "/../../etc/passwd", None, {}, 404),
    ("GET", "/api", None, {}, 404),
    ("GET", "/api/open", None, {}, 404),
    ("POST", "/api/state", "{}", {}, 404),
    ("DELETE", "/api/command", None, {}, 405),
    ("PUT", "/api/attribute", '{"name": "x"}', {}, 405),
    ("PATCH", "/api/watch", "{}", {}, 405),
    ("OPTIONS", "/api/command", None, {"Origin": "http://elsewhere.example"}, 405),
    ("GET", "/api/tag?id=0123", None, {}, 400),
    ("GET", "/api/tag?id=0123456789ABCDEF&length=257", None, {}, 400),
    ("POST", "/api/command", "{not json", {}, 400),
    ("POST", "/api/command", '{"command": 5}', {}, 400),
    ("POST", "/api/watch", '{"interval": 5}', {}, 400),
    ("POST", "/api/write", '{"id": "0123456789ABCDEF", "memory": [{"start": 1, "length": 2, "type": "x",'
                           ' "value": "1"}]}', {}, 400),
    ("POST", "/api/command", '{"command": "identify"}', {"Content-Type": "text/plain"}, 415),
    ("POST", "/api/command", '{"command": "identify"}', {"Origin": "http://elsewhere.example"}, 403),
    ("GET", "/api/state", None, {"Host": "elsewhere.example"}, 403),
])
def test_nothing_but_the_documented_api(local, method, path, body, headers, status):
    got, _, text = local.request(method, path, body, headers)
    assert got == status, text
    if status >= 400:
        assert json.loads(text)["error"]


def test_library_failures_come_with_code_meaning_and_the_readers(serve):
    console = serve("--listen", "127.0.0.1:0")
    with open(console.folder / "rfconfig.ini", "a") as f:
        f.write("[GHOST]\n")
    reply = json.loads(console.request("POST", "/api/open", '{"reader": "GHOST"}')[2])
    assert reply["code"] == -100 and reply["meaning"]
    assert reply["readers"]["readers"] == ["DOCK1", "GATE2", "GHOST"]
    critical = [m for m in reply["messages"] if m["level"] == 3]
    assert [(m["levelName"], m["sourceName"], m["text"]) for m in critical] == [("critical", "open", "Reader failed to open")]
    reply = json.loads(console.request("POST", "/api/command", '{"command": "identify"}')[2])
    assert (reply["code"], reply["meaning"]) == (-3300, reply["messages"][0]["meaning"])


@pytest.mark.parametrize("items, member", [
    ('"memory": [{"start": 4294967348, "length": 4, "value": "ABCD"}]', "memory[0].start"),
    ('"memory": [{"start": 48, "length": 1e10, "value": "ABCD"}]', "memory[0].length"),
    ('"memory": [{"start": 48.5, "length": 4, "value": "ABCD"}]', "memory[0].start"),
    ('"fields": [{"entryNr": 4294967297, "value": "X"}]', "fields[0].entryNr"),
    ('"fields": [{"entryNr": -1, "value": "X"}]', "fields[0].entryNr"),
    ('"fields": [{"entryNr": 1, "value": "X"}, {"entryNr": 2, "value": "\u0141\u00f3d\u017a \u65e5\u672c"}]',
     "fields[1].value: the reader's code page (Windows-1252) cannot hold \u0141 (U+0141), \u017a (U+017A), "
     "\u65e5 (U+65E5), \u672c (U+672C)"),
])
def test_a_write_the_console_cannot_take_names_the_member(local, items, member):
    status, _, text = local.request("POST", "/api/write", '{"id": "%s", %s}' % (TAG, items))
    assert status == 400 and json.loads(text)["error"].startswith(member)


def test_a_lossy_write_is_taken_when_asked_for(serve):
    console = serve("--listen", "127.0.0.1:0")
    console.request("POST", "/api/open", '{"reader": "DOCK1"}')
    body = '{"id": "%s", "lossy": true, "fields": [{"entryNr": 1, "value": "\u0141\u00f3d\u017a"}]}' % TAG
    assert json.loads(console.request("POST", "/api/write", body)[2])["code"] == 0
    read = json.loads(console.request("GET", "/api/tag?id=" + TAG)[2])
    assert [f["value"] for f in read["tag"]["fields"] if f.get("entryNr") == 1] == ["?\u00f3d?" + " " * 8]


def test_reads_change_no_state_and_the_state_is_bounded(serve):
    console = serve("--listen", "127.0.0.1:0")
    console.request("POST", "/api/open", '{"reader": "DOCK1"}')
    console.request("GET", "/api/attribute?name=Fleeting")
    for i in range(40):
        console.request("POST", "/api/attribute", '{"name": "Set%d", "value": "1"}' % i)
    names = [a["name"] for a in json.loads(console.request("GET", "/api/state")[2])["attributes"]]
    assert names == ["Set%d" % i for i in range(8, 40)]
    assert console.request("GET", "/api/attribute?name=" + "n" * 257)[0] == 400


def test_a_reader_that_fails_to_open_leaves_the_open_one_working(serve):
    console = serve("--listen", "127.0.0.1:0")
    assert json.loads(console.request("POST", "/api/open", '{"reader": "DOCK1"}')[2])["code"] == 0
    reply = json.loads(console.request("POST", "/api/open", '{"reader": "NOWHERE"}')[2])
    assert (reply["code"], reply["meaning"], reply["open"]) == (-100, "reader driver: No such reader in the tag field file: name one of its [reader NAME] sections",
                                                               "DOCK1")
    assert json.loads(console.request("GET", "/api/state")[2])["reader"] == "DOCK1"
    assert json.loads(console.request("POST", "/api/command", '{"command": "identify"}')[2])["code"] == 0


@pytest.mark.parametrize("body, error", [
    ('{"arriveSeens": 2}', 'unknown watch rule "arriveSeens"'),
    ('{"arriveSeen": 2}', "arriveSeen must be 1 to arriveWindow"),
    ('{"leaveMs": "1"}', 'watch rule "leaveMs" has an unusable value'),
    ('{"running": 1}', "running: true or false"),
])
def test_watch_rules_the_console_cannot_take_are_named(local, body, error):
    status, _, text = local.request("POST", "/api/watch", body)
    assert status == 400 and json.loads(text)["error"] == error


def test_the_watch_reports_presence_by_its_rules(serve):
    console = serve("--listen", "127.0.0.1:0")
    rules = {"interval": 100, "arriveSeen": 2, "arriveWindow": 3, "ids": ["0456000000000012"], "reportSeen": True}
    watch = json.loads(console.request("POST", "/api/watch", json.dumps(rules))[2])
    assert watch["rules"] == dict(rules, leaveRounds=2, leaveMs=0, swtt=[]) and watch["interval"] == 100
    console.request("POST", "/api/open", '{"reader": "DOCK1"}')
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        state = json.loads(console.request("GET", "/api/state")[2])
        if len(state["changes"]) >= 2:
            break
        time.sleep(0.1)
    # The passing carton is in the field in rounds 3 and 4: 2 of 3 in round 4, then gone after 2 rounds.
    arrived, left = state["changes"][:2]
    assert list(arrived)[:5] == ["event", "reader", "round", "time", "id"] and 750 in [f.get("value") for f in arrived["fields"]]
    assert [(e["event"], e["round"], e["count"]) for e in (arrived, left)] == [("arrived", 4, 2), ("left", 6, 2)]
    assert [t["id"] for t in state["table"]["tags"]] == ["0456000000000012"]
