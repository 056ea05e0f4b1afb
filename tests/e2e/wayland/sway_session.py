"""A private headless sway session for one end-to-end test of the Linux program.

The program runs on Xwayland there and must read the screen through the
compositor, so the pictures it picks from are native Wayland surfaces: the
background that swaybg draws from a solid color or a picture the test writes.

- sway refuses to run as root: the session creates a user of its own (its name
  made from this process's id and a count, so two sessions never share one) and a fresh
  runtime directory owned by it (mode 700), and starts headless sway as that
  user with runuser, under dbus-run-session when the desktop portal is wanted
  (PipeWire, xdg-desktop-portal and its wlr and gtk back ends then come up in
  the session, the portals by D-Bus activation);
- a script the config runs lets root's X clients in and writes the Xwayland
  display and the Wayland socket's name to a file; xdotool and xclip run on
  that display as root, as the X11 session runs them; grim (as the user)
  reads the screen as the compositor shows it;
- the program starts inside the session with `swaymsg exec`, with the
  environment the test asks for, its stderr to a file the test reads;
- at the end sway is told to exit, every process of the session's user left is
  ended by its id, the session's files in /tmp and the runtime directory are
  removed and the user deleted. A guard process does the same if the test
  itself is killed (runuser drops the parent-death signal the X11 session
  relies on).
"""

import json
import os
import pwd
import shlex
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# The harness (tests/e2e) and the X11 tests' tables (tests/e2e/x11), also when
# run by hand without the PYTHONPATH ctest sets.
_E2E = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path[:0] = [_E2E, os.path.join(_E2E, "x11")]
from harness import session  # noqa: E402  Checks, the gesture, the clipboard, the magnifier's helpers

Failure = session.Failure
Checks = session.Checks
SKIP = 77  # the tests' SKIP_RETURN_CODE

SIZE = (1280, 1024)
OUTPUT = "HEADLESS-1"
# Left by xdg-desktop-portal-wlr 0.7 for each screenshot, whoever asked; one
# that another user left makes every later screenshot fail.
PORTAL_SHOT = "/tmp/out.png"
MODULE = "huevex-wayland.so"  # the screen capture module, built beside the program


def arguments(extra=None):
    args = session.arguments(extra)
    args.wm = "sway"
    return args


def sway_missing():
    """Why this machine cannot run the session, or None."""
    for tool in ["sway", "Xwayland", "swaybg", "grim", "runuser", "useradd", "xhost", "xdotool",
                 "xclip"]:
        if not shutil.which(tool):
            return f"{tool} is not installed (tools/packages.sh wayland)"
    if os.geteuid() != 0:
        return "the session creates a user of its own: it must run as root"
    return None


def run_or_skip(test, missing, what):
    """Runs test(), or skips it (with `missing`'s reason) where this machine
    cannot run the session `what` names."""
    reason = missing()
    if reason:
        print(f"SKIP: no {what} on this machine: {reason}", flush=True)
        sys.exit(SKIP)
    session.main(test)


def main(test):
    run_or_skip(test, sway_missing, "headless sway session")


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


class GrimShot(session.Screenshot):
    """The output as grim reads it from the compositor (binary PPM)."""

    def __init__(self, data):
        magic, size, depth, self.pixels = data.split(b"\n", 3)
        if magic != b"P6" or depth != b"255":
            raise Failure("grim wrote no binary PPM")
        self.width, self.height = (int(v) for v in size.split())

    def rgb(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.pixels[offset:offset + 3])


class Program:
    """The program sway started: its exit status once it ended, as Popen's poll."""

    def __init__(self, rundir):
        self.status_file = os.path.join(rundir, "huevex.status")

    def poll(self):
        try:
            with open(self.status_file) as f:
                return int(f.read())
        except (FileNotFoundError, ValueError):
            return None


def eventually(condition, timeout, step=0.05):
    """The condition's first true value within `timeout` seconds, else None."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value or None
        time.sleep(step)


def _processes_of(uid):
    """The live processes whose real user is `uid` (zombies wait for their
    parent, often init, and need no signal)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/status") as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
        except (FileNotFoundError, ProcessLookupError):
            continue
        if int(fields["Uid"].split()[0]) == uid and not fields["State"].strip().startswith("Z"):
            found.append(int(entry))
    return found


def _signal_all(pids, number):
    for pid in pids:
        try:
            os.kill(pid, number)
        except ProcessLookupError:
            pass


def _sweep(user, uid, rundir):
    """Ends what the session's user still runs, by id (the user is this
    session's alone), and removes what it leaves: its files in /tmp, the
    runtime directory, the user."""
    for number, wait in [(signal.SIGTERM, 3.0), (signal.SIGKILL, 2.0)]:
        left = _processes_of(uid)
        if not left:
            break
        _signal_all(left, number)
        deadline = time.monotonic() + wait
        while _processes_of(uid) and time.monotonic() < deadline:
            time.sleep(0.05)
    # Xwayland's lock and socket, a D-Bus socket, the portal's screenshot.
    for folder in ["/tmp", "/tmp/.X11-unix"]:
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            try:
                if os.lstat(path).st_uid == uid and not os.path.isdir(path):
                    os.unlink(path)
            except FileNotFoundError:
                pass
    shutil.rmtree(rundir, ignore_errors=True)
    # --force: zombies of the user that init has not reaped yet do not count.
    subprocess.run(["userdel", "--force", user], capture_output=True, timeout=30)


def _guard(user, uid, rundir, read_end):
    """Forks a process that sweeps up after the session if the test's end of
    the pipe closes without a word: when the test is killed."""
    child = os.fork()
    if child:
        os.waitpid(child, 0)
        return
    os.setsid()
    if os.fork():
        os._exit(0)
    try:
        # Nothing of the test's: a runner waiting for its output to close
        # must not wait for this process.
        null = os.open(os.devnull, os.O_RDWR)
        for fd in range(3):
            os.dup2(null, fd)
        for fd in range(3, 1024):
            if fd != read_end:
                try:
                    os.close(fd)
                except OSError:
                    pass
        if not os.read(read_end, 1):
            _sweep(user, uid, rundir)
    finally:
        os._exit(0)


class SwaySession(session.Session):
    """A headless sway with Xwayland; `background` is "#RRGGBB" or a list of
    rows of RGB bytes, 1280 x 1024, for swaybg to draw; `portal` brings up the
    desktop portal in a session bus."""

    HELP_TITLE = "^Form1$"
    count = 0  # sessions this process made: each has a user of its own

    def __init__(self, args, background="#336699", portal=False):
        super().__init__(args)
        self.background = background
        self.portal = portal
        SwaySession.count += 1
        self.user = f"huevex-wl-{os.getpid()}-{SwaySession.count}"
        self.rundir = None
        self.guard_pipe = None
        self.sway = None
        self.swaysock = None
        self.wayland_env = None
        self.huevex = None

    # Lifetime

    NAME = "sway"

    def __enter__(self):
        started = time.monotonic()
        try:
            self._make_user()
            self._start_compositor()
        except BaseException:
            self.close()
            raise
        print(f"{self.NAME} session up in {time.monotonic() - started:.1f} s", flush=True)
        return self

    def _start_compositor(self):
        self._start_sway()

    def close(self):
        started = time.monotonic()
        if self.swaysock:
            subprocess.run(["swaymsg", "-s", self.swaysock, "exit"], capture_output=True,
                           timeout=10)
            if self.sway:
                try:
                    self.sway.wait(5)
                except subprocess.TimeoutExpired:
                    pass
        super().close()  # what this process spawned itself
        if self.rundir:
            _sweep(self.user, self.uid, self.rundir)
            print(f"{self.NAME} session down in {time.monotonic() - started:.1f} s", flush=True)
        if self.sway:
            self.sway.wait(10)  # runuser, once sway is gone
        if self.guard_pipe is not None:
            os.write(self.guard_pipe, b".")  # swept: the guard may go
            os.close(self.guard_pipe)
            self.guard_pipe = None
        self.rundir = None

    def _make_user(self):
        for attempt in range(20):
            try:
                pwd.getpwnam(self.user)
                break
            except KeyError:
                pass
            # Another useradd holding the lock on /etc/passwd: try again.
            result = subprocess.run(
                ["useradd", "--system", "--user-group", "--no-create-home", "--home-dir",
                 "/nonexistent", "--shell", "/usr/sbin/nologin", self.user],
                capture_output=True, timeout=30)
            if result.returncode == 0:
                break
            time.sleep(0.1 * (attempt + 1))
        try:
            entry = pwd.getpwnam(self.user)
        except KeyError:
            raise Failure(f"could not create the user {self.user}: "
                          f"{result.stderr.decode(errors='replace')}") from None
        self.uid, self.gid = entry.pw_uid, entry.pw_gid
        self.rundir = tempfile.mkdtemp(prefix=f"{self.user}-")
        os.chown(self.rundir, self.uid, self.gid)
        os.chmod(self.rundir, 0o700)
        read_end, self.guard_pipe = os.pipe()
        _guard(self.user, self.uid, self.rundir, read_end)
        os.close(read_end)

    def _own_file(self, name, data, mode=0o644):
        path = os.path.join(self.rundir, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chown(path, self.uid, self.gid)
        os.chmod(path, mode)
        return path

    def _start_sway(self):
        if os.path.exists(PORTAL_SHOT):
            os.unlink(PORTAL_SHOT)
        if isinstance(self.background, str):
            background = f"{self.background} solid_color"
            self.expected_corner = tuple(int(self.background[i:i + 2], 16) for i in (1, 3, 5))
        else:
            path = os.path.join(self.rundir, "background.png")
            write_png(path, self.background)
            os.chown(path, self.uid, self.gid)
            background = f"{path} stretch"
            self.expected_corner = tuple(self.background[0][0:3])
        ready = os.path.join(self.rundir, "ready")
        announce = self._own_file("announce.sh", (
            "#!/bin/sh\n"
            "# Root's X clients (xdotool, xclip) may use this display.\n"
            "xhost +si:localuser:root >/dev/null || exit 1\n"
            f'echo "$DISPLAY $WAYLAND_DISPLAY $DBUS_SESSION_BUS_ADDRESS" > {ready}.new\n'
            f"mv {ready}.new {ready}\n"
        ).encode(), 0o755)
        lines = [
            "xwayland enable",
            f"output {OUTPUT} resolution {SIZE[0]}x{SIZE[1]} position 0 0 bg {background}",
        ]
        if self.portal:
            lines += ["exec dbus-update-activation-environment WAYLAND_DISPLAY "
                      "XDG_CURRENT_DESKTOP DISPLAY",
                      "exec pipewire"]
        lines.append(f"exec {announce}")
        config = self._own_file("config", ("\n".join(lines) + "\n").encode())

        env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.rundir,
               "XDG_RUNTIME_DIR": self.rundir, "XDG_CURRENT_DESKTOP": "sway",
               "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman",
               "WLR_LIBINPUT_NO_DEVICES": "1", "LANG": "C.UTF-8"}
        command = ["sway", "-c", config]
        if self.portal:
            command = ["dbus-run-session", "--", *command]
        self.sway_log = os.path.join(self.args.artifacts, f"{self.user}-sway.log")
        with open(self.sway_log, "wb") as log:
            self.sway = subprocess.Popen(
                ["runuser", "-u", self.user, "--", "env", "-i",
                 *[f"{k}={v}" for k, v in env.items()], *command],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, cwd=self.rundir,
                start_new_session=True)
        self.wait_for(lambda: os.path.exists(ready) or self.sway.poll() is not None,
                      "sway and Xwayland to start", 30)
        if not os.path.exists(ready):
            raise Failure(f"sway ended at start-up: see {self.sway_log}")
        with open(ready) as f:
            self.display, wayland, *bus = f.read().split()
        self.swaysock = next(os.path.join(self.rundir, name) for name in os.listdir(self.rundir)
                             if name.startswith("sway-ipc."))
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("XAUTHORITY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wayland_env = [f"XDG_RUNTIME_DIR={self.rundir}", f"WAYLAND_DISPLAY={wayland}",
                            *[f"DBUS_SESSION_BUS_ADDRESS={address}" for address in bus]]
        # swaybg has drawn the background.
        self.wait_for(lambda: self.screenshot().rgb(0, 0) == self.expected_corner,
                      "the background to be drawn", 20)

    # The compositor

    def exec_in_session(self, script):
        """Runs a shell script as the session's user, with the session's
        DISPLAY and WAYLAND_DISPLAY, without waiting for it."""
        self.swaymsg("exec", f"sh -c {shlex.quote(script)}")

    def swaymsg(self, *words):
        return self.run(["swaymsg", "-s", self.swaysock, *words]).stdout.decode()

    def as_user(self, command, timeout=20, check=True):
        """Runs a Wayland client as the session's user."""
        return self.run(["runuser", "-u", self.user, "--", "env", *self.wayland_env, *command],
                        timeout=timeout, check=check)

    def portal_answers(self):
        """Whether the desktop portal takes a screenshot when asked (by gdbus):
        the session's own part of the portal tests. Brings the portal up."""
        def call(method, *words, timeout=20):
            return self.as_user(["gdbus", "call", "--session", "--timeout", str(timeout), "--dest",
                                 "org.freedesktop.portal.Desktop", "--object-path",
                                 "/org/freedesktop/portal/desktop", "--method", method, *words],
                                timeout=timeout + 5, check=False).returncode == 0

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

        answered = eventually(written, 10)
        if answered:
            os.unlink(PORTAL_SHOT)
        return answered

    def screenshot(self):
        # One pixel a layout pixel, whatever the outputs' scales.
        return GrimShot(self.as_user(["grim", "-s", "1", "-t", "ppm", "-"]).stdout)

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

    # The program

    def start_huevex(self, env=None, timeout=10.0):
        """Starts the program with `swaymsg exec` (so it gets the session's
        DISPLAY and WAYLAND_DISPLAY) and `env` added to its environment, and
        waits until its main window is painted. Its stderr goes to a file."""
        binary = os.path.join(self.rundir, "huevex")  # the user may not reach the build tree
        # The screen capture module goes with it: the program looks beside itself.
        module = os.path.join(os.path.dirname(os.path.abspath(self.args.huevex)), MODULE)
        for source, copy in [(self.args.huevex, binary), (module, os.path.join(self.rundir, MODULE))]:
            if os.path.exists(source):
                shutil.copy(source, copy)
                os.chown(copy, self.uid, self.gid)
        self.huevex = Program(self.rundir)
        self.stderr_path = os.path.join(self.rundir, "huevex.stderr")
        settings = [f"{k}={v}" for k, v in (env or {}).items()]
        script = (f"env {shlex.join(settings)} {shlex.quote(binary)} 2> {self.stderr_path}; "
                  f"echo $? > {self.huevex.status_file}")
        self.exec_in_session(script)
        # The first window with the program's title (a message box may follow).
        self.main_window = self.wait_for(
            lambda: min(self.windows("^HUEVEX"), key=int, default=None), "the main window", timeout)
        self.wait_for(lambda: self.viewable(self.main_window), "the main window to be mapped",
                      timeout)
        self.wait_for(lambda: self.client_pixel(self.SWATCH) == (255, 255, 255),
                      "the main window to be painted", timeout)
        return self.huevex

    def stderr(self):
        try:
            with open(self.stderr_path, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def windows(self, name):
        return self.output(["xdotool", "search", "--name", name]).split()

    def title(self, window=None):
        return self.output(["xdotool", "getwindowname", window or self.main_window]).strip()
