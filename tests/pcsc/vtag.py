#!/usr/bin/env python3
"""Emulated ISO 15693 tags behind the virtual PC/SC reader (vpcd).

One tag per vpcd slot: slot n connects to 127.0.0.1 at port base + n and
answers vpcd's frames (2-byte big-endian length, then the bytes; a 1-byte
frame is a control: 0 power off, 1 power on, 2 reset, 4 ATR) with the
storage card answers of a PC/SC reader: FF CA (UID, least significant
byte first), FF B0 (read binary) and FF D6 (update binary), with the
status words such readers give.

The tests steer the tags through a line protocol on 127.0.0.1:<control>,
one command a line, each answered by "ok [data]" or "error <text>":
  insert SLOT UID [BLOCKSIZE BLOCKS [byte]]  place a tag (UID most
                                             significant byte first)
  remove SLOT                                take it away
  mem SLOT ADDRESS HEX                       set memory bytes
  get SLOT ADDRESS LENGTH                    memory bytes as hex
  fault SLOT BLOCK SW                        that block answers SW (0000: no
                                             fault; drop: the tag leaves)
"""
import socket
import struct
import sys
import threading
import time

# A PC/SC part 3 ATR of a contactless storage card, ISO 15693 part 3.
ATR = bytes.fromhex("3B8F8001804F0CA0000003060B00000000000063")


class Tag:
    def __init__(self, uid, block_size=4, blocks=64, byte_mode=False):
        self.uid = uid
        self.block_size = block_size
        self.memory = bytearray(block_size * blocks)
        self.byte_mode = byte_mode
        self.faults = {}

    def apdu(self, c):
        if len(c) < 5 or c[0] != 0xFF:
            return b"\x6E\x00"
        ins, p1, p2, p3 = c[1], c[2], c[3], c[4]
        if ins == 0xCA:
            return (self.uid[::-1] if p1 == 0 else b"") + (b"\x90\x00" if p1 == 0 else b"\x6A\x81")
        where = (p1 << 8) | p2
        address = where if self.byte_mode else where * self.block_size
        block = address // self.block_size
        if block in self.faults:
            return self.faults[block]  # None: the tag is gone
        if ins == 0xB0:
            length = p3 or 256
            if address >= len(self.memory):
                return b"\x6A\x82"
            if not self.byte_mode and length > self.block_size and length % self.block_size:
                return b"\x67\x00"
            data = bytes(self.memory[address:address + length])
            return data + (b"\x90\x00" if len(data) == length else b"\x62\x82")
        if ins == 0xD6:
            data = c[5:5 + p3]
            if len(data) != p3 or (not self.byte_mode and p3 % self.block_size):
                return b"\x67\x00"
            if address + p3 > len(self.memory):
                return b"\x6A\x82"
            self.memory[address:address + p3] = data
            return b"\x90\x00"
        return b"\x6A\x81"


class Slot:
    def __init__(self, port):
        self.port = port
        self.tag = None
        self.sock = None
        self.lock = threading.Lock()

    def insert(self, tag):
        self.remove()
        self.tag = tag
        deadline = time.monotonic() + 10
        while True:
            try:
                sock = socket.create_connection(("127.0.0.1", self.port), timeout=2)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.1)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sock.settimeout(None)
        self.sock = sock
        threading.Thread(target=self.serve, args=(sock, tag), daemon=True).start()

    def remove(self):
        sock, self.sock = self.sock, None
        if sock:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()
            # pcscd polls vpcd every 400 ms: a tag put back sooner would
            # look like the same card to it.
            time.sleep(0.5)

    def serve(self, sock, tag):
        def exact(n):
            out = b""
            while len(out) < n:
                # vpcd sends the length and the frame apart: acknowledge
                # at once, or its next frame waits for the delayed ACK.
                if hasattr(socket, "TCP_QUICKACK"):
                    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
                chunk = sock.recv(n - len(out))
                if not chunk:
                    raise EOFError
                out += chunk
            return out

        try:
            while True:
                frame = exact(struct.unpack(">H", exact(2))[0])
                if len(frame) == 1:
                    if frame[0] != 4:
                        continue
                    answer = ATR
                else:
                    with self.lock:
                        answer = tag.apdu(frame)
                    if answer is None:
                        break
                sock.sendall(struct.pack(">H", len(answer)) + answer)
        except (OSError, EOFError):
            pass
        sock.close()


def command(slots, words):
    op, slot = words[0], slots[int(words[1])]
    with slot.lock:
        tag = slot.tag
    if op == "insert":
        size, blocks = (int(words[3]), int(words[4])) if len(words) > 4 else (4, 64)
        slot.insert(Tag(bytes.fromhex(words[2]), size, blocks, words[5:6] == ["byte"]))
        return ""
    if op == "remove":
        slot.remove()
        return ""
    if tag is None:
        raise ValueError("no tag in slot")
    with slot.lock:
        if op == "mem":
            data = bytes.fromhex(words[3])
            tag.memory[int(words[2]):int(words[2]) + len(data)] = data
            return ""
        if op == "get":
            return tag.memory[int(words[2]):int(words[2]) + int(words[3])].hex().upper()
        if op == "fault":
            tag.faults.pop(int(words[2]), None)
            if words[3] != "0000":
                tag.faults[int(words[2])] = None if words[3] == "drop" else bytes.fromhex(words[3])
            return ""
    raise ValueError("unknown command " + op)


def main():
    base, control, count = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    slots = [Slot(base + i) for i in range(count)]
    server = socket.create_server(("127.0.0.1", control))
    print("ready", flush=True)
    while True:
        conn, _ = server.accept()
        with conn, conn.makefile("rw") as f:
            for line in f:
                try:
                    answer = "ok " + command(slots, line.split())
                except Exception as e:  # the tests read the text
                    answer = "error " + str(e)
                f.write(answer.strip() + "\n")
                f.flush()


if __name__ == "__main__":
    main()
