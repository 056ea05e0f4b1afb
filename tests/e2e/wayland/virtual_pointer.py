"""A pointing device and a keyboard inside the compositor, for tests whose
input must be the compositor's own: xdotool's moves reach only Xwayland's
pointer, which the compositor neither moves nor draws, and its keys go
straight into Xwayland, while a person's mouse moves the compositor's
pointer, which it draws into the screen (in software on a headless output)
and passes on to Xwayland, and a person's keys go to the surface the
compositor focuses. It also reaches what xdotool cannot: Wayland windows,
such as a desktop portal's dialogs.

It speaks the Wayland wire protocol itself (no client library is needed for
so few requests): wl_display, wl_registry, and either wlroots' virtual
pointer and keyboard (zwlr_virtual_pointer_manager_v1, zwp_virtual_keyboard_
manager_v1) or KWin's fake input (org_kde_kwin_fake_input), by their
published request numbers.
"""

import array
import os
import socket
import struct
import sys
import time

# Request numbers, in the order the interfaces declare them.
DISPLAY_SYNC, DISPLAY_GET_REGISTRY = 0, 1
REGISTRY_BIND = 0
MANAGER_CREATE_VIRTUAL_POINTER = 0
POINTER_MOTION, POINTER_MOTION_ABSOLUTE, POINTER_BUTTON, POINTER_FRAME = 0, 1, 2, 4
FAKE_AUTHENTICATE, FAKE_BUTTON, FAKE_MOTION_ABSOLUTE, FAKE_KEY = 0, 2, 9, 10  # key since 4
KEYBOARD_MANAGER_CREATE = 0
KEYBOARD_KEYMAP, KEYBOARD_KEY = 0, 1
XKB_V1 = 1  # the keymap's format
# Event numbers.
DISPLAY_ERROR = 0
REGISTRY_GLOBAL = 0
CALLBACK_DONE = 0

MANAGER = "zwlr_virtual_pointer_manager_v1"
KEYBOARD_MANAGER = "zwp_virtual_keyboard_manager_v1"
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

    def _send(self, target, opcode, body, fd=None):
        data = struct.pack("<II", target, (8 + len(body)) << 16 | opcode) + body
        if fd is None:
            self.sock.sendall(data)
        else:  # a descriptor goes beside the message
            fds = array.array("i", [fd])
            self.sock.sendmsg([data], [(socket.SOL_SOCKET, socket.SCM_RIGHTS, fds)])

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


class VirtualKeyboard(_Client):
    """wlroots' virtual keyboard: the compositor's keyboard, with the US
    layout; keys by their evdev codes."""

    KEYMAP = (b'xkb_keymap { xkb_keycodes { include "evdev+aliases(qwerty)" }; '
              b'xkb_types { include "complete" }; xkb_compat { include "complete" }; '
              b'xkb_symbols { include "pc+us+inet(evdev)" }; };\0')

    def __init__(self, socket_path):
        super().__init__(socket_path)
        seat, manager = self._bind("wl_seat", 1), self._bind(KEYBOARD_MANAGER, 1)
        self.keyboard = self._new_id()
        self._send(manager, KEYBOARD_MANAGER_CREATE, struct.pack("<II", seat, self.keyboard))
        keymap = os.memfd_create("keymap")
        os.write(keymap, self.KEYMAP)
        self._send(self.keyboard, KEYBOARD_KEYMAP, struct.pack("<II", XKB_V1, len(self.KEYMAP)),
                   keymap)
        os.close(keymap)
        list(self._until_synced())

    def key(self, code, state):
        self._send(self.keyboard, KEYBOARD_KEY, struct.pack("<III", self._ms(), code, state))
        list(self._until_synced())


class FakeInput(_Client):
    """KWin's fake input: the compositor's pointer and keyboard, moved,
    pressed and typed as a mouse and a keyboard would be. KWin takes it from
    any client only when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1."""

    def __init__(self, socket_path):
        super().__init__(socket_path)
        self.device = self._bind(FAKE_INPUT, 4)
        self._send(self.device, FAKE_AUTHENTICATE, _string("huevex tests") + _string("clicks"))
        list(self._until_synced())

    def move(self, x, y):
        self._send(self.device, FAKE_MOTION_ABSOLUTE, struct.pack("<ii", x * 256, y * 256))
        list(self._until_synced())

    def press(self, button=1):
        self._button(button, 1)

    def release(self, button=1):
        self._button(button, 0)

    def _button(self, button, state):
        self._send(self.device, FAKE_BUTTON, struct.pack("<II", BUTTONS[button], state))
        list(self._until_synced())

    def key(self, code, state):
        self._send(self.device, FAKE_KEY, struct.pack("<II", code, state))
        list(self._until_synced())


def for_session(s):
    """The virtual pointer of a SwaySession (its socket, its output's size)."""
    from user_session import SIZE
    return VirtualPointer(s.wayland_socket(), *SIZE)


def serve(mouse, keyboard):
    """Takes commands from stdin, one a line, and answers each with a line,
    as mutter_hands.py does:
        move X Y | click X Y | key CODE | keys CODE...  ->  ok | error WHAT
    (a key is pressed and let go; keys are held down in turn, then let go in
    reverse, as a hand types a shortcut)."""
    print("ok", flush=True)
    for line in sys.stdin:
        words = line.split()
        try:
            if words[0] in ("move", "click"):
                mouse.move(int(words[1]), int(words[2]))
            if words[0] == "click":
                time.sleep(0.05)
                mouse.press()
                time.sleep(0.05)
                mouse.release()
            elif words[0] in ("key", "keys"):
                codes = [int(w) for w in words[1:]]
                for code, state in [(c, 1) for c in codes] + [(c, 0) for c in reversed(codes)]:
                    keyboard.key(code, state)
                    time.sleep(0.03)
            elif words[0] != "move":
                raise ValueError(f"no command {words[0]}")
            print("ok", flush=True)
        except (ValueError, IndexError, RuntimeError) as error:
            print(f"error {error}", flush=True)


if __name__ == "__main__":
    # Run as the session's user (KWin lets a client have its fake input only
    # if it knows the client's program, and it cannot know another user's):
    #   virtual_pointer.py WIDTH HEIGHT   (the layout's size, for wlroots' pointer)
    path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"])
    try:
        probe = _Client(path)
        probe.close()
        if FAKE_INPUT in probe.globals:
            device = FakeInput(path)
            serve(device, device)
        else:
            serve(VirtualPointer(path, int(sys.argv[1]), int(sys.argv[2])), VirtualKeyboard(path))
    except (OSError, RuntimeError) as error:
        print(f"error {error}", flush=True)
