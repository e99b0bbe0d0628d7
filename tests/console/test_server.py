"""volneda serve as HTTP: who may ask, what it answers, what it refuses."""

import json

import pytest


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


@pytest.fixture(scope="module")
def local(serve):
    return serve("--listen", "127.0.0.1:0")


@pytest.mark.parametrize("method, path, body, headers, status", [
    ("GET", "/app.js", None, {}, 200),
    ("GET", "/style.css", None, {}, 200),
    ("GET", "/index.html", None, {}, 404),
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
