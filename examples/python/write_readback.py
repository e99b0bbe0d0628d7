#!/usr/bin/env python3
"""write_readback.py -- build a write request, write it to one tag and read
the fields back to check them.

    write_readback.py [READER-LIST [READER [TAG-ID]]]
"""
import sys

import volneda


def main(argv):
    config = argv[1] if len(argv) > 1 else "./rfconfig.ini"
    tag_id = argv[3] if len(argv) > 3 else "0123456789ABCDEF"
    request = (volneda.WriteRequest()
               .tag(tag_id)
               .field(2, 8)                          # template field 2: Count
               .mem(48, "PYTHON", length=8))         # 8 bytes of text from byte 48
    print(request)
    with volneda.Reader(argv[2] if len(argv) > 2 else None, config=config) as reader:
        reader.write(request)  # raises VolnedaError when a tag is missing or a write fails
        print("write: ok")
        tag = reader.read("field(2) mem(note,48,8,s)", where="tagid=" + tag_id)[0]
        print("read back: Count=%r note=%r" % (tag["Count"], tag["note"]))
        ok = tag["Count"] == 8 and tag["note"].rstrip() == "PYTHON"
    print("the tag holds what was written" if ok else "the tag does not hold what was written")
    return 0 if ok else 1


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except volneda.VolnedaError as e:
        print(e, file=sys.stderr)
        sys.exit(1)
