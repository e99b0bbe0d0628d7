#!/usr/bin/env python3
"""read_fields.py -- read template fields (named by SWTT.INI) and raw memory
fields of the tags whose SWTT identifier begins with 0123, and print each
field with its type and value.

    read_fields.py [READER-LIST [READER [SELECT [WHERE]]]]
"""
import sys

import volneda


def main(argv):
    config = argv[1] if len(argv) > 1 else "./rfconfig.ini"
    # Fields 0 to 2 of the tag's template, field 9 which it does not define,
    # and the first four bytes of memory as hexadecimal.  No blanks inside
    # mem(...): they would become part of the items.
    select = argv[3] if len(argv) > 3 else "field(0,1,2,9) mem(head,0,4,h)"
    where = argv[4] if len(argv) > 4 else "swtt=0123"
    with volneda.Reader(argv[2] if len(argv) > 2 else None, config=config) as reader:
        tags = reader.read(select, where=where)
        print("read %s where %s: %d tags" % (select, where, len(tags)))
        for tag in tags:
            print("tag %s (%d fields)" % (tag.id, len(tag.fields)))
            for field in tag.fields:
                if not field.exists:
                    print("  field %d: not in this tag's template" % field.entry_nr)
                    continue
                # value: an int for an Int field, else the text
                print("  %-8s %-6s %s" % (field.name, field.data_type, field.value))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except volneda.VolnedaError as e:
        print(e, file=sys.stderr)
        sys.exit(1)
