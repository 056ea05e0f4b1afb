"""A private KWin (KDE Plasma's compositor) session for one end-to-end test of
the Linux program.

KWin runs with a virtual output and Xwayland, as the desktop session's user
(user_session.py: its runtime directory, the guard, the sweep by process id
at the end). What is KWin's:

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
  KWin composites; Xwayland gives no client the root's pixels, so the session
  reads each window's own.
"""

import os
import shlex
import shutil
import time

from user_session import SIZE, UserSession, session

KWIN = "/usr/bin/kwin_wayland"
PORTAL_KDE = "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde"
PORTAL_INTERFACES = ["Screenshot", "ScreenCast", "GlobalShortcuts"]
PORTAL_RESOURCE = "org.freedesktop.impl.portal.desktop.kde"  # its dialogs' windows


class KWinSession(UserSession):
    """KWin with a virtual 1280 x 1024 output, Xwayland, PipeWire and KDE's
    desktop portal in a session bus."""

    NAME = "KWin"
    TAG = "kw"
    DESKTOP = "KDE"
    TOOLS = [*UserSession.TOOLS, "dbus-run-session", "dbus-monitor",
             "dbus-update-activation-environment", "gdbus", "pipewire", "wireplumber", "xhost"]
    FILES = [KWIN, PORTAL_KDE]
    PACKAGES = "kde"
    COMPOSED_SHOTS = False

    def __init__(self, args):
        super().__init__(args)
        self.scripts = 0
        self.monitor_log = None

    def _home_env(self):
        home = self.rundir
        return {**super()._home_env(), "XDG_CONFIG_HOME": f"{home}/config",
                "XDG_CACHE_HOME": f"{home}/cache", "XDG_DATA_HOME": f"{home}/data",
                "XDG_STATE_HOME": f"{home}/state", "XDG_SESSION_TYPE": "wayland"}

    def _start_compositor(self):
        # KDE's portal writes each screenshot into the Pictures folder, and
        # refuses the call where there is none.
        pictures = os.path.join(self.rundir, "Pictures")
        os.mkdir(pictures)
        os.chown(pictures, self.uid, self.gid)
        kwin = os.path.join(self.rundir, "kwin_wayland")  # a copy: no file capability
        shutil.copy(KWIN, kwin)
        os.chown(kwin, self.uid, self.gid)
        # Run by KWin once Xwayland is up, with DISPLAY and WAYLAND_DISPLAY set.
        announce = self._announce("dbus-update-activation-environment DISPLAY WAYLAND_DISPLAY "
                                  "XDG_CURRENT_DESKTOP QT_QPA_PLATFORM")
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
        self._launch(self.user_command(["dbus-run-session", "--", start], env))
        self._wait_ready()

    # Looking: at our windows' own pictures.

    def screenshot(self, window=None):
        return self.window_picture(window)

    def client_pixel(self, client, window=None):
        return self.screenshot(window).rgb(*client)

    # The desktop portal

    def watch_portal(self):
        """Starts counting the program's calls to the desktop portal's
        Screenshot, ScreenCast and GlobalShortcuts, and their answers
        (dbus-monitor on the session bus)."""
        rules = [f"type='method_call',interface='org.freedesktop.portal.{name}'"
                 for name in PORTAL_INTERFACES]
        rules.append("type='signal',interface='org.freedesktop.portal.Request',member='Response'")
        self.monitor_log = self.monitor(rules, "portal-calls")

    def portal_calls(self):
        """The portal's methods called since watch_portal, as "Interface.Member"."""
        return self.monitored_calls(self.monitor_log)

    def pictures(self):
        """The files in the user's Pictures folder, where KDE's portal saves screenshots."""
        return sorted(os.listdir(os.path.join(self.rundir, "Pictures")))

    # The compositor's windows

    def kwin_windows(self, stacked=False):
        """KWin's windows (Wayland and X alike) as (caption, resource class,
        (x, y, width, height)), from a script KWin runs and prints to its log;
        `stacked`: in KWin's stacking order, the lowest first, as (caption,
        resource class, kept above)."""
        self.scripts += 1
        name = f"huevex-windows-{self.scripts}"
        marker = f"{name}|"
        fields = "w.keepAbove" if stacked else "g.x, g.y, g.width, g.height"
        order = ".sort((a, b) => a.stackingOrder - b.stackingOrder)" if stacked else ""
        script = self._own_file(f"{name}.js", (
            f"for (const w of workspace.clientList(){order}) {{\n"
            "  const g = w.frameGeometry;\n"
            f"  print('{marker}' + [w.caption, w.resourceClass, {fields}].join('|'));\n"
            "}\n"
            f"print('{marker}end');\n").encode())
        self.gdbus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.loadScript", script,
                   name)
        self.gdbus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.start")

        def printed():
            with open(self.compositor_log, errors="replace") as f:
                lines = [line.split(marker, 1)[1].rstrip("\n") for line in f if marker in line]
            return lines if lines and lines[-1] == "end" else None

        lines = self.wait_for(printed, "KWin's script", 5)
        self.gdbus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.unloadScript", name)
        windows = []
        for line in lines[:-1]:
            if stacked:
                caption, resource, above = line.rsplit("|", 2)
                windows.append((caption, resource, above == "true"))
                continue
            caption, resource, *rect = line.rsplit("|", 5)
            windows.append((caption, resource, tuple(int(float(v)) for v in rect)))
        return windows

    def dialog_over_huevex(self):
        """Whether the portal's dialog lies above every window of the
        program's, none of which is kept above the others meanwhile."""
        stack = self.kwin_windows(stacked=True)
        dialog = [i for i, (_, resource, _) in enumerate(stack) if resource == PORTAL_RESOURCE]
        ours = [i for i, (_, resource, _) in enumerate(stack) if resource.lower() == "huevex"]
        return bool(dialog and ours) and max(ours) < min(dialog) and not any(
            above for _, resource, above in stack if resource.lower() == "huevex")

    def huevex_kept_above(self):
        return [above for _, resource, above in self.kwin_windows(stacked=True)
                if resource.lower() == "huevex"]

    def answer_screencast_dialog(self, timeout=15):
        """Chooses the output in KDE's ScreenCast dialog and shares it, with
        the compositor's own pointer (the dialog is a Wayland window, out of
        xdotool's reach). Whether a dialog came and went."""
        def dialog():
            return next((rect for caption, resource, rect in self.kwin_windows()
                         if resource == PORTAL_RESOURCE and caption.startswith("Screen Sharing")),
                        None)

        rect = session.poll(dialog, timeout, step=0.3)
        if not rect:
            return False
        x, y, width, height = rect
        # The output's card (the second: the first offers a new virtual
        # output), then Share (bottom right, beside Cancel).
        self.hands().do("click", x + width - 150, y + 237)
        time.sleep(0.3)
        self.hands().do("click", x + width - 139, y + height - 26)
        return session.poll(lambda: not dialog(), 5, step=0.3)

    def type_shortcut(self, codes=(125, 56, 46)):  # Super+Alt+C (linux/input-event-codes.h)
        """With the compositor's keyboard: xdotool's keys reach only Xwayland."""
        self.hands().do("keys", *codes)
