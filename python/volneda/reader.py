"""Readers, tags and write requests over the library's C interface."""

import ctypes
import html
import os
import threading
import time
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field as dc_field
from typing import Callable, List, Optional, Tuple, Union
from xml.sax.saxutils import escape as _escape

from ._native import buffer, lib, text_in, text_out
from .meanings import code_meaning, is_library_code, level_name, source_name

# SetCommTimeOut changes nothing and posts (warning, source 24, -3450,
# empty text): the reader posts it as a marker behind an operation's
# messages and knows them all delivered when its status thread sees it.
_MARKER = (1, 24, -3450, "")
_FLUSH_LIMIT = 2.0


class VolnedaError(Exception):
    """A reader operation failed: the library's result code and its meaning."""

    def __init__(self, operation, code, meaning, detail=None):
        message = "%s: %d (%s)" % (operation, code, meaning)
        super().__init__(message + ("; " + detail if detail else ""))
        self.operation = operation
        self.code = code
        self.meaning = meaning


class LossyTextError(ValueError):
    """Text for the reader holds characters that the library's 8-bit code page
    cannot hold: the library would store '?' for each and report success.
    ``characters`` lists them, each once."""

    def __init__(self, what, characters):
        names = ", ".join("'%s' (U+%04X)" % (c, ord(c)) for c in characters)
        super().__init__("%s: the reader's code page (%s) cannot hold %s: the library would store '?' for %s "
                         "(Reader(lossy=True) lets them through)"
                         % (what, _CODE_PAGE, names, "it" if len(characters) == 1 else "them"))
        self.characters = characters


# The library's code page: the system's ANSI code page on Windows,
# Windows-1252 elsewhere, where the five bytes 1252 leaves undefined stand
# for the C1 controls of the same value.
_CODE_PAGE = "cp%d" % ctypes.windll.kernel32.GetACP() if os.name == "nt" else "cp1252"
_KEPT_CONTROLS = "\x81\x8d\x8f\x90\x9d"


def unholdable_characters(text, xml=False):
    """The characters of text that the library's code page cannot hold, each
    once, in order; with xml, character references (&#x141;) count too."""
    out = []
    for c in html.unescape(text) if xml else text:
        if c < "\x80" or c in out or (_CODE_PAGE == "cp1252" and c in _KEPT_CONTROLS):
            continue
        try:
            c.encode(_CODE_PAGE)
        except UnicodeEncodeError:
            out.append(c)
    return out


@dataclass(frozen=True)
class StatusMessage:
    """One status message: level, source (the operation that posted it), code, text."""

    level: int
    source: int
    code: int
    text: str

    @property
    def level_name(self):
        return level_name(self.level)

    @property
    def source_name(self):
        return source_name(self.source)

    @property
    def meaning(self):
        return code_meaning(self.code)

    def __str__(self):
        line = "[%s] %s %d (%s)" % (self.level_name, self.source_name, self.code, self.meaning)
        return line + ": " + self.text if self.text else line


@dataclass(frozen=True)
class TagField:
    """A field of a ReadTags tag: a template field ('SWTT'), raw memory ('MEM'),
    or a listed template field the tag's template lacks (``exists`` false)."""

    kind: str
    entry_nr: Optional[int]
    swtt_mask: str
    name: str
    data_type: str
    data_start: Optional[int]
    data_len: Optional[int]
    field_status: Optional[int]
    warning: str
    text: str

    @property
    def exists(self):
        return not self.warning

    @property
    def value(self) -> Union[int, str]:
        """An int for an Int field whose text is a number, else the text."""
        if self.data_type == "Int":
            try:
                return int(self.text)
            except ValueError:
                pass
        return self.text


@dataclass(frozen=True)
class Tag:
    """A tag as an identify or a read reported it."""

    id: str
    swtt: str
    hw_tag_type: str = ""
    antenna: Optional[int] = None  # None where the driver does not report it
    fields: Tuple[TagField, ...] = dc_field(default_factory=tuple)

    def field(self, name) -> Optional[TagField]:
        """The first field of that name, or None."""
        for f in self.fields:
            if f.exists and f.name == name:
                return f
        return None

    def __getitem__(self, name):
        """The value of the named field (KeyError when the tag has none)."""
        f = self.field(name)
        if f is None:
            raise KeyError(name)
        return f.value


class WriteRequest:
    """A WriteTags request: choose tags, then the fields to write into them.

        WriteRequest().tag("0456000000000007").field(1, 1250).mem(48, "Müller")

    Each group of tags (tag, tags_with_swtt, all_tags) is written by one
    driver call, one group after the other.
    """

    _TYPES = {"h": "Hex", "i": "Int", "s": "String"}

    def __init__(self):
        self._groups: List[List[str]] = []

    def _start(self, attributes):
        self._groups.append(["<Tag%s>" % attributes])
        return self

    def _add(self, element):
        if not self._groups:
            raise ValueError("choose the tags first: tag(id), tags_with_swtt(prefix) or all_tags()")
        self._groups[-1].append(element)
        return self

    def tag(self, tag_id):
        """A group with the one tag of this identifier (16 hexadecimal digits)."""
        return self._start(' ID="%s"' % _attr(tag_id))

    def tags_with_swtt(self, prefix):
        """A group with every tag whose SWTT identifier begins with the prefix."""
        return self._start(' SWTT="%s"' % _attr(prefix))

    def all_tags(self):
        """A group with every tag in the field."""
        return self._start("")

    def field(self, entry_nr, value):
        """Template field entry_nr (0 to 15) of the group's tags gets the value."""
        return self._add('<SWTTField EntryNr="%d">%s</SWTTField>' % (entry_nr, _escape(str(value))))

    def mem(self, start, value, length=None, type="s"):
        """Raw memory from start gets the value: type 'h', 'i' or 's'; without
        a length, a string is as long as its text."""
        length_attr = "" if length is None else ' MemLen="%d"' % length
        return self._add('<MEMField MemStart="%d"%s MemType="%s">%s</MEMField>'
                         % (start, length_attr, self._TYPES[type], _escape(str(value))))

    def swtt(self, new_swtt):
        """The group's tags get a new SWTT identifier (12 hexadecimal digits)."""
        return self._add("<SWTT>%s</SWTT>" % _escape(new_swtt))

    def to_xml(self):
        return "<WriteTags>" + "".join("".join(g) + "</Tag>" for g in self._groups) + "</WriteTags>"

    __str__ = to_xml


def _attr(value):
    return _escape(value, {'"': "&quot;"})


def _config_path(path):
    # The library completes a bare template file name with the reader list's
    # directory; a bare list name has none to give, so it goes as ./NAME.
    if "/" not in path and "\\" not in path:
        path = "./" + path
    return path


def readers(config=None) -> List[str]:
    """The readers that a reader list names, in its order.

    config: the reader list file; None: RF_RFID_CONFIG, else rfconfig.ini.
    """
    context = _Context(config, None)
    try:
        return context.readers()
    finally:
        context.stop()


def library_version() -> str:
    """The library's version, for example '1.23'."""
    major, minor = ctypes.c_int32(), ctypes.c_int32()
    lib.VOLNEDA_Version(ctypes.byref(major), ctypes.byref(minor))
    return "%d.%02d" % (major.value, minor.value)


class _Context:
    """A library context with its dispatcher and a thread fetching messages."""

    def __init__(self, config, on_status):
        self.config = config or os.environ.get("RF_RFID_CONFIG") or "rfconfig.ini"
        self.on_status = on_status
        self.handle = ctypes.c_void_p()
        lib.VOLNEDA_StartAll(ctypes.byref(self.handle), text_in(_config_path(self.config)))
        lib.StartDispatcher(self.handle)
        self.cond = threading.Condition()
        self.posted = self.seen = 0
        self.waiting = False
        self.thread = threading.Thread(target=self._fetch, name="volneda-status", daemon=True)
        self.thread.start()

    def _fetch(self):
        level, source, code = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
        text = buffer(512)
        while True:
            with self.cond:
                self.waiting = True
                self.cond.notify_all()
            got = lib.DispatcherGetData(self.handle, ctypes.byref(level), ctypes.byref(source),
                                        ctypes.byref(code), text, 512)
            with self.cond:
                self.waiting = False
            if not got:
                return
            message = StatusMessage(level.value, source.value, code.value, text_out(text))
            if (message.level, message.source, message.code, message.text) == _MARKER:
                with self.cond:
                    self.seen += 1
                    self.cond.notify_all()
            elif self.on_status is not None:
                try:
                    self.on_status(message)
                except Exception:  # a failing callback must not stop the messages behind it
                    import traceback
                    traceback.print_exc()

    def flush(self):
        """Returns once every message posted so far went through the callback."""
        if threading.current_thread() is self.thread:
            return
        with self.cond:
            self.posted += 1
            target = self.posted
        lib.SetCommTimeOut(self.handle, 0)
        with self.cond:
            if not self.cond.wait_for(lambda: self.seen >= target, _FLUSH_LIMIT):
                self.seen = self.posted  # the marker was dropped by a full ring

    def readers(self):
        name = buffer(32)
        code = lib.VOLNEDA_FindFirstReader(self.handle, name, None)
        if code != 0:
            raise VolnedaError("list the readers of " + self.config, code, code_meaning(code))
        names = []
        while True:
            names.append(text_out(name))
            if lib.VOLNEDA_FindNextReader(self.handle, name) != 0:
                return names

    def stop(self):
        # StopDispatcher must find the status thread waiting for it: drain
        # the queue, wait until the thread is back in DispatcherGetData.
        self.flush()
        with self.cond:
            self.cond.wait_for(lambda: self.waiting, _FLUSH_LIMIT)
        time.sleep(0.005)
        lib.StopDispatcher(self.handle)
        self.thread.join()
        lib.VOLNEDA_StopAll(ctypes.byref(self.handle))


class Reader:
    """An open reader.  Use it as a context manager:

        with volneda.Reader("DOCK1", config="rfconfig.ini", on_status=print) as reader:
            for tag in reader.read("field(1)", where="swtt=0456"):
                print(tag.id, tag["Weight"])

    on_status is called on a daemon thread of the reader's own, for every
    status message, in order; every message of an operation has been passed
    to it when the operation returns.  It must not call the reader.
    Failures raise VolnedaError with the code and its meaning.

    Text that the library's 8-bit code page cannot hold (Windows-1252, or the
    ANSI code page on Windows) raises LossyTextError naming the characters,
    before anything reaches the reader; with lossy=True it goes through, and
    the library stores '?' for each such character.
    """

    def __init__(self, name: Optional[str] = None, config: Optional[str] = None,
                 on_status: Optional[Callable[[StatusMessage], None]] = None, lossy: bool = False):
        self.lossy = lossy
        self._lock = threading.RLock()
        self._context = _Context(config, on_status)
        self.name = None
        self.last_document = ""
        try:
            chosen = name or self._context.readers()[0]
            code = lib.VOLNEDA_Open(self._context.handle, text_in(chosen))
            self._context.flush()
            if code != 0:
                try:
                    held = "the reader list %s holds %s" % (self._context.config,
                                                             ", ".join(self._context.readers()))
                except VolnedaError:
                    held = "the reader list %s cannot be read" % self._context.config
                # An open that failed after the driver opened the reader
                # leaves it open; this releases it.
                lib.VOLNEDA_Close(self._context.handle)
                raise VolnedaError("open " + chosen, code, code_meaning(code), held)
            self.name = chosen
        except BaseException:
            self._context.stop()
            self._context = None
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        """Closes the reader, stops the status thread, releases the context."""
        with self._lock:
            if self._context is None:
                return
            if self.name is not None:
                lib.VOLNEDA_Close(self._context.handle)
            self.name = None
            self._context.stop()
            self._context = None

    def _check(self, operation, code):
        self._context.flush()
        if code == 0:
            return
        meaning = code_meaning(code)
        if not is_library_code(code):
            text = buffer(113)
            if lib.VOLNEDA_GetErrorString(self._context.handle, code, text):
                t = text_out(text)
                if t and not t.startswith("Unable to retieve"):
                    meaning = "reader driver: " + t
        raise VolnedaError(operation, code, meaning)

    def _holds(self, what, text, xml=False):
        lost = [] if self.lossy else unholdable_characters(text, xml)
        if lost:
            raise LossyTextError(what, lost)

    def _handle(self):
        if self._context is None:
            raise ValueError("the reader is closed")
        return self._context.handle

    def command(self, command: str) -> List[Tag]:
        """Runs a command of the command language as it stands; the tags of its result."""
        with self._lock:
            handle = self._handle()
            self._holds(command, command)
            length, count = ctypes.c_int32(), ctypes.c_int32()
            code = lib.VOLNEDA_Command(handle, text_in(command), ctypes.byref(length), ctypes.byref(count))
            self._check(command, code)
            doc = buffer(length.value + 1)
            lib.VOLNEDA_GetXMLData(handle, doc, length.value + 1)
            self.last_document = text_out(doc)
            return _parse(self.last_document)

    def identify(self, where: Optional[str] = None) -> List[Tag]:
        """The tags in the field, or those that 'swtt=MASK' or 'tagid=ID' selects."""
        return self.command("identify " + _where(where) if where else "identify")

    def read(self, select: str = "", where: Optional[str] = None) -> List[Tag]:
        """Reads fields: select lists template fields 'field(0,1)' and raw memory
        'mem(NAME,START,LENGTH,TYPE)' ('' with no where: every template field;
        '*': every template field also with a where clause)."""
        text = ("read " + select).rstrip()
        if where:
            text += " " + _where(where)
        return self.command(text)

    def write(self, request: Union[WriteRequest, str]) -> None:
        """Carries out a write request (a WriteRequest, a WriteTags document, or
        '@' and the name of a UTF-8 file holding one)."""
        with self._lock:
            document = request.to_xml() if isinstance(request, WriteRequest) else request
            handle = self._handle()
            self._holds("write", _request_text(document), xml=True)
            self._check("write", lib.VOLNEDA_Write(handle, text_in(document)))

    def attribute(self, name: str) -> str:
        """A reader attribute's value."""
        with self._lock:
            value = buffer(64)
            self._check("get attribute " + name, lib.VOLNEDA_GetAttribute(self._handle(), text_in(name), value))
            return text_out(value)

    def set_attribute(self, name: str, value: str) -> None:
        """Sets a reader attribute."""
        with self._lock:
            handle = self._handle()
            self._holds("set attribute " + name, name + " " + value)
            self._check("set attribute " + name, lib.VOLNEDA_SetAttribute(handle, text_in(name), text_in(value)))


def _request_text(document):
    """The text of a request: '@' and a file name stand for the file's text
    (a regular file of at most 16 MiB; the library reports any other)."""
    if not document.startswith("@"):
        return document
    try:
        if os.path.isfile(document[1:]) and os.path.getsize(document[1:]) <= 16 << 20:
            with open(document[1:], "rb") as f:
                return f.read().decode("utf-8", "replace")
    except OSError:
        pass
    return ""


def _where(where):
    w = where.strip()
    return w if w[:5].lower() == "where" else "where " + w


def _number(element, name):
    value = element.get(name)
    try:
        return int(value) if value else None
    except ValueError:
        return None


def _parse(document) -> List[Tag]:
    if not document:
        return []
    root = ET.fromstring(document)
    tags = []
    for t in root.findall("Tag"):
        fields = tuple(
            TagField(kind=f.get("Type", ""), entry_nr=_number(f, "EntryNr"), swtt_mask=f.get("SWTTmask", ""),
                     name=f.get("Name", ""), data_type=f.get("DataType", ""), data_start=_number(f, "DataStart"),
                     data_len=_number(f, "DataLen"), field_status=_number(f, "FieldStatus"),
                     warning=f.get("Warning", ""), text=f.text or "")
            for f in t.findall("Field"))
        antenna = t.get("Antenna")
        tags.append(Tag(id=t.get("ID", ""), swtt=t.get("SWTT", ""), hw_tag_type=t.get("HWTAGTYPE", ""),
                        antenna=int(antenna, 16) if antenna else None, fields=fields))
    return tags
