#!/usr/bin/env python3
"""status_messages.py -- follow a session through its status messages.

    status_messages.py [READER-LIST [READER]]

The reader fetches the messages on a thread of its own and passes each to
on_status, in order; every message of an operation has been passed when
the operation returns, and closing the reader fetches those still waiting
before it stops them.  on_status must not call the reader.
"""
import sys

import volneda

messages = []


def on_status(message):
    # message.level_name, source_name and meaning name the numbers.
    print("  %-13s %-13s %6d  %s" % ("[%s]" % message.level_name, message.source_name, message.code,
                                     message.text))
    messages.append(message)


def main(argv):
    config = argv[1] if len(argv) > 1 else "./rfconfig.ini"
    with volneda.Reader(argv[2] if len(argv) > 2 else None, config=config, on_status=on_status) as reader:
        print("open %s" % reader.name)
        print("identify: %d tags" % len(reader.identify()))
        print("read: %d tags" % len(reader.read("field(0,7)", where="swtt=0123")))  # field 7: a warning, -3302
        try:
            reader.command("write everything")  # not a command: -3201
        except volneda.VolnedaError as e:
            print("write everything: %d (%s)" % (e.code, e.meaning))
        print("template file: %s" % reader.attribute("RFID_SWTT_FILE_NAME"))
    print("%d status messages" % len(messages))
    return 0 if messages else 1


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except volneda.VolnedaError as e:
        print(e, file=sys.stderr)
        sys.exit(1)
