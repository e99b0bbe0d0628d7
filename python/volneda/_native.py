"""The library's C interface through ctypes: loading, prototypes, UTF-16.

The library's text is UTF-16 on every platform.  ``ctypes.c_wchar_p`` is
UTF-32 where ``wchar_t`` is 4 bytes (Linux), so texts travel here as
arrays of 16-bit units, encoded and decoded explicitly.
"""

import ctypes
import os
import sys

_HERE = os.path.dirname(os.path.abspath(__file__))

if os.name == "nt":
    _NAMES = ["VOLNEDA.dll"]
elif sys.platform == "darwin":
    _NAMES = ["libvolneda.dylib"]
else:
    _NAMES = ["libvolneda.so"]


def _candidates():
    explicit = os.environ.get("VOLNEDA_LIBRARY")
    if explicit:
        yield explicit
    try:
        from . import _paths  # written by the build and by the install
        dirs = [os.path.normpath(os.path.join(_HERE, d)) for d in _paths.LIBRARY_DIRS]
    except ImportError:
        dirs = []
    for d in dirs:
        for name in _NAMES:
            yield os.path.join(d, name)
    yield from _NAMES  # the system's search path


def _load():
    tried = []
    for path in _candidates():
        if os.name == "nt" and os.path.dirname(path) and hasattr(os, "add_dll_directory"):
            try:  # TAGDRV.dll lies beside VOLNEDA.dll
                os.add_dll_directory(os.path.dirname(path))
            except OSError:
                pass
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            tried.append("%s (%s)" % (path, e))
    raise ImportError("the VOLNEDA library cannot be loaded; set VOLNEDA_LIBRARY to its path. Tried: "
                      + "; ".join(tried))


lib = _load()

_I32 = ctypes.c_int32
_P = ctypes.c_void_p
_W = ctypes.POINTER(ctypes.c_uint16)
_PI = ctypes.POINTER(ctypes.c_int32)


def _proto(name, result, *args):
    f = getattr(lib, name)
    f.restype = result
    f.argtypes = list(args)


_proto("VOLNEDA_StartAll", _I32, ctypes.POINTER(_P), _W)
_proto("VOLNEDA_StopAll", None, ctypes.POINTER(_P))
_proto("StartDispatcher", None, _P)
_proto("StopDispatcher", None, _P)
_proto("DispatcherGetData", _I32, _P, _PI, _PI, _PI, _W, _I32)
_proto("VOLNEDA_Open", _I32, _P, _W)
_proto("VOLNEDA_Close", _I32, _P)
_proto("VOLNEDA_GetErrorString", _I32, _P, _I32, _W)
_proto("VOLNEDA_GetXMLData", _I32, _P, _W, _I32)
_proto("VOLNEDA_Version", None, _PI, _PI)
_proto("SetCommTimeOut", _I32, _P, _I32)
_proto("VOLNEDA_GetAttribute", _I32, _P, _W, _W)
_proto("VOLNEDA_SetAttribute", _I32, _P, _W, _W)
_proto("VOLNEDA_Command", _I32, _P, _W, _PI, _PI)
_proto("VOLNEDA_Write", _I32, _P, _W)
_proto("VOLNEDA_FindFirstReader", _I32, _P, _W, _W)
_proto("VOLNEDA_FindNextReader", _I32, _P, _W)


def text_in(s):
    """A str as a terminated UTF-16 array for the library (None stays None)."""
    if s is None:
        return None
    data = s.encode("utf-16-le")
    return (ctypes.c_uint16 * (len(data) // 2 + 1)).from_buffer_copy(data + b"\0\0")


def buffer(units):
    """A zeroed UTF-16 buffer of that many units."""
    return (ctypes.c_uint16 * units)()


def text_out(buf):
    """The text of a UTF-16 buffer, up to its first 0 unit."""
    raw = ctypes.string_at(ctypes.addressof(buf), ctypes.sizeof(buf))
    return raw.decode("utf-16-le", "replace").split("\0", 1)[0]
