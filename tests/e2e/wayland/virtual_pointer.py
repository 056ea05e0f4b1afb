"""A pointing device inside the compositor, for tests whose pointer must be
the compositor's own: xdotool's moves reach only Xwayland's pointer, which
the compositor neither moves nor draws, while a person's mouse moves the
compositor's pointer, which it draws into the screen (in software on a
headless output) and passes on to Xwayland. It also reaches what xdotool
cannot: Wayland windows, such as a desktop portal's dialogs.

It speaks the Wayland wire protocol itself (no client library is needed for
so few requests): wl_display, wl_registry, and either wlroots' virtual
pointer (zwlr_virtual_pointer_manager_v1 and zwlr_virtual_pointer_v1) or
KWin's fake input (org_kde_kwin_fake_input), by their published request
numbers.
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
FAKE_AUTHENTICATE, FAKE_BUTTON, FAKE_MOTION_ABSOLUTE = 0, 2, 9  # since version 3
FAKE_KEYBOARD_KEY = 10  # since version 4
# Event numbers.
DISPLAY_ERROR = 0
REGISTRY_GLOBAL = 0
CALLBACK_DONE = 0

MANAGER = "zwlr_virtual_pointer_manager_v1"
FAKE_INPUT = "org_kde_kwin_fake_input"
BUTTONS = {1: 0x110, 2: 0x112, 3: 0x111}  # left, middle, right (linux/input-event-codes.h)


def _string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


class _Client:
    """A connection to the compositor and its globals, by interface name."""

    def __init__(self, socket_path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(socket_path)
        self.buffer = b""
        self.next_id = 2
        self.registry = self._new_id()
        self._send(1, DISPLAY_GET_REGISTRY, struct.pack("<I", self.registry))
        self.globals = {}
        for sender, opcode, body in self._until_synced():
            if sender == self.registry and opcode == REGISTRY_GLOBAL:
                name, = struct.unpack_from("<I", body)
                length, = struct.unpack_from("<I", body, 4)
                interface = body[8:8 + length - 1].decode()
                version, = struct.unpack_from("<I", body, 8 + length + (-length % 4))
                self.globals[interface] = (name, version)

    def _bind(self, interface, version):
        if interface not in self.globals or self.globals[interface][1] < version:
            raise RuntimeError(f"the compositor offers no {interface} (version {version})")
        bound = self._new_id()
        self._send(self.registry, REGISTRY_BIND,
                   struct.pack("<I", self.globals[interface][0]) + _string(interface) +
                   struct.pack("<II", version, bound))
        return bound

    def close(self):
        self.sock.close()

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


class VirtualPointer(_Client):
    """The compositor's pointer, moved and pressed as a mouse would be; the
    layout is `width` x `height` logical pixels."""

    def __init__(self, socket_path, width, height):
        super().__init__(socket_path)
        self.width, self.height = width, height
        manager = self._bind(MANAGER, 1)
        self.pointer = self._new_id()
        self._send(manager, MANAGER_CREATE_VIRTUAL_POINTER, struct.pack("<II", 0, self.pointer))
        list(self._until_synced())

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


class FakeInput(_Client):
    """KWin's fake input: the compositor's pointer, moved and pressed as a
    mouse would be, and its keyboard (version 4). KWin takes it from any
    client only when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1."""

    def __init__(self, socket_path):
        super().__init__(socket_path)
        self.device = self._bind(FAKE_INPUT, min(self.globals.get(FAKE_INPUT, (0, 3))[1], 4))
        self._send(self.device, FAKE_AUTHENTICATE, _string("huevex tests") + _string("clicks"))
        list(self._until_synced())

    def move(self, x, y):
        self._send(self.device, FAKE_MOTION_ABSOLUTE, struct.pack("<ii", x * 256, y * 256))
        list(self._until_synced())

    def press(self, button=1):
        self._button(button, 1)

    def release(self, button=1):
        self._button(button, 0)

    def click(self, x, y):
        self.move(x, y)
        time.sleep(0.05)
        self.press()
        time.sleep(0.05)
        self.release()

    def _button(self, button, state):
        self._send(self.device, FAKE_BUTTON, struct.pack("<II", BUTTONS[button], state))
        list(self._until_synced())

    def keys(self, codes):
        """Holds the keys (linux/input-event-codes.h) down in turn, then lets
        them go in reverse, as a hand types a shortcut."""
        for code, state in [(c, 1) for c in codes] + [(c, 0) for c in reversed(codes)]:
            self._send(self.device, FAKE_KEYBOARD_KEY, struct.pack("<II", code, state))
            list(self._until_synced())
            time.sleep(0.03)


def for_session(s):
    """The virtual pointer of a SwaySession (its socket, its output's size)."""
    from user_session import SIZE
    return VirtualPointer(s.wayland_socket(), *SIZE)


if __name__ == "__main__":
    # KWin lets a client have its fake input only if it knows the client's
    # program, and it cannot know another user's: the session's user runs
    #   virtual_pointer.py X Y [X Y...]
    # which clicks at each point in turn with the compositor's pointer, or
    #   virtual_pointer.py keys CODE...
    # which types the keys as one shortcut.
    import sys
    wayland = os.environ["WAYLAND_DISPLAY"]
    device = FakeInput(os.path.join(os.environ["XDG_RUNTIME_DIR"], wayland))
    typing = sys.argv[1:2] == ["keys"]
    points = [int(v) for v in sys.argv[1 + typing:]]
    if typing:
        device.keys(points)
        points = []
    for x, y in zip(points[::2], points[1::2]):
        device.click(x, y)
        time.sleep(0.3)
    device.close()
