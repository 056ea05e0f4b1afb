"""A private desktop session for one end-to-end test of the Linux program: a
Wayland compositor with Xwayland, run as a user the session creates.

`UserSession` holds what every desktop here shares; sway_session.py,
gnome_session.py and kde_session.py add how their compositor starts
(`_start_compositor`), how the screen is read (`screenshot`) and, where the
compositor draws a frame X clients are not told of, `outer_rect`.

- Compositors refuse to run as root, or want a user's runtime directory: the
  session creates a user of its own (its name made from this process's id
  and a count, so two sessions never share one) and a fresh runtime
  directory owned by it (mode 700), which is also its home;
- the compositor starts as that user with runuser and only the environment
  the session gives it; a script it runs once Xwayland is up (`_announce`)
  lets root's X clients in and writes the X display, the Wayland socket and
  the session bus to a ready file, which `_wait_ready` reads. xdotool and
  xclip then run on that display as root, as the X11 session runs them;
- every other program of the user (gdbus, dbus-monitor, grim, the program
  itself) runs with `user_env()`: its home and the session's displays and bus;
- the program starts inside the session with the environment the test asks
  for, its stderr to a file the test reads; `stop_huevex` ends it by its id
  (the process whose /proc exe is the session's copy) for a fresh start;
- a person's mouse and keys inside the compositor (`hands`: Wayland windows
  and surfaces that xdotool cannot reach) come from a helper run as the
  user, virtual_pointer.py unless the desktop needs another; `pick_command`
  runs `huevex --pick` with them, as a person would;
- at the end every process of the session's user left is ended by its id,
  the session's files in /tmp and the runtime directory are removed and the
  user deleted. A guard process does the same if the test itself is killed
  (runuser drops the parent-death signal the X11 session relies on).
"""

import os
import pwd
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# The harness (tests/e2e) and the X11 tests' tables (tests/e2e/x11), also when
# run by hand without the PYTHONPATH ctest sets.
_E2E = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path[:0] = [_E2E, os.path.join(_E2E, "x11")]
from harness import session  # noqa: E402  Checks, the gesture, the clipboard, the magnifier's helpers

Failure = session.Failure
SKIP = 77  # the tests' SKIP_RETURN_CODE
SIZE = (1280, 1024)  # every desktop's output
MODULE = "huevex-wayland.so"  # the screen capture module, built beside the program


def processes_of(uid):
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
        left = processes_of(uid)
        if not left:
            break
        _signal_all(left, number)
        deadline = time.monotonic() + wait
        while processes_of(uid) and time.monotonic() < deadline:
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


class Hands:
    """A helper run as the session's user that moves, presses and types inside
    the compositor: commands in on its stdin, one answer ("ok") each."""

    def __init__(self, s, command):
        with open(os.path.join(s.args.artifacts, f"{s.user}-hands.log"), "wb") as log:
            self.process = s.spawn(s.user_command(command), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=log, text=True)
        self._answer(f"{command[1]} starting")

    def _answer(self, what):
        line = self.process.stdout.readline().strip()
        if line != "ok":
            raise Failure(f"{what}: {line or 'no answer'}")

    def do(self, *words):
        self.process.stdin.write(" ".join(str(w) for w in words) + "\n")
        self.process.stdin.flush()
        self._answer(" ".join(str(w) for w in words))


class Stalled(Exception):
    """The compositor hung at its start: the session tries again as a new user."""


class Program:
    """The program the session started: its exit status once it ended, as Popen's poll."""

    def __init__(self, rundir):
        self.status_file = os.path.join(rundir, "huevex.status")

    def poll(self):
        try:
            with open(self.status_file) as f:
                return int(f.read())
        except (FileNotFoundError, ValueError):
            return None


class UserSession(session.Session):
    """A compositor with Xwayland as a user of its own. A subclass names its
    desktop and the tools it needs, and starts the compositor."""

    NAME = None  # the desktop, in what the session prints and its log's name
    TAG = None  # the session's users are named huevex-TAG-...
    DESKTOP = None  # XDG_CURRENT_DESKTOP
    TOOLS = ["Xwayland", "runuser", "useradd", "xdotool", "xclip"]
    FILES = []  # programs outside PATH
    PACKAGES = None  # the tools/packages.sh set that brings the tools
    STARTS = 1  # tries at starting a compositor that stalls
    HELP_TITLE = "^Form1$"
    COMPOSED_SHOTS = True  # screenshot() is the compositor's picture of the screen
    KEYS = {"Shift": 42, "Return": 28, "Escape": 1}  # evdev codes, as hands types them
    count = 0  # sessions this process made: each has a user of its own

    @classmethod
    def missing(cls):
        """Why this machine cannot run the session, or None."""
        for tool in cls.TOOLS:
            if not shutil.which(tool):
                return f"{tool} is not installed (tools/packages.sh {cls.PACKAGES})"
        for path in cls.FILES:
            if not os.path.exists(path):
                return (f"{os.path.basename(path)} is not installed "
                        f"(tools/packages.sh {cls.PACKAGES})")
        if os.geteuid() != 0:
            return "the session creates a user of its own: it must run as root"
        return None

    @classmethod
    def main(cls, test):
        """Runs test(), or skips it with the reason where this machine cannot
        run the session."""
        reason = cls.missing()
        if reason:
            print(f"SKIP: no {cls.NAME} session on this machine: {reason}", flush=True)
            sys.exit(SKIP)
        session.main(test)

    def __init__(self, args):
        super().__init__(args)
        self.user = self.uid = self.gid = None
        self.rundir = None
        self.guard_pipe = None
        self.compositor = None  # what runs the compositor as the user
        self.compositor_log = None
        self.session_env = {}  # the displays and the bus, as they come up
        self.huevex = None
        self.hands_process = None

    # Lifetime

    def __enter__(self):
        started = time.monotonic()
        for attempt in range(1, self.STARTS + 1):
            try:
                self._make_user()
                self._start_compositor()
                break
            except Stalled as stall:
                print(f"start {attempt}: {stall}", flush=True)
                self.close()
                if attempt == self.STARTS:
                    raise Failure(f"{self.NAME} did not start in {self.STARTS} tries") from None
            except BaseException:
                self.close()
                raise
        print(f"{self.NAME} session up in {time.monotonic() - started:.1f} s", flush=True)
        return self

    def _start_compositor(self):
        raise NotImplementedError

    def _end_compositor(self):
        """Asks the compositor to end, where it can be asked; the sweep ends
        it otherwise."""

    def close(self):
        started = time.monotonic()
        self.hands_process = None  # spawned: ended with the rest
        self._end_compositor()
        super().close()  # what this process spawned itself
        if self.rundir:
            # The compositor, Xwayland, the bus, its services and the program
            # all run as the session's user: the sweep ends them by id.
            _sweep(self.user, self.uid, self.rundir)
            print(f"{self.NAME} session down in {time.monotonic() - started:.1f} s", flush=True)
        if self.compositor:
            self.compositor.wait(10)  # runuser, once the compositor is gone
            self.compositor = None
        if self.guard_pipe is not None:
            os.write(self.guard_pipe, b".")  # swept: the guard may go
            os.close(self.guard_pipe)
            self.guard_pipe = None
        self.rundir = None

    def _make_user(self):
        UserSession.count += 1
        self.user = f"huevex-{self.TAG}-{os.getpid()}-{UserSession.count}"
        self.session_env = {}
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
        """A file of the session's user in its runtime directory."""
        path = os.path.join(self.rundir, name)
        with open(path, "wb") as f:
            f.write(data)
        os.chown(path, self.uid, self.gid)
        os.chmod(path, mode)
        return path

    # Starting the compositor

    def _announce(self, *commands):
        """A script for the compositor to run once Xwayland is up: it lets
        root's X clients (xdotool, xclip) in, runs `commands`, and writes the
        X display, the Wayland socket and the session bus to the ready file."""
        ready = os.path.join(self.rundir, "ready")
        return self._own_file("announce.sh", (
            "#!/bin/sh\n"
            "xhost +si:localuser:root >/dev/null || exit 1\n"
            + "".join(f"{command} || exit 1\n" for command in commands) +
            f'echo "$DISPLAY $WAYLAND_DISPLAY $DBUS_SESSION_BUS_ADDRESS" > {ready}.new\n'
            f"mv {ready}.new {ready}\n").encode(), 0o755)

    def _launch(self, command):
        """Starts the compositor's command line (one that runs it as the user),
        its output to a log in the artifacts."""
        self.compositor_log = os.path.join(self.args.artifacts,
                                           f"{self.user}-{self.NAME.lower()}.log")
        with open(self.compositor_log, "wb") as log:
            self.compositor = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log,
                                               stderr=log, cwd=self.rundir,
                                               start_new_session=True)

    def _wait_ready(self, timeout=30):
        """Waits for the announcing script's ready file and takes the
        session's displays and bus from it."""
        ready = os.path.join(self.rundir, "ready")
        self.wait_for(lambda: os.path.exists(ready) or self.compositor.poll() is not None,
                      f"{self.NAME} and Xwayland to start", timeout)
        if not os.path.exists(ready):
            raise Failure(f"{self.NAME} ended at start-up: see {self.compositor_log}")
        with open(ready) as f:
            display, wayland, *bus = f.read().split()
        self.use_display(display)
        self.session_env.update(DISPLAY=display, WAYLAND_DISPLAY=wayland)
        if bus:
            self.session_env["DBUS_SESSION_BUS_ADDRESS"] = bus[0]

    def use_display(self, display, authority=None):
        super().use_display(display, authority)
        self.env.pop("WAYLAND_DISPLAY", None)  # root's clients are X clients only

    # Running things as the session's user

    def _home_env(self):
        """What every program of the session's user starts with, the
        compositor too: its files go to the runtime directory, which goes at
        the end."""
        return {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.rundir,
                "XDG_RUNTIME_DIR": self.rundir, "XDG_CURRENT_DESKTOP": self.DESKTOP,
                "LANG": "C.UTF-8"}

    def user_env(self):
        """The environment of a program of the session's user: its home, and
        the session's displays and bus as far as they are up."""
        return {**self._home_env(), **self.session_env}

    def user_command(self, command, env=None):
        """`command` as the session's user, with `env` (else user_env()) alone."""
        env = self.user_env() if env is None else env
        return ["runuser", "-u", self.user, "--", "env", "-i",
                *[f"{k}={v}" for k, v in env.items()], *command]

    def as_user(self, command, timeout=20, check=True):
        """Runs a client of the session as its user, to its end."""
        return self.run(self.user_command(command), timeout=timeout, check=check)

    def exec_in_session(self, script):
        """Runs a shell script as the session's user, without waiting for it."""
        self.spawn(self.user_command(["sh", "-c", script]), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def hands(self):
        """A person's mouse and keyboard inside the compositor (Hands)."""
        if self.hands_process is None:
            self.hands_process = Hands(self, self._hands_command())
        return self.hands_process

    def _hands_command(self):
        helper = os.path.join(self.rundir, "virtual_pointer.py")  # where the user reaches it
        shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "virtual_pointer.py"),
                    helper)
        os.chmod(helper, 0o644)
        return ["python3", helper, *map(str, SIZE)]

    def wayland_socket(self):
        name = self.session_env["WAYLAND_DISPLAY"]
        return name if name.startswith("/") else os.path.join(self.rundir, name)

    # The session bus

    def gdbus(self, destination, path, method, *words, timeout=10, check=True):
        """A method call on the session bus; its answer as gdbus prints it."""
        return self.as_user(["gdbus", "call", "--session", "--timeout", str(timeout), "--dest",
                             destination, "--object-path", path, "--method", method, *words],
                            timeout=timeout + 5, check=check).stdout.decode()

    def monitor(self, rules, name):
        """dbus-monitor on the session bus, writing what `rules` match to a
        file in the artifacts: its path."""
        path = os.path.join(self.args.artifacts, f"{self.user}-{name}.log")
        with open(path, "wb") as out:
            self.spawn(self.user_command(["dbus-monitor", "--session", *rules]), stdout=out,
                       stderr=subprocess.DEVNULL)
        # Listening once it has said so: its first lines are the bus's own.
        self.wait_for(lambda: os.path.getsize(path) > 0, "dbus-monitor", 10)
        return path

    @staticmethod
    def monitored_calls(path):
        """The method calls a monitor has seen, as "Interface.Member"."""
        calls = []
        with open(path, errors="replace") as f:
            for line in f:
                if line.startswith("method call"):
                    fields = dict(part.strip().split("=", 1) for part in line.split(";")[1:])
                    calls.append(fields["interface"].rsplit(".", 1)[1] + "." + fields["member"])
        return calls

    # The program

    def start_huevex(self, env=None, timeout=10.0, args=(), prefix=()):
        """Starts the program in the session (so it gets the session's
        DISPLAY and WAYLAND_DISPLAY) with `env` added to its environment and
        `args` on its command line (under `prefix`, such as a benchmark's
        watcher, if given), and waits until its main window is painted; a
        pick from the command line is left to the caller, since the desktop
        may ask the user first. Its stdout and stderr go to files."""
        binary = os.path.join(self.rundir, "huevex")  # the user may not reach the build tree
        # The screen capture module goes with it: the program looks beside itself.
        module = os.path.join(os.path.dirname(os.path.abspath(self.args.huevex)), MODULE)
        for source, copy in [(self.args.huevex, binary), (module, os.path.join(self.rundir, MODULE))]:
            if os.path.exists(source):
                # A copy still running (a command's clipboard server) keeps its own file.
                if os.path.exists(copy):
                    os.unlink(copy)
                shutil.copy(source, copy)
                os.chown(copy, self.uid, self.gid)
        self.huevex = Program(self.rundir)
        self.stderr_path = os.path.join(self.rundir, "huevex.stderr")
        self.stdout_path = os.path.join(self.rundir, "huevex.stdout")
        for earlier in (self.huevex.status_file, self.stderr_path, self.stdout_path):
            if os.path.exists(earlier):
                os.unlink(earlier)  # an earlier run's
        settings = [f"{k}={v}" for k, v in (env or {}).items()]
        script = (f"env {shlex.join(settings)} {shlex.join([*prefix, binary, *args])} "
                  f"> {self.stdout_path} 2> {self.stderr_path}; "
                  f"echo $? > {self.huevex.status_file}")
        self.exec_in_session(script)
        if "--pick" in args:
            return self.huevex
        # The first window with the program's title (a message box may follow).
        self.wait_painted(lambda: min(self.windows("^HUEVEX"), key=int, default=None), timeout)
        return self.huevex

    def huevex_pids(self):
        """The program's processes: the user's whose binary is the session's copy."""
        binary = os.path.join(self.rundir, "huevex")
        found = []
        for pid in processes_of(self.uid):
            try:
                if os.readlink(f"/proc/{pid}/exe") == binary:
                    found.append(pid)
            except OSError:
                pass
        return found

    def stop_huevex(self):
        """Ends the program by its id, for a fresh start in the same session."""
        _signal_all(self.huevex_pids(), signal.SIGTERM)
        if self.huevex:
            self.wait_for(lambda: self.huevex.poll() is not None, "the program to end")
            os.unlink(self.huevex.status_file)
        self.huevex = None

    def stderr(self):
        return self._read(self.stderr_path)

    def stdout(self):
        return self._read(self.stdout_path)

    @staticmethod
    def _read(path):
        try:
            with open(path, errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    # A pick from the command line

    def cover(self):
        """The program's window over the whole screen, once it is up."""
        return next((w for w in self.windows("^HUEVEX$")
                     if self.client_size(w) == SIZE and self.viewable(w)), None)

    def pick_command(self, checks, start, target, color, env=None, answer=None):
        """`huevex --pick` with the compositor's own pointer and keys
        (xdotool's reach X windows only): from `start` onto `target`, where
        the desktop shows `color` on no X window, then a click, Enter or Esc,
        a run each. `answer()` answers the question the first run raises."""
        hands = self.hands()
        for end in ["click", "Return", "Escape"]:
            what = f"--pick, then {end}"
            hands.do("move", *start)
            self.start_huevex(env, args=["--pick"])
            if answer:
                answer()
                answer = None
            cover = self.wait_for(self.cover, f"{what}: the screen covered", 30)
            for i in range(1, 7):
                hands.do("move", *(a + (b - a) * i // 6 for a, b in zip(start, target)))
                time.sleep(0.015)
            time.sleep(0.3)
            own = self.window_picture(cover)
            main = min((w for w in self.windows("^HUEVEX$") if w != cover), key=int)
            x, y = self.client_origin(main)
            left, top = session.Session.outer_rect(self, main)[:2]  # the frame the WM tells
            corner = (target[0] + 32 + x - left, target[1] + 32 + y - top)  # 32: the gap
            checks.equal(f"{what}: the main window beside the pointer, on the cover",
                         [own.rgb(corner[0] + cx, corner[1] + cy)
                          for cx, cy in [(2, 2), self.SWATCH]], [self.FACE, session.rgb(color)])
            if self.COMPOSED_SHOTS:
                shown = self.screenshot()
                unlike = [(px, py) for px in range(0, SIZE[0], 16) for py in range(0, SIZE[1], 16)
                          if own.rgb(px, py) != shown.rgb(px, py)
                          and max(abs(px - target[0]), abs(py - target[1])) > 20]  # the pointer
                checks.equal(f"{what}: nothing shown over the cover", unlike[:3], [])
            if end == "click":
                hands.do("click", *target)
            else:
                hands.do("key", self.KEYS["Shift"])  # Xwayland may drop a new keyboard's first
                hands.do("key", self.KEYS[end])
            self.wait_for(lambda: self.huevex.poll() is not None, f"{what}: the program to end")
            printed = "" if end == "Escape" else f"#{color}\n"
            checks.equal(f"{what}: status, stdout, stderr",
                         (self.huevex.poll(), self.stdout(), self.stderr()),
                         (1 if end == "Escape" else 0, printed, ""))
        self.huevex = None  # none runs now

    def windows(self, name):
        return self.output(["xdotool", "search", "--name", name]).split()

    def window_picture(self, window=None):
        """A window's own picture (Xwayland gives no client the root's pixels,
        but each window's own), whatever lies over it on screen."""
        return session.Screenshot(self.run(["xwd", "-silent", "-id", window or self.main_window],
                                           timeout=20).stdout)

    def title(self, window=None):
        return self.output(["xdotool", "getwindowname", window or self.main_window]).strip()
