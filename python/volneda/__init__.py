"""VOLNEDA for Python: drive an RFID reader through the VOLNEDA library.

    import volneda

    print(volneda.readers("rfconfig.ini"))
    with volneda.Reader("DOCK1", config="rfconfig.ini", on_status=print) as reader:
        for tag in reader.identify():
            print(tag.id, tag.swtt, tag.antenna)
        carton = reader.read("field(1) mem(name,48,6,s)", where="tagid=0456000000000007")[0]
        print(carton["Weight"], carton["name"])
        reader.write(volneda.WriteRequest().tag(carton.id).field(1, 1250).mem(48, "Müller"))

The package loads the library with ctypes (no compiled extension): from
VOLNEDA_LIBRARY when set, else from where it was installed, else from the
system's library path.
"""

from .meanings import code_meaning, level_name, source_name
from .reader import (LossyTextError, Reader, StatusMessage, Tag, TagField, VolnedaError, WriteRequest,
                     library_version, readers, unholdable_characters)
from .watch import PresenceEvent, PresenceRules, PresenceTracker, Watch

__all__ = ["Reader", "StatusMessage", "Tag", "TagField", "VolnedaError", "LossyTextError", "WriteRequest", "readers",
           "library_version", "unholdable_characters", "code_meaning", "level_name", "source_name",
           "Watch", "PresenceEvent", "PresenceRules", "PresenceTracker"]
