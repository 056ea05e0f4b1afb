"""A private headless sway session for one end-to-end test of the Linux program.

The program runs on Xwayland there and must read the screen through the
compositor, so the pictures it picks from are native Wayland surfaces: the
background that swaybg draws from a solid color or a picture the test writes.
The user, its runtime directory, the guard and the sweep are the desktop
session's (user_session.py); what is sway's:

- headless sway starts from a config the session writes, under
  dbus-run-session when the desktop portal is wanted (PipeWire,
  xdg-desktop-portal and its wlr and gtk back ends then come up in the
  session, the portals by D-Bus activation); the config runs the script that
  announces the displays;
- grim (as the user) reads the screen as the compositor shows it;
- the program starts inside the session with `swaymsg exec`;
- sway draws a title bar and borders it tells X clients nothing of: the
  outer rectangle comes from its tree;
- at the end sway is told to exit before the sweep.
"""

import json
import os
import shlex
import struct
import subprocess
import time
import zlib

from user_session import SIZE, Failure, UserSession, session

OUTPUT = "HEADLESS-1"
# Left by xdg-desktop-portal-wlr 0.7 for each screenshot, whoever asked; one
# that another user left makes every later screenshot fail.
PORTAL_SHOT = "/tmp/out.png"


def write_png(path, rows):
    """A 24-bit PNG from rows of bytes (RGB), with zlib alone."""

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = len(rows), len(rows[0]) // 3
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


class SwaySession(UserSession):
    """A headless sway with Xwayland; `background` is "#RRGGBB" or a list of
    rows of RGB bytes, 1280 x 1024, for swaybg to draw; `portal` brings up the
    desktop portal in a session bus."""

    NAME = DESKTOP = "sway"
    TAG = "wl"
    TOOLS = ["sway", *UserSession.TOOLS, "swaybg", "grim", "xhost"]
    PACKAGES = "wayland"

    def __init__(self, args, background="#336699", portal=False):
        super().__init__(args)
        self.background = background
        self.portal = portal
        self.swaysock = None

    def _start_compositor(self):
        if os.path.exists(PORTAL_SHOT):
            os.unlink(PORTAL_SHOT)
        if isinstance(self.background, str):
            background = f"{self.background} solid_color"
            self.expected_corner = session.rgb(self.background[1:])
        else:
            path = os.path.join(self.rundir, "background.png")
            write_png(path, self.background)
            os.chown(path, self.uid, self.gid)
            background = f"{path} stretch"
            self.expected_corner = tuple(self.background[0][0:3])
        lines = [
            "xwayland enable",
            f"output {OUTPUT} resolution {SIZE[0]}x{SIZE[1]} position 0 0 bg {background}",
        ]
        if self.portal:
            lines += ["exec dbus-update-activation-environment WAYLAND_DISPLAY "
                      "XDG_CURRENT_DESKTOP DISPLAY",
                      "exec pipewire"]
        lines.append(f"exec {self._announce()}")
        config = self._own_file("config", ("\n".join(lines) + "\n").encode())
        env = {**self._home_env(), "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman",
               "WLR_LIBINPUT_NO_DEVICES": "1"}
        command = ["sway", "-c", config]
        if self.portal:
            command = ["dbus-run-session", "--", *command]
        self._launch(self.user_command(command, env))
        self._wait_ready()
        self.swaysock = next(os.path.join(self.rundir, name) for name in os.listdir(self.rundir)
                             if name.startswith("sway-ipc."))
        # swaybg has drawn the background.
        self.wait_for(lambda: self.screenshot().rgb(0, 0) == self.expected_corner,
                      "the background to be drawn", 20)

    def _end_compositor(self):
        if self.swaysock:
            subprocess.run(["swaymsg", "-s", self.swaysock, "exit"], capture_output=True,
                           timeout=10)
            self.swaysock = None
            try:
                self.compositor.wait(5)
            except subprocess.TimeoutExpired:
                pass

    # The compositor

    def exec_in_session(self, script):
        """Runs a shell script as the session's user, as sway's child (with
        the session's DISPLAY and WAYLAND_DISPLAY), without waiting for it."""
        self.swaymsg("exec", f"sh -c {shlex.quote(script)}")

    def swaymsg(self, *words):
        return self.run(["swaymsg", "-s", self.swaysock, *words]).stdout.decode()

    def portal_answers(self):
        """Whether the desktop portal takes a screenshot when asked (by gdbus):
        the session's own part of the portal tests. Brings the portal up."""
        def call(method, *words, timeout=20):
            try:
                self.gdbus("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                           method, *words, timeout=timeout)
                return True
            except Failure:
                return False

        # The call that starts the portal goes unanswered now and then on a
        # busy machine (xdg-desktop-portal 1.16): ask something small first,
        # again if need be.
        started = time.monotonic()
        if not any(call("org.freedesktop.DBus.Properties.Get",
                        "org.freedesktop.portal.Screenshot", "version", timeout=4)
                   for _ in range(4)):
            print("the portal does not answer", flush=True)
            return False
        print(f"portal up in {time.monotonic() - started:.1f} s", flush=True)
        if not call("org.freedesktop.portal.Screenshot.Screenshot", "",
                    "{'interactive': <false>}"):
            print("the portal refused a screenshot", flush=True)
            return False

        def written():
            try:
                return os.stat(PORTAL_SHOT).st_uid == self.uid
            except FileNotFoundError:
                return False

        answered = session.poll(written, 10)
        if answered:
            os.unlink(PORTAL_SHOT)
        return answered

    def screenshot(self):
        # One pixel a layout pixel, whatever the outputs' scales.
        return session.PpmShot(self.as_user(["grim", "-s", "1", "-t", "ppm", "-"]).stdout)

    def save_screenshot(self, name):
        path = os.path.join(self.args.artifacts, name)
        with open(path, "wb") as f:
            f.write(self.as_user(["grim", "-"]).stdout)
        print(f"screenshot: {path}", flush=True)

    def tree_rect(self, window):
        """(left, top, right, bottom) of an X window's container in sway, with
        the title bar and borders sway draws around it."""
        def find(node):
            if str(node.get("window")) == str(int(window)):
                return node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                hit = find(child)
                if hit:
                    return hit
            return None

        node = find(json.loads(self.swaymsg("-t", "get_tree")))
        if node is None:
            raise Failure(f"sway does not manage window {window}")
        r, title = node["rect"], node["deco_rect"]
        top = r["y"] - title["height"] if node["type"] == "floating_con" else r["y"]
        return r["x"], top, r["x"] + r["width"], r["y"] + r["height"]

    def outer_rect(self, window=None):
        return self.tree_rect(window or self.main_window)

    def known_outer_rect(self, window=None):
        """The outer rectangle as an X client can know it: with the frame the
        compositor tells (_NET_FRAME_EXTENTS), else the client area alone."""
        return session.Session.outer_rect(self, window)
