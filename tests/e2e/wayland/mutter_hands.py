#!/usr/bin/python3
"""A person's hands and eyes inside a GNOME session, run as its user.

xdotool reaches only Xwayland; the shell's own dialogs (the portal's
questions) are Wayland windows. Mutter's RemoteDesktop interface moves the
compositor's pointer (absolute motion needs a screen cast stream of the
monitor, which is never started as a PipeWire consumer) and presses its
buttons. The Shell's Screenshot interface answers only callers that own one
of a few well-known names, so this process takes one of them
(org.gnome.Screenshot) and saves what the compositor shows as PNG files.

Both live only as long as this process's connection to the session bus, so
it reads commands from stdin, one a line, and answers each with a line:

    move X Y | press | release | click X Y | key CODE | shot PATH | quit
    -> "ok" or "error <what>"

(a key, by its evdev code, is pressed and let go).

Runs under the system's python3 (it needs python3-gi).
"""

import sys
import time

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

BTN_LEFT = 0x110  # evdev's code for the left button


def call(bus, name, path, interface, method, args=None, reply="()"):
    return bus.call_sync(name, path, interface, method, args, GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, 10000, None).unpack()


class Hands:
    def __init__(self, monitor):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        call(self.bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
             "RequestName", GLib.Variant("(su)", ("org.gnome.Screenshot", 4)), "(u)")
        rd = "org.gnome.Mutter.RemoteDesktop"
        (self.session,) = call(self.bus, rd, "/org/gnome/Mutter/RemoteDesktop", rd,
                               "CreateSession", None, "(o)")
        session_id = self.bus.call_sync(
            rd, self.session, "org.freedesktop.DBus.Properties", "Get",
            GLib.Variant("(ss)", (rd + ".Session", "SessionId")), GLib.VariantType("(v)"),
            Gio.DBusCallFlags.NONE, 10000, None).unpack()[0]
        sc = "org.gnome.Mutter.ScreenCast"
        (cast,) = call(self.bus, sc, "/org/gnome/Mutter/ScreenCast", sc, "CreateSession",
                       GLib.Variant("(a{sv})", ({"remote-desktop-session-id":
                                                 GLib.Variant("s", session_id)},)), "(o)")
        (self.stream,) = call(self.bus, sc, cast, sc + ".Session", "RecordMonitor",
                              GLib.Variant("(sa{sv})", (monitor, {})), "(o)")
        self.rd = rd + ".Session"
        call(self.bus, rd, self.session, self.rd, "Start")

    def _rd(self, method, signature, *args):
        call(self.bus, "org.gnome.Mutter.RemoteDesktop", self.session, self.rd, method,
             GLib.Variant(signature, args))

    def move(self, x, y):
        self._rd("NotifyPointerMotionAbsolute", "(sdd)", self.stream, float(x), float(y))

    def button(self, pressed):
        self._rd("NotifyPointerButton", "(ib)", BTN_LEFT, pressed)

    def key(self, code):
        for pressed in (True, False):
            self._rd("NotifyKeyboardKeycode", "(ub)", code, pressed)
            time.sleep(0.03)

    def shot(self, path):
        name = "org.gnome.Shell.Screenshot"
        ok, _ = call(self.bus, name, "/org/gnome/Shell/Screenshot", name, "Screenshot",
                     GLib.Variant("(bbs)", (False, False, path)), "(bs)")
        if not ok:
            raise RuntimeError("the shell took no screenshot")

    def stop(self):
        try:
            call(self.bus, "org.gnome.Mutter.RemoteDesktop", self.session, self.rd, "Stop")
        except GLib.Error:
            pass


def main():
    try:
        hands = Hands(sys.argv[1] if len(sys.argv) > 1 else "Meta-0")
    except (GLib.Error, RuntimeError) as error:
        print(f"error {error}", flush=True)
        return 1
    print("ok", flush=True)
    for line in sys.stdin:
        words = line.split()
        try:
            if not words or words[0] == "quit":
                break
            if words[0] == "move":
                hands.move(*map(int, words[1:3]))
            elif words[0] in ("press", "release"):
                hands.button(words[0] == "press")
            elif words[0] == "click":
                hands.move(*map(int, words[1:3]))
                time.sleep(0.05)
                hands.button(True)
                time.sleep(0.05)
                hands.button(False)
            elif words[0] == "key":
                hands.key(int(words[1]))
            elif words[0] == "shot":
                hands.shot(words[1])
            else:
                raise RuntimeError(f"no command {words[0]}")
            print("ok", flush=True)
        except (GLib.Error, RuntimeError, ValueError, IndexError) as error:
            print(f"error {error}", flush=True)
    hands.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
