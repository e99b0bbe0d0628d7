#!/usr/bin/env python3
"""watch.py -- watch a reader's field for ten rounds and print each tag that
arrives or leaves (the presence rules of docs/presence.md, at their
defaults but for a short interval).

    watch.py [READER-LIST]     (default ./rfconfig.ini)
"""
import sys

import volneda


def main(argv):
    config = argv[1] if len(argv) > 1 else "./rfconfig.ini"
    # Leaving the blocks stops the watch, then closes the reader.
    with volneda.Reader(config=config) as reader, volneda.Watch(reader, interval=50, count=10) as watch:
        for event in watch:  # blocks for each event; ends with the watch's last round
            print("round %2d  %-7s  %s  count %d" % (event.round, event.event, event.id, event.count))
        print("in the field after round %d: %s" % (watch.round, " ".join(watch.present())))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except volneda.VolnedaError as e:  # carries the result code and its meaning
        print(e, file=sys.stderr)
        sys.exit(1)
