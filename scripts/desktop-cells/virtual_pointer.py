"""A pointer device for a wlroots compositor without input devices (the headless backend), so
that its seat offers a pointer and clients that ask for one (a bar, a tray) get its clicks.
It speaks just enough of the Wayland wire protocol to create a zwlr_virtual_pointer_v1."""

import socket
import struct

MANAGER = "zwlr_virtual_pointer_manager_v1"


class VirtualPointer:
    def __init__(self, socket_path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(socket_path)
        self.last_id = 1  # the display
        registry = self._new_id()
        self._send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
        found = {}
        for obj, opcode, payload in self._roundtrip():
            if obj == registry and opcode == 0:  # wl_registry.global
                name, length = struct.unpack_from("<II", payload)
                found[payload[8:8 + length - 1].decode()] = name
        if MANAGER not in found:
            raise RuntimeError("the compositor offers no " + MANAGER)
        manager = self._new_id()
        self._send(registry, 0, struct.pack("<I", found[MANAGER]) + _string(MANAGER) +
                   struct.pack("<II", 1, manager))  # wl_registry.bind
        self.pointer = self._new_id()
        self._send(manager, 0, struct.pack("<II", 0, self.pointer))  # create_virtual_pointer
        list(self._roundtrip())

    def close(self):
        self.sock.close()

    def _new_id(self):
        self.last_id += 1
        return self.last_id

    def _send(self, obj, opcode, payload):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def _read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise RuntimeError("the compositor closed the connection")
            data += chunk
        return data

    def _roundtrip(self):
        """The events up to a wl_display.sync's answer; a protocol error raises."""
        callback = self._new_id()
        self._send(1, 0, struct.pack("<I", callback))
        while True:
            obj, word = struct.unpack("<II", self._read(8))
            payload = self._read((word >> 16) - 8)
            opcode = word & 0xFFFF
            if obj == 1 and opcode == 0:  # wl_display.error
                raise RuntimeError("protocol error: " + payload[12:].decode(errors="replace"))
            if obj == callback:
                return
            yield obj, opcode, payload


def _string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)
