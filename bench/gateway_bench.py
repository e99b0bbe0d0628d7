#!/usr/bin/env python3
"""Events per second through volneda gateway and a broker, from a 1,000-tag field.

The simulated reader reports 1,000 tags in every other round (cycle = 2), and
the watch leaves a tag after one round unseen: every round gives 1,000
events.  The gateway runs rounds back to back (interval 0) for a while, with
Debian's mosquitto on loopback and mosquitto_sub counting what arrives.
Printed: the reader's rate (rounds and events the watch produced), the rate
the broker acknowledged and the rate a subscriber received; when they agree,
the reader is the limit.  A second run paces the reader at 10 rounds a
second.

Usage: bench/gateway_bench.py [seconds]   (VOLNEDA_TOOL: default build/bin/volneda)
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

TOOL = os.path.abspath(os.environ.get("VOLNEDA_TOOL", "build/bin/volneda"))
MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
TAGS = 1000


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run(tmp, seconds, fsync, interval):
    port = free_port()
    (tmp / "broker.conf").write_text("listener %d 127.0.0.1\nallow_anonymous true\nmax_queued_messages 0\n"
                                     "log_dest none\n" % port)
    broker = subprocess.Popen([MOSQUITTO, "-c", str(tmp / "broker.conf")])
    time.sleep(0.5)
    sub = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-q", "1", "-t", "volneda/+/event/#",
                            "-F", "%m"], stdout=subprocess.PIPE)
    count = [0]

    def read():
        for _ in sub.stdout:
            count[0] += 1
    threading.Thread(target=read, daemon=True).start()
    time.sleep(0.3)
    queue = tmp / ("queue-%s-%d" % (fsync, interval))
    (tmp / "gw.ini").write_text("[gateway]\nname = bench\nreaders = rfconfig.ini\nqueue = %s\nfsync = %s\nhealth = 1\n"
                                "[mqtt]\nhost = 127.0.0.1\nport = %d\n[reader DOCK1]\ninterval = %d\nleaveRounds = 1\n"
                                % (queue, fsync, port, interval))
    gw = subprocess.Popen([TOOL, "gateway", "--config", "gw.ini"], cwd=tmp, stderr=subprocess.PIPE, text=True,
                          env=dict(os.environ, TAGDRV_FIELD="field.ini"))
    started = time.time()
    time.sleep(seconds)
    delivered, spent = count[0], time.time() - started
    gw.send_signal(signal.SIGTERM)
    _, err = gw.communicate(timeout=60)
    for p in (sub, broker):
        p.terminate()
        p.wait()
    # The health lines, one a second: the last before the stop.
    health = re.findall(r"acknowledged (\d+),.* DOCK1 \w+, (\d+) rounds, (\d+) events", err)
    acked, rounds, events = map(int, health[int(seconds) - 1])
    return rounds / int(seconds), events / int(seconds), acked / int(seconds), delivered / spent


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10
    with tempfile.TemporaryDirectory() as d:
        import pathlib
        tmp = pathlib.Path(d)
        (tmp / "rfconfig.ini").write_text("[DOCK1]\n")
        tags = "".join("[tag t%d]\nreader = DOCK1\nid = %016X\npresent = 1\n" % (i, i + 1) for i in range(TAGS))
        (tmp / "field.ini").write_text("[field]\ncycle = 2\n[reader DOCK1]\n" + tags)
        print("volneda gateway, %d tags, %g s per run, mosquitto on loopback" % (TAGS, seconds))
        print("%-8s %-10s %10s %14s %16s %14s" % ("fsync", "interval", "rounds/s", "events/s made", "acknowledged/s",
                                                  "delivered/s"))
        # Rounds back to back, then 10 rounds a second.
        for fsync, interval in (("always", 0), ("never", 0), ("always", 100)):
            rounds, made, acked, delivered = run(tmp, seconds, fsync, interval)
            print("%-8s %-10s %10.1f %14.0f %16.0f %14.0f" % (fsync, "%d ms" % interval, rounds, made, acked, delivered))


if __name__ == "__main__":
    main()
