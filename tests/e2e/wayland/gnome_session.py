"""A private headless GNOME Shell session for one end-to-end test of the Linux
program.

The shell runs with a virtual 1280 x 1024 monitor and Xwayland, as the
desktop session's user (user_session.py: its runtime directory, the guard,
the sweep by process id). What GNOME needs besides, on a machine without
systemd or logind:

- /run/systemd exists, so the shell would ask logind: it runs in a private
  mount namespace (`unshare -m`) with a tmpfs over /run/systemd, and with a
  bus of its own as the system bus (the power and network services it asks
  for are then simply missing);
- it comes up in the overview, which covers every window: the session sets
  org.gnome.Shell's OverviewActive to false;
- now and then it stalls before "GNOME Shell started": the start has a
  deadline and is tried again;
- PipeWire runs in the session bus's environment; wireplumber (which links a
  stream to its node) outside the namespace, since inside it its logind
  module fails against the tmpfs and it quits;
- the desktop portal (GNOME's back end) comes up by D-Bus activation; the
  screenshot permission is preset in the PermissionStore unless the test asks
  the question itself;
- Xwayland's display and authority file come from its command line, so that
  xdotool, xclip and the colorboard run there as root;
- what the compositor shows, and clicks on the shell's own dialogs, go
  through mutter_hands.py as the session's user (the Shell's Screenshot
  interface, Mutter's RemoteDesktop pointer).
"""

import os
import shlex
import shutil
import subprocess
import time

import user_session
from user_session import SIZE, Failure, Stalled, UserSession, session

MONITOR = "Meta-0"  # the virtual monitor's connector
HANDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mutter_hands.py")
SYSTEM_BUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "private_bus.conf")
SYSTEM_PYTHON = "/usr/bin/python3"  # the one python3-gi belongs to
START_DEADLINE = 20.0  # seconds to "GNOME Shell started"; it takes about 3 here

PERMISSION_STORE = ["org.freedesktop.impl.portal.PermissionStore",
                    "/org/freedesktop/impl/portal/PermissionStore",
                    "org.freedesktop.impl.portal.PermissionStore"]

# The desktop's questions, where they show on the 1280 x 1024 monitor: a
# point of their face (with its color) where the desktop's blue lies
# otherwise, and the points a person clicks to allow (in turn) and to deny.
# The shell's "Allow Applications to Take Screenshots?" is a dark modal
# dialog centred on the monitor, Deny and Allow along its bottom; the portal's
# "Screen Share" a light window with Cancel and Share in its header and the
# monitor's row to select first (its left end: the program's main window
# lies over the middle).
QUESTIONS = {
    "screenshot": {"face": ((640, 470), (53, 53, 53)), "allow": [(762, 608)],
                   "deny": [(515, 608)]},
    "screencast": {"face": ((400, 620), (250, 250, 250)), "allow": [(469, 554), (853, 400)],
                   "deny": [(430, 400)]},
}


class GnomeSession(UserSession):
    """GNOME Shell headless with a virtual monitor, Xwayland, PipeWire and
    GNOME's desktop portal; `screenshots_allowed` presets the portal's
    screenshot permission (else the first screenshot asks the user)."""

    NAME = DESKTOP = "GNOME"
    TAG = "gn"
    TOOLS = ["gnome-shell", *UserSession.TOOLS, "dbus-run-session", "dbus-daemon",
             "dbus-monitor", "gdbus", "pipewire", "wireplumber", "unshare", "convert"]
    FILES = ["/usr/libexec/xdg-desktop-portal-gnome"]
    PACKAGES = "gnome"
    STARTS = 3

    @classmethod
    def missing(cls):
        reason = super().missing()
        if reason:
            return reason
        if subprocess.run([SYSTEM_PYTHON, "-c", "import gi"], capture_output=True).returncode:
            return "python3-gi is not installed (tools/packages.sh gnome)"
        if subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode:
            return "no private mount namespace here (unshare -m fails)"
        return None

    def __init__(self, args, screenshots_allowed=True):
        super().__init__(args)
        self.screenshots_allowed = screenshots_allowed

    def _home_env(self):
        return {**super()._home_env(), "XDG_SESSION_TYPE": "wayland"}

    def _start_compositor(self):
        # Xwayland's sockets: mutter wants the folder as a system makes it.
        if not os.path.isdir("/tmp/.X11-unix"):
            os.mkdir("/tmp/.X11-unix")
            os.chmod("/tmp/.X11-unix", 0o1777)
        system_bus = self.as_user(["dbus-daemon", "--fork", "--config-file", SYSTEM_BUS,
                                   "--print-address"], timeout=10).stdout.decode().split()[0]
        bus_file = os.path.join(self.rundir, "bus")
        inner = self._own_file("inner.sh", (
            "#!/bin/sh\n"
            f'echo "$DBUS_SESSION_BUS_ADDRESS" > {bus_file}.new && mv {bus_file}.new {bus_file}\n'
            "pipewire &\n"
            f"exec gnome-shell --headless --wayland --virtual-monitor {SIZE[0]}x{SIZE[1]}\n"
        ).encode(), 0o755)
        env = {**self._home_env(), "DBUS_SYSTEM_BUS_ADDRESS": system_bus}
        shell = self.user_command(["dbus-run-session", "--", inner], env)
        self._launch(["unshare", "-m", "sh", "-c",
                      "{ [ ! -d /run/systemd ] || mount -t tmpfs none /run/systemd; } && "
                      f"exec {shlex.join(shell)}"])

        def started():
            if self.compositor.poll() is not None:
                raise Failure(f"GNOME Shell ended at start-up: see {self.compositor_log}")
            with open(self.compositor_log, "rb") as f:
                return b"GNOME Shell started" in f.read()

        if not session.poll(started, START_DEADLINE):
            raise Stalled(f"no \"GNOME Shell started\" in {START_DEADLINE:.0f} s")
        with open(bus_file) as f:
            self.session_env.update(DBUS_SESSION_BUS_ADDRESS=f.read().strip(),
                                    WAYLAND_DISPLAY="wayland-0")
        # wireplumber once PipeWire listens: it links each stream to its node.
        self.wait_for(lambda: os.path.exists(os.path.join(self.rundir, "pipewire-0")),
                      "PipeWire's socket", 10)
        with open(os.path.join(self.rundir, "wireplumber.log"), "wb") as log:
            subprocess.Popen(self.user_command(["wireplumber"]), stdin=subprocess.DEVNULL,
                             stdout=log, stderr=log, start_new_session=True)
        self._find_xwayland()
        self.shell_property("OverviewActive", "<false>")
        self.wait_for(lambda: "false" in self.shell_property("OverviewActive"),
                      "the overview to close", 10)
        if self.screenshots_allowed:
            self.set_screenshot_permission("yes")

    def _find_xwayland(self):
        def command_line():
            for pid in user_session.processes_of(self.uid):
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as f:
                        words = f.read().decode().split("\0")
                except FileNotFoundError:
                    continue
                if os.path.basename(words[0]) == "Xwayland" and "-auth" in words:
                    return words
            return None

        words = self.wait_for(command_line, "Xwayland", 10)
        display = next(w for w in words if w.startswith(":"))
        authority = words[words.index("-auth") + 1]
        self.use_display(display, authority)
        self.session_env.update(DISPLAY=display, XAUTHORITY=authority)

    # D-Bus as the session's user

    def shell_property(self, name, value=None):
        method, words = ("Set", [value]) if value else ("Get", [])
        return self.gdbus("org.gnome.Shell", "/org/gnome/Shell",
                          f"org.freedesktop.DBus.Properties.{method}", "org.gnome.Shell", name,
                          *words)

    def set_screenshot_permission(self, answer):
        """The portal's stored answer to "Allow Applications to Take
        Screenshots?" ("yes", "no"), or none: it asks again."""
        store, path, interface = PERMISSION_STORE
        if answer:
            self.gdbus(store, path, f"{interface}.SetPermission", "screenshot", "true",
                       "screenshot", "", f"['{answer}']")
        else:
            self.gdbus(store, path, f"{interface}.DeletePermission", "screenshot", "screenshot",
                       "", check=False)

    def screenshot_permission(self):
        store, path, interface = PERMISSION_STORE
        return self.gdbus(store, path, f"{interface}.Lookup", "screenshot", "screenshot",
                          check=False).strip()

    # The compositor

    def _hands_command(self):
        return [SYSTEM_PYTHON, HANDS, MONITOR]  # Mutter's remote desktop

    def screenshot(self):
        path = os.path.join(self.rundir, "shot.png")
        self.hands().do("shot", path)
        shot = session.PpmShot(self.run(["convert", path, "ppm:-"], timeout=20).stdout)
        os.unlink(path)
        return shot

    def save_screenshot(self, name):
        path = os.path.join(self.rundir, "shot.png")
        try:
            self.hands().do("shot", path)
            shutil.copy(path, os.path.join(self.args.artifacts, name))
            print(f"screenshot: {os.path.join(self.args.artifacts, name)}", flush=True)
        except (Failure, OSError) as error:
            print(f"no screenshot: {error}", flush=True)

    def question_shown(self, kind):
        """Whether the desktop's question ("screenshot" or "screencast") is up."""
        point, color = QUESTIONS[kind]["face"]
        return all(abs(a - b) <= 8 for a, b in zip(self.screenshot().rgb(*point), color))

    def huevex_covered(self):
        """The share of the main window's client area that the compositor
        shows something else over (its pixels on screen unlike its own)."""
        own, shot = self.window_picture(), self.screenshot()
        x0, y0 = self.client_origin()
        width, height = self.client_size()
        points = [(x, y) for y in range(0, height, 4) for x in range(0, width, 4)]
        return sum(own.rgb(x, y) != shot.rgb(x0 + x, y0 + y) for x, y in points) / len(points)

    def answer_question(self, kind, allow):
        for point in QUESTIONS[kind]["allow" if allow else "deny"]:
            self.hands().do("click", *point)
            time.sleep(0.3)
