"""A private headless GNOME Shell session for one end-to-end test of the Linux
program.

The shell runs with a virtual 1280 x 1024 monitor and Xwayland, as a user the
session creates (the sway session's user, runtime directory, guard and sweep
by process id). What GNOME needs besides, on a machine without systemd or
logind:

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
  interface, Mutter's RemoteDesktop pointer);
- the program runs as the session's user with the session's environment.
"""

import os
import shutil
import subprocess
import time

import sway_session
from sway_session import Failure, GrimShot, session

SIZE = (1280, 1024)
MONITOR = "Meta-0"  # the virtual monitor's connector
HANDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mutter_hands.py")
SYSTEM_BUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "private_bus.conf")
SYSTEM_PYTHON = "/usr/bin/python3"  # the one python3-gi belongs to
TOOLS = ["gnome-shell", "Xwayland", "dbus-run-session", "dbus-daemon", "dbus-monitor", "gdbus",
         "pipewire", "wireplumber", "unshare", "runuser", "useradd", "xdotool", "xclip", "convert"]
STARTS = 3  # tries at starting the shell
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


def gnome_missing():
    """Why this machine cannot run the session, or None."""
    for tool in TOOLS:
        if not shutil.which(tool):
            return f"{tool} is not installed (tools/packages.sh gnome)"
    if not os.path.exists("/usr/libexec/xdg-desktop-portal-gnome"):
        return "xdg-desktop-portal-gnome is not installed (tools/packages.sh gnome)"
    if subprocess.run([SYSTEM_PYTHON, "-c", "import gi"], capture_output=True).returncode:
        return "python3-gi is not installed (tools/packages.sh gnome)"
    if os.geteuid() != 0:
        return "the session creates a user of its own: it must run as root"
    if subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode:
        return "no private mount namespace here (unshare -m fails)"
    return None


def main(test):
    sway_session.run_or_skip(test, gnome_missing, "headless GNOME Shell")


class Stalled(Exception):
    pass


class Hands:
    """mutter_hands.py as the session's user: commands in, one answer each."""

    def __init__(self, s):
        with open(os.path.join(s.args.artifacts, f"{s.user}-hands.log"), "wb") as log:
            self.process = s.spawn(["runuser", "-u", s.user, "--", "env", *s.user_env,
                                    SYSTEM_PYTHON, HANDS, MONITOR], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=log, text=True)
        self._answer("Mutter's remote desktop")

    def _answer(self, what):
        line = self.process.stdout.readline().strip()
        if line != "ok":
            raise Failure(f"{what}: {line or 'no answer'}")

    def do(self, *words):
        self.process.stdin.write(" ".join(str(w) for w in words) + "\n")
        self.process.stdin.flush()
        self._answer(" ".join(str(w) for w in words))


class GnomeSession(sway_session.SwaySession):
    """GNOME Shell headless with a virtual monitor, Xwayland, PipeWire and
    GNOME's desktop portal; `screenshots_allowed` presets the portal's
    screenshot permission (else the first screenshot asks the user)."""

    NAME = "GNOME"

    HELP_TITLE = "^Form1$"

    def __init__(self, args, screenshots_allowed=True):
        super().__init__(args, portal=True)
        self.screenshots_allowed = screenshots_allowed
        self.hands_process = None
        self.user_env = None
        self.bus = None

    def _new_user_name(self):
        sway_session.SwaySession.count += 1
        self.user = f"huevex-gn-{os.getpid()}-{sway_session.SwaySession.count}"

    def __enter__(self):
        started = time.monotonic()
        for attempt in range(1, STARTS + 1):
            self._new_user_name()
            try:
                self._make_user()
                self._start_shell()
                break
            except Stalled as stall:
                print(f"start {attempt}: {stall}", flush=True)
                self.close()
                if attempt == STARTS:
                    raise Failure(f"GNOME Shell did not start in {STARTS} tries") from None
            except BaseException:
                self.close()
                raise
        print(f"{self.NAME} session up in {time.monotonic() - started:.1f} s", flush=True)
        return self

    def close(self):
        self.hands_process = None  # spawned: ended with the rest
        super().close()

    def _start_shell(self):
        # Xwayland's sockets: mutter wants the folder as a system makes it.
        if not os.path.isdir("/tmp/.X11-unix"):
            os.mkdir("/tmp/.X11-unix")
            os.chmod("/tmp/.X11-unix", 0o1777)
        system_bus = self.run(["runuser", "-u", self.user, "--", "dbus-daemon", "--fork",
                               "--config-file", SYSTEM_BUS, "--print-address"],
                              timeout=10).stdout.decode().split()[0]
        bus_file = os.path.join(self.rundir, "bus")
        inner = self._own_file("inner.sh", (
            "#!/bin/sh\n"
            f'echo "$DBUS_SESSION_BUS_ADDRESS" > {bus_file}.new && mv {bus_file}.new {bus_file}\n'
            "pipewire &\n"
            f"exec gnome-shell --headless --wayland --virtual-monitor {SIZE[0]}x{SIZE[1]}\n"
        ).encode(), 0o755)
        env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.rundir,
               "XDG_RUNTIME_DIR": self.rundir, "XDG_CURRENT_DESKTOP": "GNOME",
               "XDG_SESSION_TYPE": "wayland", "LANG": "C.UTF-8",
               "DBUS_SYSTEM_BUS_ADDRESS": system_bus}
        user_shell = " ".join(["runuser", "-u", self.user, "--", "env", "-i",
                               *[f"{k}={v}" for k, v in env.items()],
                               "dbus-run-session", "--", inner])
        self.sway_log = os.path.join(self.args.artifacts, f"{self.user}-gnome.log")
        with open(self.sway_log, "wb") as log:
            self.sway = subprocess.Popen(
                ["unshare", "-m", "sh", "-c",
                 "{ [ ! -d /run/systemd ] || mount -t tmpfs none /run/systemd; } && "
                 f"exec {user_shell}"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, cwd=self.rundir,
                start_new_session=True)

        def started():
            if self.sway.poll() is not None:
                raise Failure(f"GNOME Shell ended at start-up: see {self.sway_log}")
            with open(self.sway_log, "rb") as f:
                return b"GNOME Shell started" in f.read()

        if not sway_session.eventually(started, START_DEADLINE):
            raise Stalled(f"no \"GNOME Shell started\" in {START_DEADLINE:.0f} s")
        with open(bus_file) as f:
            self.bus = f.read().strip()
        self.user_env = [f"HOME={self.rundir}", f"XDG_RUNTIME_DIR={self.rundir}",
                         f"DBUS_SESSION_BUS_ADDRESS={self.bus}", "XDG_CURRENT_DESKTOP=GNOME",
                         "XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=wayland-0",
                         "PATH=/usr/bin:/bin", "LANG=C.UTF-8"]
        self.wayland_env = self.user_env
        # wireplumber once PipeWire listens: it links each stream to its node.
        self.wait_for(lambda: os.path.exists(os.path.join(self.rundir, "pipewire-0")),
                      "PipeWire's socket", 10)
        with open(os.path.join(self.rundir, "wireplumber.log"), "wb") as log:
            subprocess.Popen(["runuser", "-u", self.user, "--", "env", "-i", *self.user_env,
                              "wireplumber"], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                             start_new_session=True)
        self._find_xwayland()
        self.shell_property("OverviewActive", "<false>")
        self.wait_for(lambda: "false" in self.shell_property("OverviewActive"),
                      "the overview to close", 10)
        if self.screenshots_allowed:
            self.set_screenshot_permission("yes")

    def _find_xwayland(self):
        def command_line():
            for pid in sway_session._processes_of(self.uid):
                try:
                    with open(f"/proc/{pid}/cmdline", "rb") as f:
                        words = f.read().decode().split("\0")
                except FileNotFoundError:
                    continue
                if os.path.basename(words[0]) == "Xwayland" and "-auth" in words:
                    return words
            return None

        words = self.wait_for(command_line, "Xwayland", 10)
        self.display = next(w for w in words if w.startswith(":"))
        self.env = dict(os.environ, DISPLAY=self.display,
                        XAUTHORITY=words[words.index("-auth") + 1])
        self.env.pop("WAYLAND_DISPLAY", None)
        self.user_env.append(f"DISPLAY={self.display}")
        self.user_env.append(f"XAUTHORITY={self.env['XAUTHORITY']}")

    # D-Bus as the session's user

    def gdbus_call(self, destination, path, method, *words, timeout=10, check=True):
        return self.as_user(["gdbus", "call", "--session", "--timeout", str(timeout), "--dest",
                             destination, "--object-path", path, "--method", method, *words],
                            timeout=timeout + 5, check=check).stdout.decode()

    def shell_property(self, name, value=None):
        method, words = ("Set", [value]) if value else ("Get", [])
        return self.gdbus_call("org.gnome.Shell", "/org/gnome/Shell",
                               f"org.freedesktop.DBus.Properties.{method}", "org.gnome.Shell",
                               name, *words)

    def set_screenshot_permission(self, answer):
        """The portal's stored answer to "Allow Applications to Take
        Screenshots?" ("yes", "no"), or none: it asks again."""
        store, path, interface = PERMISSION_STORE
        if answer:
            self.gdbus_call(store, path, f"{interface}.SetPermission", "screenshot", "true",
                            "screenshot", "", f"['{answer}']")
        else:
            self.gdbus_call(store, path, f"{interface}.DeletePermission", "screenshot",
                            "screenshot", "", check=False)

    def screenshot_permission(self):
        store, path, interface = PERMISSION_STORE
        return self.gdbus_call(store, path, f"{interface}.Lookup", "screenshot", "screenshot",
                               check=False).strip()

    def monitor(self, rules, name):
        """dbus-monitor on the session bus as the user, writing what `rules`
        match to a file in the artifacts; its text is read with open()."""
        path = os.path.join(self.args.artifacts, f"{self.user}-{name}.log")
        with open(path, "wb") as out:
            self.spawn(["runuser", "-u", self.user, "--", "env", *self.user_env, "dbus-monitor",
                        "--session", *rules], stdout=out, stderr=subprocess.DEVNULL)
        # Listening once it has said so: its first lines are the bus's own.
        self.wait_for(lambda: os.path.getsize(path) > 0, "dbus-monitor", 10)
        return path

    # The compositor

    def hands(self):
        if self.hands_process is None:
            self.hands_process = Hands(self)
        return self.hands_process

    def screenshot(self):
        path = os.path.join(self.rundir, "shot.png")
        self.hands().do("shot", path)
        shot = GrimShot(self.run(["convert", path, "ppm:-"], timeout=20).stdout)
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

    def answer_question(self, kind, allow):
        for point in QUESTIONS[kind]["allow" if allow else "deny"]:
            self.hands().do("click", *point)
            time.sleep(0.3)

    def outer_rect(self, window=None):
        return session.Session.outer_rect(self, window)

    # The program

    def exec_in_session(self, script):
        self.spawn(["runuser", "-u", self.user, "--", "env", "-i", *self.user_env, "sh", "-c",
                    script], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_huevex(self):
        """Ends the program by its id, for a fresh start in the same session."""
        binary = os.path.join(self.rundir, "huevex")

        def running():
            found = []
            for pid in sway_session._processes_of(self.uid):
                try:
                    if os.readlink(f"/proc/{pid}/exe") == binary:
                        found.append(pid)
                except OSError:
                    pass
            return found

        sway_session._signal_all(running(), 15)
        self.wait_for(lambda: not running(), "the program to end", 5)
        self.huevex = None
