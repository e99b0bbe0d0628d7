"""Prints the benchmark table from Google Benchmark's JSON output.

Each benchmark is named workload/system/tags.  For every workload and size
the table shows each system's time and throughput, the ratio of the
library's time to the best peer's (below 1.0: the library is faster), and
how the library's time grows from one size to the next (10x the tags:
about 10x the time when the work is linear).  Every figure is the best of
the repetitions of the run.
"""

import json
import sys

OURS = "volneda"
# The peers each workload of the library is compared with; the read
# command's peer is pugixml building and saving the same document.
PEERS = {
    "parse": ["pugixml-utf8", "pugixml-utf16", "rapidxml-utf8"],
    "walk": ["pugixml", "rapidxml"],
    "open+walk": ["pugixml", "rapidxml"],
    "build": ["pugixml"],
}
PEER_OF_COMMAND = ("build", "pugixml")
# The peer each target is set against.
PUGIXML = {"parse": "pugixml-utf8", "walk": "pugixml", "open+walk": "pugixml", "build": "pugixml"}
# Most the library's time may be, as a multiple of pugixml's.
TARGET = {"parse": 1.0, "walk": 1.0, "build": 1.0, "read-command": 1.5}
# Targets against another peer at one size: workload -> (peer, tags, most).
PEER_TARGET = {"walk": ("rapidxml", 100, 1.5)}
MAX_GROWTH = 12.0  # per 10x the tags, from 1,000 tags on


def load(path):
    with open(path) as f:
        data = json.load(f)
    best = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" or b.get("error_occurred"):
            continue
        fields = b["run_name"].split("/")
        if len(fields) < 3:
            continue
        key = (fields[0], fields[1], int(fields[2]))
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
        # One thread's work is timed by its CPU time, which a busy machine
        # disturbs far less than the wall clock; work across threads
        # (marked real_time) by the wall clock.
        clock = "real_time" if b["name"].endswith("/real_time") else "cpu_time"
        entry = {
            "seconds": b[clock] * scale,
            "bytes": b.get("bytes_per_second", 0.0) * b[clock] * scale,
            "driver": b.get("driver_ns", 0.0) * 1e-9,
            "items_per_second": b.get("items_per_second", 0.0),
        }
        if key not in best or entry["seconds"] < best[key]["seconds"]:
            best[key] = entry
    return data.get("context", {}), best


def fmt_time(seconds):
    if seconds >= 1.0:
        return "%.2f s" % seconds
    if seconds >= 1e-3:
        return "%.2f ms" % (seconds * 1e3)
    if seconds >= 1e-6:
        return "%.1f us" % (seconds * 1e6)
    return "%.1f ns" % (seconds * 1e9)


def fmt_rate(entry):
    mb = entry["bytes"] / entry["seconds"] / 1e6 if entry["seconds"] else 0.0
    return "%.0f MB/s" % mb


def main():
    context, best = load(sys.argv[1])
    print("Machine: %s CPUs at %s MHz, load average %s"
          % (context.get("num_cpus", "?"), context.get("mhz_per_cpu", "?"),
             ", ".join("%.2f" % x for x in context.get("load_avg", []))))
    print("CPU time of the working thread, best of the repetitions; throughput in bytes of the document's")
    print("UTF-8 form (the library parses the UTF-16 form, twice as many bytes).")
    print("ours/best: the library's time divided by the best peer's (lower is better); ours/pugixml likewise.")
    print("growth: the library's time at this size divided by its time at the size before (10x the tags).")
    print()
    sizes = sorted({k[2] for k in best})
    verdicts = []  # (target, figure, met)

    def judge_growth(workload, n, growth):
        if n > 1000:
            verdicts.append(("%s growth to %d tags <= %.0fx" % (workload, n, MAX_GROWTH), "%.1fx" % growth,
                             growth <= MAX_GROWTH))

    for workload in ["parse", "walk", "open+walk", "build"]:
        systems = [OURS] + PEERS[workload]
        header = (["%-9s" % workload, "%7s" % "tags"] + ["%-22s" % s for s in systems] +
                  ["ours/best", "ours/pugixml", "growth"])
        print("  ".join(header))
        previous = None
        for n in sizes:
            ours = best.get((workload, OURS, n))
            if not ours:
                continue
            cells = ["%-9s" % "", "%7d" % n]
            for s in systems:
                e = best.get((workload, s, n))
                cells.append("%-22s" % ("%s %s" % (fmt_time(e["seconds"]), fmt_rate(e)) if e else "-"))
            peers = [best[(workload, p, n)]["seconds"] for p in PEERS[workload] if (workload, p, n) in best]
            cells.append("%8.2fx" % (ours["seconds"] / min(peers)) if peers else "-")
            pug = best.get((workload, PUGIXML[workload], n))
            if pug:
                ratio = ours["seconds"] / pug["seconds"]
                cells.append("%11.2fx" % ratio)
                if workload in TARGET:  # open+walk is shown, not judged
                    verdicts.append(("%s at %d tags <= %.1fx pugixml" % (workload, n, TARGET[workload]),
                                     "%.2fx" % ratio, ratio <= TARGET[workload]))
            else:
                cells.append("%12s" % "-")
            if workload in PEER_TARGET:
                peer, at, most = PEER_TARGET[workload]
                other = best.get((workload, peer, n))
                if other and n == at:
                    ratio = ours["seconds"] / other["seconds"]
                    verdicts.append(("%s at %d tags <= %.1fx %s" % (workload, n, most, peer), "%.2fx" % ratio,
                                     ratio <= most))
            cells.append("%6.1fx" % (ours["seconds"] / previous) if previous else "-")
            if previous and workload in TARGET:
                judge_growth(workload, n, ours["seconds"] / previous)
            previous = ours["seconds"]
            print("  ".join(cells))
        print()

    print("  ".join(["read command + GetXMLData", "%7s" % "tags", "%-12s" % "total/tag", "%-12s" % "driver/tag",
                     "%-12s" % "library/tag", "%-14s" % "pugixml build", "ours/best", "growth"]))
    previous = None
    for n in sizes:
        e = best.get(("read-command", OURS, n))
        if not e:
            continue
        library = e["seconds"] - e["driver"]
        peer = best.get(PEER_OF_COMMAND + (n,))
        cells = ["%-25s" % "", "%7d" % n, "%-12s" % fmt_time(e["seconds"] / n), "%-12s" % fmt_time(e["driver"] / n),
                 "%-12s" % fmt_time(library / n), "%-14s" % (fmt_time(peer["seconds"] / n) if peer else "-"),
                 "%8.2fx" % (library / peer["seconds"]) if peer else "-",
                 "%6.1fx" % (library / previous) if previous else "-"]
        if previous:
            judge_growth("read command", n, library / previous)
        if peer and n == 1000:
            ratio = library / peer["seconds"]
            verdicts.append(("read command library time at 1000 tags <= %.1fx pugixml" % TARGET["read-command"],
                             "%.2fx" % ratio, ratio <= TARGET["read-command"]))
        previous = library
        print("  ".join(cells))
    print()

    for key, e in sorted(best.items()):
        if key[0] == "dispatcher":
            print("dispatcher: %d messages posted and fetched between two threads in %s: %.0f messages/s"
                  % (key[2], fmt_time(e["seconds"]), e["items_per_second"]))
    print()

    off, on = best.get(("trace", "off", 100)), best.get(("trace", "on", 100))
    if off and on:
        print("driver host, a read command of 100 tags (identify and read): %.0f driver calls/s untraced, "
              "%.0f traced (%.1fx the time)" % (2 / off["seconds"], 2 / on["seconds"], on["seconds"] / off["seconds"]))
        print()

    hold, identify = best.get(("lock", "hold", 1)), best.get(("lock", "identify", 1))
    if hold and identify:
        share = hold["seconds"] / identify["seconds"]
        print("operation lock, uncontended: %s a hold; an identify of one tag %s, of which the lock is %.2f%%"
              % (fmt_time(hold["seconds"]), fmt_time(identify["seconds"]), share * 100))
        verdicts.append(("operation lock <= 1% of the cheapest reader operation", "%.2f%%" % (share * 100),
                         share <= 0.01))
        print()

    fetch, walk, lean, layer = (best.get(("cpp-layer", s, 1000)) for s in ("c-fetch", "c-walk", "c-walk-lean", "cpp"))
    if lean and layer:
        # The target is judged against the C code that makes the same
        # library calls as the layer: what remains is the layer's own work
        # (UTF-8 strings, the tag and field values, the message drain).
        overhead = layer["seconds"] / lean["seconds"] - 1
        print("C++ layer, a read of 1000 tags: volneda::Reader::read %s; the C calls for the same values %s "
              "(%+.1f%%)" % (fmt_time(layer["seconds"]), fmt_time(lean["seconds"]), overhead * 100))
        if walk:
            print("  beside a C walk over every attribute name of a Field %s (%+.1f%%)"
                  % (fmt_time(walk["seconds"]), (layer["seconds"] / walk["seconds"] - 1) * 100))
        if fetch:
            print("  beside VOLNEDA_Command and VOLNEDA_GetXMLData alone, without reading the document %s (%+.1f%%)"
                  % (fmt_time(fetch["seconds"]), (layer["seconds"] / fetch["seconds"] - 1) * 100))
        verdicts.append(("C++ layer read of 1000 tags <= 5% over the same C calls", "%+.1f%%" % (overhead * 100),
                         overhead <= 0.05))
        print()

    print("targets:")
    for target, figure, met in verdicts:
        print("  %-6s %-58s %s" % ("met" if met else "MISSED", target, figure))


if __name__ == "__main__":
    main()
