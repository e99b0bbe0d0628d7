#!/usr/bin/env python3
"""inventory.py -- list the readers, open one and identify the tags in its
field.

    inventory.py [READER-LIST [READER]]     (default ./rfconfig.ini, first reader)
"""
import sys

import volneda


def main(argv):
    config = argv[1] if len(argv) > 1 else "./rfconfig.ini"
    for name in volneda.readers(config):  # the readers the list names
        print("reader", name)
    # None: the list's first reader.  Leaving the block closes the reader,
    # stops its status messages and releases the context, in that order.
    with volneda.Reader(argv[2] if len(argv) > 2 else None, config=config) as reader:
        tags = reader.identify()
        print("identify on %s: %d tags" % (reader.name, len(tags)))
        for tag in tags:
            print("tag %s  SWTT %s  type %s  antenna %s" % (tag.id, tag.swtt, tag.hw_tag_type, tag.antenna))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except volneda.VolnedaError as e:  # carries the result code and its meaning
        print(e, file=sys.stderr)
        sys.exit(1)
