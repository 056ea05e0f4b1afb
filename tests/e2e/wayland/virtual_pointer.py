"""A pointing device inside the compositor, for tests whose pointer must be
the compositor's own: xdotool's moves reach only Xwayland's pointer, which
the compositor neither moves nor draws, while a person's mouse moves the
compositor's pointer, which it draws into the screen (in software on a
headless output) and passes on to Xwayland.

It speaks the Wayland wire protocol itself (no client library is needed for
so few requests): wl_display, wl_registry and wlroots' virtual pointer
(zwlr_virtual_pointer_manager_v1 and zwlr_virtual_pointer_v1), by their
published request numbers.
"""

import os
import socket
import struct
import time

# Request numbers, in the order the interfaces declare them.
DISPLAY_SYNC, DISPLAY_GET_REGISTRY = 0, 1
REGISTRY_BIND = 0
MANAGER_CREATE_VIRTUAL_POINTER = 0
POINTER_MOTION, POINTER_MOTION_ABSOLUTE, POINTER_BUTTON, POINTER_FRAME = 0, 1, 2, 4
# Event numbers.
DISPLAY_ERROR = 0
REGISTRY_GLOBAL = 0
CALLBACK_DONE = 0

MANAGER = "zwlr_virtual_pointer_manager_v1"
BUTTONS = {1: 0x110, 2: 0x112, 3: 0x111}  # left, middle, right (linux/input-event-codes.h)


def _string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


class VirtualPointer:
    """The compositor's pointer, moved and pressed as a mouse would be; the
    layout is `width` x `height` logical pixels."""

    def __init__(self, socket_path, width, height):
        self.width, self.height = width, height
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(socket_path)
        self.buffer = b""
        self.next_id = 2
        registry = self._new_id()
        self._send(1, DISPLAY_GET_REGISTRY, struct.pack("<I", registry))
        globals_ = {}
        for sender, opcode, body in self._until_synced():
            if sender == registry and opcode == REGISTRY_GLOBAL:
                name, = struct.unpack_from("<I", body)
                length, = struct.unpack_from("<I", body, 4)
                interface = body[8:8 + length - 1].decode()
                version, = struct.unpack_from("<I", body, 8 + length + (-length % 4))
                globals_[interface] = (name, version)
        if MANAGER not in globals_:
            raise RuntimeError(f"the compositor offers no {MANAGER}")
        name, _ = globals_[MANAGER]
        manager = self._new_id()
        self._send(registry, REGISTRY_BIND,
                   struct.pack("<I", name) + _string(MANAGER) + struct.pack("<II", 1, manager))
        self.pointer = self._new_id()
        self._send(manager, MANAGER_CREATE_VIRTUAL_POINTER, struct.pack("<II", 0, self.pointer))
        list(self._until_synced())

    def close(self):
        self.sock.close()

    def move(self, x, y):
        self._send(self.pointer, POINTER_MOTION_ABSOLUTE,
                   struct.pack("<IIIII", self._ms(), x, y, self.width, self.height))
        self._frame()

    def press(self, button=1):
        self._button(button, 1)

    def release(self, button=1):
        self._button(button, 0)

    # The wire

    def _button(self, button, state):
        self._send(self.pointer, POINTER_BUTTON,
                   struct.pack("<III", self._ms(), BUTTONS[button], state))
        self._frame()

    def _frame(self):
        self._send(self.pointer, POINTER_FRAME, b"")
        list(self._until_synced())  # handled before the caller goes on

    @staticmethod
    def _ms():
        return int(time.monotonic() * 1000) & 0xFFFFFFFF

    def _new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def _send(self, target, opcode, body):
        self.sock.sendall(struct.pack("<II", target, (8 + len(body)) << 16 | opcode) + body)

    def _until_synced(self):
        """The events that come before the answer to a sync."""
        callback = self._new_id()
        self._send(1, DISPLAY_SYNC, struct.pack("<I", callback))
        while True:
            while len(self.buffer) < 8 or len(self.buffer) < (
                    struct.unpack_from("<I", self.buffer, 4)[0] >> 16):
                data = self.sock.recv(4096)
                if not data:
                    raise RuntimeError("the compositor closed the connection")
                self.buffer += data
            sender, word = struct.unpack_from("<II", self.buffer)
            size = word >> 16
            body, self.buffer = self.buffer[8:size], self.buffer[size:]
            if sender == 1 and word & 0xFFFF == DISPLAY_ERROR:
                raise RuntimeError(f"protocol error: {body!r}")
            if sender == callback and word & 0xFFFF == CALLBACK_DONE:
                return
            yield sender, word & 0xFFFF, body


def for_session(s):
    """The virtual pointer of a SwaySession (its socket, its output's size)."""
    wayland = next(v.split("=", 1)[1] for v in s.wayland_env if v.startswith("WAYLAND_DISPLAY="))
    path = wayland if wayland.startswith("/") else os.path.join(s.rundir, wayland)
    from sway_session import SIZE
    return VirtualPointer(path, *SIZE)
