"""A private KWin (KDE Plasma's compositor) session for one end-to-end test of
the Linux program.

KWin runs with a virtual output and Xwayland, as a user the session creates
(as the sway session does: its own runtime directory, the guard, the sweep
by process id at the end). What differs from sway:

- /usr/bin/kwin_wayland carries a file capability (cap_sys_resource), and a
  container without it refuses to exec the binary: the session runs a copy,
  which carries none;
- the desktop portal is KDE's: xdg-desktop-portal and its KDE back end come
  up by D-Bus activation in the session bus, the back end as a Wayland client
  of KWin (QT_QPA_PLATFORM=wayland), since its ScreenCast dialog is a Wayland
  window; PipeWire and wireplumber run in the session (wireplumber once
  PipeWire's socket is there: it links a stream to its node);
- KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 lets the portal call KWin's own
  screenshot interface and lets the test's fake-input client (a Wayland
  client clicking the portal's dialog) in;
- the pictures to pick from are X clients on Xwayland (the colorboard), which
  KWin composites; what the compositor shows is read through the screenshot
  portal, as the program reads it.
"""

import os
import shlex
import shutil
import signal
import subprocess
import time

import sway_session
import virtual_pointer
from sway_session import Failure, eventually, session

Checks = session.Checks
SIZE = (1280, 1024)
KWIN = "/usr/bin/kwin_wayland"
PORTAL_KDE = "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"
PORTAL_INTERFACES = ["Screenshot", "ScreenCast"]
PORTAL_RESOURCE = "org.freedesktop.impl.portal.desktop.kde"  # its dialogs' windows
TOOLS = ["Xwayland", "dbus-run-session", "dbus-monitor", "dbus-update-activation-environment",
         "gdbus", "pipewire", "wireplumber", "runuser", "useradd", "xhost", "xdotool", "xclip"]


def kwin_missing():
    """Why this machine cannot run the session, or None."""
    if not os.path.exists(KWIN):
        return "kwin_wayland is not installed (tools/packages.sh kde)"
    if not os.path.exists(PORTAL_KDE):
        return "xdg-desktop-portal-kde is not installed (tools/packages.sh kde)"
    for tool in TOOLS:
        if not shutil.which(tool):
            return f"{tool} is not installed (tools/packages.sh kde)"
    if os.geteuid() != 0:
        return "the session creates a user of its own: it must run as root"
    return None


def arguments(extra=None):
    return session.arguments(extra)


def main(test):
    sway_session.run_or_skip(test, kwin_missing, "KWin session")


class KWinSession(sway_session.SwaySession):
    """KWin with a virtual 1280 x 1024 output, Xwayland, PipeWire and KDE's
    desktop portal in a session bus. The user, its runtime directory, the
    guard, the sweep and the program's start-up are the sway session's."""

    HELP_TITLE = "^Form1$"

    def __init__(self, args):
        super().__init__(args, portal=True)
        self.user = f"huevex-kw-{os.getpid()}-{sway_session.SwaySession.count}"
        self.kwin = None
        self.scripts = 0
        self.monitor_log = None

    NAME = "KWin"

    def _start_compositor(self):
        self._start_kwin()

    def close(self):
        started = time.monotonic()
        session.Session.close(self)  # what this process spawned itself
        if self.rundir:
            # KWin, Xwayland, the bus, PipeWire, the portals and the program
            # all run as the session's user: the sweep ends them by id.
            sway_session._sweep(self.user, self.uid, self.rundir)
            print(f"KWin session down in {time.monotonic() - started:.1f} s", flush=True)
        if self.kwin:
            self.kwin.wait(10)  # runuser, once KWin is gone
        if self.guard_pipe is not None:
            os.write(self.guard_pipe, b".")  # swept: the guard may go
            os.close(self.guard_pipe)
            self.guard_pipe = None
        self.rundir = None

    def _start_kwin(self):
        # KDE's portal writes each screenshot into the Pictures folder, and
        # refuses the call where there is none.
        pictures = os.path.join(self.rundir, "Pictures")
        os.mkdir(pictures)
        os.chown(pictures, self.uid, self.gid)
        kwin = os.path.join(self.rundir, "kwin_wayland")  # a copy: no file capability
        shutil.copy(KWIN, kwin)
        os.chown(kwin, self.uid, self.gid)
        ready = os.path.join(self.rundir, "ready")
        # Run by KWin once Xwayland is up, with DISPLAY and WAYLAND_DISPLAY set.
        announce = self._own_file("announce.sh", (
            "#!/bin/sh\n"
            "xhost +si:localuser:root >/dev/null || exit 1\n"
            "dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP "
            "QT_QPA_PLATFORM || exit 1\n"
            f'echo "$DISPLAY $WAYLAND_DISPLAY $DBUS_SESSION_BUS_ADDRESS" > {ready}.new\n'
            f"mv {ready}.new {ready}\n"
        ).encode(), 0o755)
        # PipeWire first, wireplumber once PipeWire's socket is there, then KWin.
        start = self._own_file("start.sh", (
            "#!/bin/sh\n"
            "pipewire &\n"
            "for i in $(seq 100); do [ -S \"$XDG_RUNTIME_DIR/pipewire-0\" ] && break; "
            "sleep 0.05; done\n"
            "wireplumber &\n"
            f"exec {shlex.quote(kwin)} --virtual --xwayland --width {SIZE[0]} "
            f"--height {SIZE[1]} {shlex.quote(announce)}\n"
        ).encode(), 0o755)
        env = {**self._home_env(),
               # The portal's back end (started by the bus) draws its dialogs
               # as a Wayland client of KWin.
               "QT_QPA_PLATFORM": "wayland",
               "KWIN_WAYLAND_NO_PERMISSION_CHECKS": "1",
               # What KWin scripts print (the windows, below) goes to the log.
               "QT_LOGGING_RULES": "kwin_scripting.debug=true"}
        self.kwin_log = os.path.join(self.args.artifacts, f"{self.user}-kwin.log")
        with open(self.kwin_log, "wb") as log:
            self.kwin = subprocess.Popen(
                ["runuser", "-u", self.user, "--", "env", "-i",
                 *[f"{k}={v}" for k, v in env.items()], "dbus-run-session", "--", start],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, cwd=self.rundir,
                start_new_session=True)
        self.wait_for(lambda: os.path.exists(ready) or self.kwin.poll() is not None,
                      "KWin and Xwayland to start", 30)
        if not os.path.exists(ready):
            raise Failure(f"KWin ended at start-up: see {self.kwin_log}")
        with open(ready) as f:
            self.display, wayland, bus = f.read().split()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("XAUTHORITY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wayland_env = [f"XDG_RUNTIME_DIR={self.rundir}", f"WAYLAND_DISPLAY={wayland}",
                            f"DBUS_SESSION_BUS_ADDRESS={bus}"]

    # Running things in the session

    def _home_env(self):
        """Every program of the session's user keeps its files in the runtime
        directory, which goes at the end."""
        home = self.rundir
        return {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": home, "XDG_RUNTIME_DIR": home,
                "XDG_CONFIG_HOME": f"{home}/config", "XDG_CACHE_HOME": f"{home}/cache",
                "XDG_DATA_HOME": f"{home}/data", "XDG_STATE_HOME": f"{home}/state",
                "XDG_CURRENT_DESKTOP": "KDE", "XDG_SESSION_TYPE": "wayland", "LANG": "C.UTF-8"}

    def user_env(self):
        """The environment of a program of the session's user."""
        return {**self._home_env(), "DISPLAY": self.display,
                **dict(v.split("=", 1) for v in self.wayland_env)}

    def exec_in_session(self, script):
        self.spawn(["runuser", "-u", self.user, "--", "env", "-i",
                    *[f"{k}={v}" for k, v in self.user_env().items()], "sh", "-c", script],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, env=None)

    def huevex_pid(self):
        """The running program's process id (the one whose binary is the
        session's copy)."""
        binary = os.path.join(self.rundir, "huevex")
        for entry in os.listdir("/proc"):
            try:
                if entry.isdigit() and os.readlink(f"/proc/{entry}/exe") == binary:
                    return int(entry)
            except OSError:
                pass
        raise Failure("the program is not running")

    def stop_huevex(self):
        """Ends the program, so that the session may start it again."""
        os.kill(self.huevex_pid(), signal.SIGTERM)
        self.wait_for(lambda: self.huevex.poll() is not None, "the program to end")
        os.unlink(self.huevex.status_file)

    # Looking: Xwayland gives no client the root's pixels, but each window's own.

    def screenshot(self, window=None):
        return session.Screenshot(self.run(["xwd", "-silent", "-id", window or self.main_window],
                                           timeout=20).stdout)

    def client_pixel(self, client, window=None):
        return self.screenshot(window).rgb(*client)

    def board(self, x, y, width, height, colors, log, timeout=20):
        """A colorboard (an X client, which KWin composites), once it shows its first stripe."""
        open(log, "a").close()
        process = self.colorboard(x, y, width, height, colors, log, timeout)
        window = self.wait_for(lambda: self.find_window("^colorboard$", visible=True),
                               "the colorboard's window", timeout)
        board = session.Board(process, window, self.client_rect(window), colors, log)
        self.wait_for(lambda: self.screenshot(window).hex(2, 2) == colors[0],
                      "the colorboard's first stripe", timeout, step=0.05)
        return board

    # The desktop portal

    def gdbus(self, destination, path, method, *words, timeout=10):
        return self.as_user(["gdbus", "call", "--session", "--timeout", str(timeout), "--dest",
                             destination, "--object-path", path, "--method", method, *words],
                            timeout=timeout + 5).stdout.decode()

    def watch_portal(self):
        """Starts counting the program's calls to the desktop portal's
        Screenshot and ScreenCast, and their answers (dbus-monitor on the
        session bus)."""
        self.monitor_log = os.path.join(self.rundir, "portal-calls.log")
        rules = [f"type='method_call',interface='org.freedesktop.portal.{name}'"
                 for name in PORTAL_INTERFACES]
        rules.append("type='signal',interface='org.freedesktop.portal.Request',member='Response'")
        self.exec_in_session(f"exec dbus-monitor --session {shlex.join(rules)} "
                             f"> {self.monitor_log} 2>&1")
        self.wait_for(lambda: os.path.exists(self.monitor_log) and os.path.getsize(
            self.monitor_log), "dbus-monitor to start")

    def portal_calls(self):
        """The portal's methods called since watch_portal, as "Interface.Member"."""
        calls = []
        with open(self.monitor_log) as f:
            for line in f:
                if line.startswith("method call"):
                    fields = dict(part.strip().split("=", 1) for part in line.split(";")[1:])
                    calls.append(fields["interface"].rsplit(".", 1)[1] + "." + fields["member"])
        return calls

    def pictures(self):
        """The files in the user's Pictures folder, where KDE's portal saves screenshots."""
        return sorted(os.listdir(os.path.join(self.rundir, "Pictures")))

    # The compositor's windows

    def kwin_windows(self):
        """KWin's windows (Wayland and X alike) as (caption, resource class,
        (x, y, width, height)), from a script KWin runs and prints to its log."""
        self.scripts += 1
        name = f"huevex-windows-{self.scripts}"
        marker = f"{name}|"
        script = self._own_file(f"{name}.js", (
            "for (const w of workspace.clientList()) {\n"
            "  const g = w.frameGeometry;\n"
            f"  print('{marker}' + [w.caption, w.resourceClass, g.x, g.y, g.width, g.height]"
            ".join('|'));\n"
            "}\n"
            f"print('{marker}end');\n").encode())
        self.gdbus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.loadScript", script,
                   name)
        self.gdbus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.start")

        def printed():
            with open(self.kwin_log, errors="replace") as f:
                lines = [line.split(marker, 1)[1].rstrip("\n") for line in f if marker in line]
            return lines if lines and lines[-1] == "end" else None

        lines = self.wait_for(printed, "KWin's script", 5)
        self.gdbus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.unloadScript", name)
        windows = []
        for line in lines[:-1]:
            caption, resource, *rect = line.rsplit("|", 5)
            windows.append((caption, resource, tuple(int(float(v)) for v in rect)))
        return windows

    def answer_screencast_dialog(self, timeout=15):
        """Chooses the output in KDE's ScreenCast dialog and shares it, with
        the compositor's own pointer (the dialog is a Wayland window, out of
        xdotool's reach). Whether a dialog came and went."""
        def dialog():
            return next((rect for caption, resource, rect in self.kwin_windows()
                         if resource == PORTAL_RESOURCE and caption.startswith("Screen Sharing")),
                        None)

        rect = eventually(dialog, timeout, step=0.3)
        if not rect:
            return False
        x, y, width, height = rect
        # The output's card (the second: the first offers a new virtual
        # output), then Share (bottom right, beside Cancel).
        clicker = os.path.join(self.rundir, "virtual_pointer.py")
        shutil.copy(virtual_pointer.__file__, clicker)
        os.chmod(clicker, 0o644)
        self.as_user(["python3", clicker, str(x + width - 150), str(y + 237),
                      str(x + width - 139), str(y + height - 26)])
        return eventually(lambda: not dialog(), 5, step=0.3) is not None
