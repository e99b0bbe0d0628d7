"""volneda serve on the simulated reader of the examples, in a temporary copy."""

import os
import re
import shutil
import signal
import socket
import subprocess
import urllib.error
import urllib.request

import pytest

TOOL = os.environ.get("VOLNEDA_TOOL", "build/bin/volneda")
EXAMPLES = os.path.join(os.environ.get("VOLNEDA_SOURCE_DIR", "."), "examples")


class Console:
    def __init__(self, folder, *listen):
        self.folder = folder
        for name in ("rfconfig.ini", "SWTT.INI", "tagfield.ini"):
            shutil.copy(os.path.join(EXAMPLES, name), folder / name)
        env = dict(os.environ, TAGDRV_FIELD="tagfield.ini")
        env.pop("RF_RFID_CONFIG", None)
        self.process = subprocess.Popen([TOOL, "--config", "rfconfig.ini", "serve", *listen], cwd=folder, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.out = ""
        while "Ctrl-C stops" not in self.out:
            line = self.process.stdout.readline()
            assert line, "serve ended: " + self.out + self.process.stderr.read()
            self.out += line
        self.url = re.search(r"console is at (http://[^/]+/)", self.out).group(1)
        token = re.search(r"token=([0-9a-f]+)", self.out)
        self.token = token.group(1) if token else None

    def request(self, method, path, body=None, headers=None):
        """(status, headers, body) of one request, with the token when there is one."""
        headers = dict(headers or {})
        if self.token and "Authorization" not in headers:
            headers["Authorization"] = "Bearer " + self.token
        if body is not None:
            headers.setdefault("Content-Type", "application/json")
        data = None if body is None else body.encode()
        req = urllib.request.Request(self.url + path.lstrip("/"), data=data, method=method, headers=headers)
        try:
            with urllib.request.urlopen(req, timeout=30) as r:
                return r.status, r.headers, r.read().decode()
        except urllib.error.HTTPError as e:
            return e.code, e.headers, e.read().decode()

    @property
    def port(self):
        return int(self.url.rsplit(":", 1)[1].rstrip("/"))

    def peak_mb(self):
        """The most memory the server has held (its resident set's high-water mark)."""
        with open("/proc/%d/status" % self.process.pid) as f:
            return int(re.search(r"VmHWM:\s+(\d+)", f.read()).group(1)) // 1024

    def connect(self, source="127.0.0.1", timeout=5):
        """A raw connection from a loopback address of the caller's choice (a client of its own)."""
        return socket.create_connection(("127.0.0.1", self.port), timeout, (source, 0))

    def stop(self):
        """Ends the server as a service manager does; it closes the reader and exits 0."""
        self.process.send_signal(signal.SIGTERM)
        out, err = self.process.communicate(timeout=30)
        assert self.process.returncode == 0, err
        assert out.endswith("volneda serve: stopped\n")


@pytest.fixture(scope="module")
def serve(tmp_path_factory):
    """Starts a server in a folder of its own; each is stopped, and must stop cleanly, after the module."""
    started = []

    def start(*listen):
        started.append(Console(tmp_path_factory.mktemp("field"), *listen))
        return started[-1]

    yield start
    for console in started:
        console.stop()
