"""HUEVEX.exe under Wine, on a private Xvfb with openbox.

One Wine prefix in the build tree serves every test in turn: the setup test
(wine/prefix_boot.py) boots it afresh, and the others refuse to run without
it. Two helpers see what xdotool and xclip cannot: huevex_xprobe on the X
side (the pointer's image, a clipboard holder that says who asked it what,
the window manager's close), and huevex_winprobe.exe inside the Wine session,
built beside the program (the system colors, another process's GDI objects,
a clipboard held open).
"""

import os
import shutil
import subprocess
import sys
import time

from harness import session

def arguments(extra=None):
    """The session's arguments and the Wine ones. What a test makes goes to
    a folder of its own in --artifacts, named after the script: emptied when
    the test starts and kept afterwards for a look."""

    def more(parser):
        parser.add_argument("--sim-frame")
        parser.add_argument("--prefix", help="the Wine prefix the setup test boots")
        if extra:
            extra(parser)

    args = session.arguments(more)
    args.wm = "openbox"
    name = os.path.splitext(os.path.basename(sys.argv[0]))[0]
    args.artifacts = os.path.join(args.artifacts, name)
    shutil.rmtree(args.artifacts, ignore_errors=True)
    os.makedirs(args.artifacts)
    return args


class WineSession(session.XvfbSession):
    # Wine's own processes end before the display they talk to.

    def __init__(self, args):
        super().__init__(args)
        self.wine_started = False
        self.on_close = []  # what a test needs done before Wine is stopped
        self.huevex = None
        self.cleared = None
        self._clears = 0

    def __enter__(self):
        super().__enter__()
        print(f"display {self.display}", flush=True)
        self.env.update(WINEPREFIX=self.args.prefix, WINEDEBUG="-all",
                        # No downloads or dialogs for .NET and HTML engines nobody uses here.
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        return self

    def close(self):
        for action in self.on_close:
            try:
                action()
            except Exception as error:  # the rest must still be stopped
                print(f"while closing: {error}", flush=True)
        if self.wine_started:
            for step in ("-k", "-w"):
                try:
                    subprocess.run(["wineserver", step], env=self.env, timeout=30,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                except subprocess.TimeoutExpired:
                    pass
        super().close()

    def artifact(self, name):
        return os.path.join(self.args.artifacts, name)

    # Wine

    def require_prefix(self):
        if not os.path.isfile(os.path.join(self.args.prefix, "system.reg")):
            raise session.Failure(f"no Wine prefix at {self.args.prefix} (run wine_prefix_boot)")

    def wine(self, *command, timeout=60, log="wine.log"):
        """Runs a Windows program (or a Wine tool such as `reg`) to its end;
        what it says goes to the log, the exit status comes back."""
        self.wine_started = True
        return self.tool(["wine", *command], timeout, log)

    def wineserver_wait(self, timeout=60):
        return self.tool(["wineserver", "-w"], timeout)

    def tool(self, command, timeout, log="wine.log"):
        with open(self.artifact(log), "ab") as out:
            try:
                return subprocess.run(command, env=self.env, timeout=timeout, stdout=out,
                                      stderr=subprocess.STDOUT).returncode
            except subprocess.TimeoutExpired:
                return f"timed out after {timeout} s"

    def set_dpi(self, dpi):
        self.wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                  "REG_DWORD", "/d", str(dpi), "/f", log="reg.log")
        self.wineserver_wait()

    # The Windows helper built beside the program (winprobe.cpp)

    def winprobe_path(self):
        return os.path.join(os.path.dirname(self.args.huevex), "huevex_winprobe.exe")

    def require_winprobe(self):
        if not os.path.isfile(self.winprobe_path()):
            raise session.Failure(f"no {self.winprobe_path()}: build the Windows build's "
                                  "huevex_winprobe target")

    def winprobe(self, *words, check=False):
        """What the probe prints, its line ends made plain; with `check`, a
        probe that fails ends the test."""
        self.wine_started = True
        with open(self.artifact("winprobe.log"), "ab") as errors:
            try:
                result = subprocess.run(["wine", self.winprobe_path(), *words], env=self.env,
                                        timeout=60, stdout=subprocess.PIPE, stderr=errors)
            except subprocess.TimeoutExpired:
                raise session.Failure(f"the probe ({' '.join(words)}) did not answer")
        out = result.stdout.decode(errors="replace").replace("\r", "").rstrip("\n")
        if check and result.returncode != 0:
            raise session.Failure(f"the probe ({' '.join(words)}) failed: {out}")
        return out

    def start_winprobe(self, *words, **kwargs):
        self.wine_started = True
        return self.spawn(["wine", self.winprobe_path(), *words], **kwargs)

    def gdi_count(self):
        """(handle table, GetGuiResources): the least of 20 readings of each,
        since a reading may fall inside a frame, which holds a memory context,
        a bitmap and a brush for a moment."""
        out = self.winprobe("gdi-objects", "HUEVEX", "20", check=True)
        print(f"    ({';'.join(out.splitlines())};)", flush=True)
        values = {line.split()[0]: line.split()[1] for line in out.splitlines() if " " in line}
        try:
            return int(values["table"]), int(values["GetGuiResources"])
        except (KeyError, ValueError):
            raise session.Failure(f"unreadable count: {out}")

    # The program

    def start(self, winprobe=False, board=None):
        """What a script does first: the shared prefix required (and the probe
        program, for a script that asks it things), HUEVEX.exe started, and a
        colorboard at board = (x, y, width, height, colors), which is given
        back, when the script wants one."""
        self.require_prefix()
        if winprobe:
            self.require_winprobe()
        self.start_huevex()
        return self.board(*board, self.artifact("colorboard.log")) if board else None

    def start_huevex(self, *arguments):
        """HUEVEX.exe under Wine, with any arguments given; waits until its
        main window shows the crosshair. self.huevex is Wine's loader, which
        lives as long as the program; self.client its client area."""
        self.wine_started = True
        with open(self.artifact("huevex.log"), "ab") as log:
            self.huevex = self.spawn(["wine", self.args.huevex, *arguments], stdout=log,
                                     stderr=subprocess.STDOUT)
        try:
            self.main_window = self.wait_for(lambda: self.find_window("^HUEVEX$", visible=True),
                                             "the HUEVEX window", 60, step=0.05)
        except session.Failure:
            raise session.Failure("no HUEVEX window")
        self.client = self.client_rect(self.main_window)
        try:
            self.wait_for(lambda: self.pixel(*self.at(self.CROSSHAIR)) == "000000",
                          "the crosshair", 20, step=0.05)
        except session.Failure:
            raise session.Failure("the main window was never painted")
        print(f"HUEVEX window {self.main_window}, client {self.client[2]}x{self.client[3]} "
              f"at {self.client[0]},{self.client[1]}", flush=True)
        return self.huevex

    def command(self, *arguments, during=None):
        """(exit status, stdout, stderr) of HUEVEX.exe run to its end with both
        streams pipes, `during` (what a person does) run meanwhile."""
        self.wine_started = True
        process = self.spawn(["wine", self.args.huevex, *arguments], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        if during:
            during()
        try:
            out, err = process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            raise session.Failure(f"HUEVEX.exe {' '.join(arguments)} did not end")
        return process.returncode, out.decode(errors="replace"), err.decode(errors="replace")

    def huevex_running(self):
        return self.huevex is not None and self.huevex.poll() is None

    def at(self, client):
        """A point of the main window's client area on the screen, where the
        client area was last seen (self.client)."""
        return self.client[0] + client[0], self.client[1] + client[1]

    # The mouse, with a few milliseconds between steps as a hand would leave.

    def move_to(self, x, y):
        self.xdotool("mousemove", x, y)
        time.sleep(0.03)

    def press_and_drag(self, button, x, y):
        """Press on the crosshair, drag in steps to (x, y) and stay there."""
        from_x, from_y = self.at(self.CROSSHAIR)
        self.move_to(from_x, from_y)
        self.xdotool("mousedown", button)
        time.sleep(0.05)
        for step in range(1, 5):
            self.move_to(from_x + (x - from_x) * step // 4, from_y + (y - from_y) * step // 4)
        # Let the sampling timer tick there for a while.
        time.sleep(0.3)

    def release(self, button):
        self.xdotool("mouseup", button)
        time.sleep(0.05)

    def click_magnifier_bar(self):
        self.move_to(*self.at(self.MAGNIFIER_BAR))
        self.xdotool("mousedown", 1)
        time.sleep(0.03)
        self.xdotool("mouseup", 1)
        time.sleep(0.1)

    # The clipboard, read through X while the program still runs. Clearing it
    # hands the CLIPBOARD to a holder of a fresh text. Wine brings every new X
    # clipboard into the Windows clipboard; the pick's copy must come after
    # that, or Wine's late import would replace it, so the clearing waits
    # until Wine has asked the holder what it offers.

    def clear_clipboard(self):
        self._clears += 1
        self.cleared = f"cleared-{self._clears}"
        log = self.artifact(f"holder-{self._clears}.log")
        with open(log, "wb") as out:
            self.spawn([self.args.xprobe, "hold", self.cleared], stdout=out,
                       stderr=subprocess.STDOUT)

        def said(prefix):
            with open(log) as f:
                return any(line.startswith(prefix) for line in f)

        try:
            self.wait_for(lambda: said("holding"), "the clipboard holder", 5, step=0.05)
        except session.Failure:
            raise session.Failure("could not take the clipboard")
        if self.huevex_running():
            try:
                self.wait_for(lambda: said("request TARGETS"),
                              "Wine to take in the cleared clipboard", 5, step=0.05)
            except session.Failure:
                raise session.Failure("Wine never looked at the cleared clipboard")
        try:
            self.wait_for(lambda: self.clipboard() == self.cleared, "the cleared clipboard", 5,
                          step=0.05)
        except session.Failure:
            raise session.Failure("could not clear the clipboard")
        return self.cleared

    def clipboard(self, tool="xclip", target=None, timeout=5):
        return super().clipboard(tool, target, timeout)

    def clipboard_after_pick(self):
        """The clipboard once it no longer holds the cleared text (or after 5 s)."""
        return session.poll(self.clipboard, 5, lambda text: text != self.cleared)

    # One pick as a person makes it, checked the way a person would check it:
    # the pointer and the empty crosshair box while the button is down; the
    # clipboard (read while the program runs), the swatch, the crosshair back
    # in its box and the pointer after the release.

    def pick_and_check(self, checks, button, x, y, color):
        cross, swatch = self.at(self.CROSSHAIR), self.at(self.SWATCH)
        checks.equal("color under the pointer's target", self.pixel(x, y), color)
        self.clear_clipboard()
        self.press_and_drag(button, x, y)
        checks.soon("pointer while picking", self.cursor_image, session.CROSSHAIR_CURSOR)
        checks.soon_not("crosshair box while picking", lambda: self.pixel(*cross), "000000")
        checks.soon("swatch while picking", lambda: self.pixel(*swatch), color)
        self.release(button)
        checks.equal("clipboard", self.clipboard_after_pick(), "#" + color)
        checks.equal("swatch after the pick", self.pixel(*swatch), color)
        checks.soon("crosshair back in its box", lambda: self.pixel(*cross), "000000")
        checks.soon_not("pointer after the pick", self.cursor_image, session.CROSSHAIR_CURSOR)
        checks.true("program still running", self.huevex_running())

    def on_failed_case(self, name):
        self.save_screenshot(f"failed-{name.replace(' ', '_')}.png")
