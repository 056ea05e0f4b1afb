"""A desktop for one end-to-end test, and a person's hands and eyes on it.

`Session` knows a display and how to act and look there: it starts programs
on it, drives the pointer with xdotool, reads the clipboard with xclip and
xsel, looks at windows with xwininfo and xprop, at pixels in xwd
screenshots and at the pointer's image with huevex_xprobe. Where the display
comes from is a subclass's business: `XvfbSession` starts a private Xvfb (the
server picks the display number through -displayfd) and, if asked, openbox;
`XorgSession` a private Xorg with the dummy driver, for RandR 1.5 monitors; a
Wayland desktop's Xwayland is wayland/user_session.py's. The program is the
Linux one here; tests of HUEVEX.exe use the Wine session beside this module.

`Checks` collects what a test expects; `Checks.run` runs one case of it.

Everything a session starts is killed when it ends, also when the test fails
or is killed (children die with this process), and so is what the program
leaves on the display to serve the clipboard, by its PID.
"""

import argparse
import contextlib
import ctypes
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    # A child outlives a killed test otherwise; the X server above all.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


# The crosshair as the pointer shows it: 15 x 15, hot spot at its centre dot.
CROSSHAIR_CURSOR = "\n".join([
    "15x15 7,7",
    ".......#.......",
    ".......#.......",
    ".......#.......",
    ".....#####.....",
    "....#.....#....",
    "...#.......#...",
    "...#.......#...",
    "####...#...####",
    "...#.......#...",
    "...#.......#...",
    "....#.....#....",
    ".....#####.....",
    ".......#.......",
    ".......#.......",
    ".......#.......",
])


def arguments(extra=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--wm", choices=["none", "openbox", "openbox-ffm"], default="none")
    parser.add_argument("--huevex", required=True)
    parser.add_argument("--colorboard")
    parser.add_argument("--tool")
    parser.add_argument("--xprobe")
    parser.add_argument("--artifacts", default=os.environ.get("TMPDIR", "/tmp"))
    if extra:
        extra(parser)
    return parser.parse_args()


class Failure(Exception):
    pass


class ServerUnavailable(Failure):
    """The machine cannot start the server a session needs: a test skips."""


def _brief(value):
    """A value as one line: a longer text's first line and how many follow."""
    text = str(value)
    lines = text.split("\n")
    return text if len(lines) == 1 else f"{lines[0]} [+{len(lines) - 1} lines]"


class Checks:
    """Collects the outcome of every expectation, so that one run reports all
    of them; cases group the checks of one situation under a name."""

    def __init__(self):
        self.failed = []
        self.passed = 0
        self._case_failed = False

    def equal(self, what, actual, expected):
        if actual == expected:
            self.passed += 1
            print(f"    ok: {what} = {_brief(actual)}", flush=True)
        else:
            self._fail(what, f"expected {expected!r}, got {actual!r}")

    def true(self, what, value):
        self.equal(what, bool(value), True)

    def not_equal(self, what, actual, unwanted):
        if actual != unwanted:
            self.passed += 1
            print(f"    ok: {what} = {_brief(actual)} (not {_brief(unwanted)})", flush=True)
        else:
            self._fail(what, f"should not be {unwanted!r}")

    # What the screen shows a moment after an action: read again and again
    # for up to `timeout` seconds until it is as expected.

    def soon(self, what, read, expected, timeout=3.0):
        self.equal(what, poll(read, timeout, lambda v: v == expected), expected)

    def soon_not(self, what, read, unwanted, timeout=3.0):
        self.not_equal(what, poll(read, timeout, lambda v: v != unwanted), unwanted)

    @contextlib.contextmanager
    def case(self, name, on_failure=None):
        """Checks made inside count for the case `name`, reported PASS or
        FAIL at its end; `on_failure(name)` runs when one of them failed. A
        case inside another fails the outer one with it."""
        outer, self._case_failed = self._case_failed, False
        print(f"--- {name}", flush=True)
        yield
        failed, self._case_failed = self._case_failed, outer or self._case_failed
        if failed:
            print(f"FAIL: {name}", flush=True)
            if on_failure:
                on_failure(name)
        else:
            print(f"PASS: {name}", flush=True)

    def run(self, name, test, *args, on_failure=None):
        """Runs test(*args) as the case `name`. A Failure it raises (a wait
        that timed out, a session that went) fails the case as one more
        check, and the test goes on with what follows. What test returned,
        or None after a Failure."""
        with self.case(name, on_failure):
            try:
                return test(*args)
            except Failure as error:
                self.equal(name, str(error), "no failure")
        return None

    def finish(self):
        print(f"{self.passed} passed, {len(self.failed)} failed", flush=True)
        return 1 if self.failed else 0

    def _fail(self, what, why):
        self.failed.append(f"{what}: {why}")
        self._case_failed = True
        print(f"FAIL {what}: {why}", flush=True)


def poll(read, timeout, good=bool, step=0.05):
    """read() again and again for up to `timeout` seconds, until good(value):
    the first good value, else the last one."""
    deadline = time.monotonic() + timeout
    while True:
        value = read()
        if good(value) or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def hex_color(color):
    return "%02X%02X%02X" % tuple(color)


def rgb(hex_code):
    """RRGGBB as an (r, g, b) tuple."""
    return tuple(int(hex_code[i:i + 2], 16) for i in (0, 2, 4))


class Screenshot:
    """The root window as xwd writes it (ZPixmap). That is 32 bits a pixel
    while the windows on the screen share one visual; once they do not (Wine
    makes a window of its own visual), xwd composes the picture itself, 24
    bits a pixel with DirectColor maps, and each channel goes through the
    colormap that comes with the image."""

    def __init__(self, data):
        fields = struct.unpack(">25I", data[:100])
        header_size = fields[0]
        self.width, self.height = fields[4], fields[5]
        byte_order, bits_per_pixel, self.bytes_per_line = fields[7], fields[11], fields[12]
        visual_class, self.masks, ncolors = fields[13], fields[14:17], fields[19]
        if bits_per_pixel not in (24, 32):
            raise Failure(f"unexpected screenshot format: {bits_per_pixel} bits per pixel")
        self.step = bits_per_pixel // 8
        self.order = "little" if byte_order == 0 else "big"
        self.shifts = [(mask & -mask).bit_length() - 1 for mask in self.masks]
        self.channels = None
        if visual_class == 5 and ncolors:
            entries = [struct.unpack_from(">IHHH", data, header_size + 12 * i)
                       for i in range(ncolors)]
            self.channels = [[e[1 + c] >> 8 for e in entries] for c in range(3)]
        self.pixels = data[header_size + 12 * ncolors:]

    def rgb(self, x, y):
        offset = y * self.bytes_per_line + x * self.step
        value = int.from_bytes(self.pixels[offset:offset + self.step], self.order)
        out = tuple((value & mask) >> shift for mask, shift in zip(self.masks, self.shifts))
        if self.channels:
            out = tuple(self.channels[c][v] if v < len(self.channels[c]) else v
                        for c, v in enumerate(out))
        return out

    def hex(self, x, y):
        """The pixel as RRGGBB."""
        return hex_color(self.rgb(x, y))

    def block(self, x, y, width, height):
        """The pixels of a rectangle, rows top first, each an (r, g, b) tuple."""
        return [[self.rgb(x + i, y + j) for i in range(width)] for j in range(height)]


def colors_in(block, x=0, y=0, width=None, height=None):
    """The distinct colors of a rectangle of a block of pixels, as sorted
    RRGGBB strings, one a line."""
    rows = block[y:y + height] if height is not None else block[y:]
    found = {hex_color(p) for row in rows
             for p in (row[x:x + width] if width is not None else row[x:])}
    return "\n".join(sorted(found))


class PpmShot(Screenshot):
    """A picture as a binary PPM (the simulated desktop's, grim's, convert's)."""

    def __init__(self, data):
        magic, size, depth, self.pixels = data.split(b"\n", 3)
        if magic != b"P6" or depth != b"255":
            raise Failure("not a binary PPM")
        self.width, self.height = (int(v) for v in size.split())

    def rgb(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.pixels[offset:offset + 3])


def read_ppm(path):
    """A binary PPM as rows of (r, g, b) tuples."""
    with open(path, "rb") as f:
        picture = PpmShot(f.read())
    return picture.block(0, 0, picture.width, picture.height)


def write_ppm(path, block):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (len(block[0]), len(block)))
        f.write(bytes(v for row in block for pixel in row for v in pixel))


class Board:
    """A colorboard where it really shows: a window manager's frame may have
    moved it off the asked position."""

    def __init__(self, process, window, rect, colors, log):
        self.process, self.window, self.log = process, window, log
        self.x, self.y, self.width, self.height = rect
        self.colors = colors

    def stripe_x(self, index):
        """The middle of stripe `index`, across."""
        return self.stripe_left(index) + self.width // len(self.colors) // 2

    def stripe_left(self, index):
        """The first column of stripe `index`."""
        return self.x + index * (self.width // len(self.colors))

    def middle_y(self):
        return self.y + self.height // 2

    def events(self):
        """The button events the board has logged, one a line."""
        with open(self.log) as f:
            return f.read().rstrip("\n")


class Session:
    """A display (self.env names it) and what a person does and sees there."""

    # Where the crosshair's centre dot lies in the main window's client area.
    CROSSHAIR = (23, 55)
    # An inner pixel of the swatch, inside its one-pixel border.
    SWATCH = (24, 16)
    # The word "MAGNiFIER" on the main window's magnifier bar.
    MAGNIFIER_BAR = (60, 85)
    FACE = (245, 245, 245)

    def __init__(self, args, env=None):
        self.args = args
        self.env = env
        self.display = env.get("DISPLAY") if env else None
        self.processes = []
        self.cleanups = []  # run at close, after the processes are gone

    # Lifetime

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def spawn(self, command, **kwargs):
        kwargs.setdefault("env", self.env)
        process = subprocess.Popen(command, preexec_fn=_die_with_parent,
                                   start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def close(self):
        # What the program left behind first: it lives on its own.
        if self.display:
            for pid in self.clipboard_servers():
                os.kill(pid, signal.SIGTERM)
        # The newest first (a server the session started, last).
        for process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        deadline = time.monotonic() + 5
        for process in reversed(self.processes):
            try:
                process.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                process.wait()
        self.processes = []
        for cleanup in self.cleanups:
            cleanup()
        self.cleanups = []

    def use_display(self, display, authority=None):
        """Root's X clients (xdotool, xclip, xwd, the program) go to `display`
        from now on, with `authority`'s cookie if it needs one."""
        self.display = display
        self.env = dict(os.environ, DISPLAY=display)
        self.env.pop("XAUTHORITY", None)
        if authority:
            self.env["XAUTHORITY"] = authority

    # Running things

    def run(self, command, timeout=10, check=True, input=None):
        result = subprocess.run(command, env=self.env, timeout=timeout, capture_output=True,
                                input=input)
        if check and result.returncode != 0:
            raise Failure(f"{command} failed: {result.stderr.decode(errors='replace')}")
        return result

    def output(self, command, timeout=10):
        return self.run(command, timeout=timeout, check=False).stdout.decode(errors="replace")

    def wait_for(self, condition, what, timeout=10.0, step=0.02):
        """The condition's first true value; a Failure after `timeout` seconds."""
        value = poll(condition, timeout, step=step)
        if not value:
            raise Failure(f"timed out waiting for {what}")
        return value

    def xdotool(self, *words):
        self.run(["xdotool", *[str(w) for w in words]])

    # The program

    def start_huevex(self, env=None, prefix=(), timeout=10.0, stderr=subprocess.PIPE):
        """Starts the program (under `prefix`, such as a checker, if given) and
        waits until its main window is painted. A test whose program may write
        much to stderr passes a file: a full pipe would stall the program."""
        self.huevex = self.spawn([*prefix, self.args.huevex], stdout=subprocess.PIPE,
                                 stderr=stderr, **({"env": env} if env else {}))
        self.wait_painted(lambda: self.find_window("^HUEVEX$"), timeout)
        return self.huevex

    def wait_painted(self, find, timeout):
        """Waits for the main window, the first that find() gives, to be
        mapped and painted."""
        self.main_window = self.wait_for(find, "the main window", timeout)
        self.wait_for(lambda: self.viewable(self.main_window), "the main window to be mapped",
                      timeout)
        # The first picture: the swatch shows the window color once painted.
        self.wait_for(lambda: self.client_pixel(self.SWATCH) == (255, 255, 255),
                      "the main window to be painted", timeout)

    # Windows

    def viewable(self, window):
        return self.map_state(window) == "IsViewable"

    def map_state(self, window):
        """IsViewable, IsUnviewable or IsUnMapped (None if there is no such window)."""
        for line in self.output(["xwininfo", "-id", window]).splitlines():
            if line.strip().startswith("Map State:"):
                return line.split(":", 1)[1].strip()
        return None

    def client_size(self, window=None):
        info = self.output(["xwininfo", "-id", window or self.main_window])
        values = dict(line.strip().split(":", 1) for line in info.splitlines()
                      if line.strip().startswith(("Width:", "Height:")))
        return int(values["Width"]), int(values["Height"])

    def client_rect(self, window=None):
        """(x, y, width, height) of a window's inside on the screen."""
        return (*self.client_origin(window), *self.client_size(window))

    def outer_rect(self, window=None):
        """(left, top, right, bottom) of the window with the frame the window
        manager put around it (_NET_FRAME_EXTENTS), or of the window alone."""
        window = window or self.main_window
        x, y = self.client_origin(window)
        width, height = self.client_size(window)
        extents = self.output(["xprop", "-id", window, "_NET_FRAME_EXTENTS"])
        left = right = top = bottom = 0
        if "=" in extents:
            left, right, top, bottom = (int(v) for v in extents.split("=")[1].split(","))
        return x - left, y - top, x + width + right, y + height + bottom

    def find_window(self, name, visible=False):
        """The first window whose title matches `name` (of those mapped, if
        `visible`), or None."""
        found = self.output(["xdotool", "search", *(["--onlyvisible"] if visible else []),
                             "--name", name]).split()
        return found[0] if found else None

    def window_title(self, window):
        return self.output(["xdotool", "getwindowname", window]).rstrip("\n")

    def client_origin(self, window=None):
        info = self.output(["xwininfo", "-id", window or self.main_window])
        values = {}
        for line in info.splitlines():
            line = line.strip()
            if line.startswith("Absolute upper-left X:"):
                values["x"] = int(line.split(":")[1])
            elif line.startswith("Absolute upper-left Y:"):
                values["y"] = int(line.split(":")[1])
        return values["x"], values["y"]

    def screen_point(self, client, window=None):
        x, y = self.client_origin(window)
        return x + client[0], y + client[1]

    # Looking

    def screenshot(self):
        return Screenshot(self.run(["xwd", "-root", "-silent"], timeout=20).stdout)

    def client_pixel(self, client, window=None):
        return self.screenshot().rgb(*self.screen_point(client, window))

    def cursor_image(self):
        """The pointer's image now (huevex_xprobe's picture of it)."""
        return self.output([self.args.xprobe, "cursor"]).rstrip("\n")

    def pixel(self, x, y):
        """The screen's pixel at (x, y) now, as RRGGBB."""
        return self.screenshot().hex(x, y)

    def save_screenshot(self, name):
        path = os.path.join(self.args.artifacts, name)
        shot = self.run(["xwd", "-root", "-silent"], timeout=20).stdout
        self.run(["convert", "xwd:-", path], input=shot, timeout=30, check=False)
        print(f"screenshot: {path}", flush=True)

    # Other programs

    def colorboard(self, x, y, width, height, colors, log, timeout=10):
        board = self.spawn([self.args.colorboard, str(x), str(y), str(width), str(height),
                            ",".join(colors), log], stdout=subprocess.PIPE)
        ready, _, _ = select.select([board.stdout], [], [], timeout)
        if not ready or board.stdout.readline().strip() != b"ready":
            raise Failure("the colorboard did not come up")
        return board

    def board(self, x, y, width, height, colors, log, timeout=20):
        """A colorboard, given back as a Board once its first stripe shows."""
        open(log, "a").close()
        process = self.colorboard(x, y, width, height, colors, log, timeout)
        window = self.wait_for(lambda: self.find_window("^colorboard$", visible=True),
                               "the colorboard's window", timeout)
        board = Board(process, window, self.client_rect(window), colors, log)
        self.wait_for(lambda: self.client_pixel((2, 2), window) == rgb(colors[0]),
                      "the colorboard's first stripe", timeout, step=0.05)
        return board

    # The gesture

    def click_client(self, client, window=None, button=1):
        """A click at a point of a window's client area (the main window's)."""
        self.xdotool("mousemove", *self.screen_point(client, window))
        time.sleep(0.02)
        self.xdotool("click", button)

    def pointer_steps(self, start, end, steps=6, pause=0.015):
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            self.xdotool("mousemove", x, y)
            time.sleep(pause)

    def pick(self, target, button=1, hold=None):
        """Press on the crosshair, drag to target, release there. `hold`, if
        given, runs while the button is still down."""
        start = self.screen_point(self.CROSSHAIR)
        self.xdotool("mousemove", *start)
        time.sleep(0.03)
        self.xdotool("mousedown", button)
        time.sleep(0.03)
        if target != start:
            self.pointer_steps(start, target)
        time.sleep(0.05)  # a few timer ticks at the target
        if hold:
            hold()
        self.xdotool("mouseup", button)
        time.sleep(0.03)

    def pick_anywhere(self, target, end, hold=None, keys=None):
        """A pick with no press: `huevex --pick` started (or, with `keys`, the
        shortcut typed to the running program, by xdotool or a function), the
        pointer moved to target, and the pick ended there with `end`: a button
        number clicks it, else a key (xdotool's name). `hold(window)`, if
        given, runs before the end, with the picking program's main window.
        The command's exit status, output and errors, once it has ended; None
        for the shortcut."""
        if keys:
            keys() if callable(keys) else self.xdotool("key", keys)
            window = self.main_window
            self.wait_for(lambda: self.client_pixel(self.CROSSHAIR) == self.FACE,
                          "the crosshair to leave its box")
        else:
            command = self.spawn([self.args.huevex, "--pick"], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
            window = self.wait_for(lambda: self.output(
                ["xdotool", "search", "--all", "--onlyvisible", "--pid", str(command.pid), "--name",
                 "^HUEVEX$"]).split(), "the command's window")[0]
        self.pointer_steps(self.pointer(), target)
        time.sleep(0.05)  # a few timer ticks at the target
        if hold:
            hold(window)
        if isinstance(end, int):
            self.xdotool("click", end)
        else:
            self.xdotool("key", end)
        if keys:
            return None
        out, err = command.communicate(timeout=10)
        return command.returncode, out.decode(errors="replace"), err.decode(errors="replace")

    def clipboard_servers(self, name="huevex-clipboard"):
        """The processes the program (or another, by its name) left behind on
        this display to serve the clipboard."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    command = f.read().split(b"\0")
                with open(f"/proc/{pid}/environ", "rb") as f:
                    env = f.read().split(b"\0")
            except OSError:
                continue
            if command[0] == name.encode() and f"DISPLAY={self.display}".encode() in env:
                found.append(int(pid))
        return found

    def pointer(self):
        """Where the X server has the pointer."""
        values = dict(line.split("=") for line in
                      self.output(["xdotool", "getmouselocation", "--shell"]).split())
        return int(values["X"]), int(values["Y"])

    def type_keys(self, *keys):
        """Keys (xdotool's names) typed one by one, a moment apart."""
        for key in keys:
            self.xdotool("key", key)
            time.sleep(0.03)

    def flick(self, target, button=1):
        """A pick as quick as a hand makes it: press on the crosshair, jump to
        target and release there, all in one xdotool (one process, so that a
        busy machine does not stretch the gesture): about 50 ms."""
        self.xdotool("mousemove", *self.screen_point(self.CROSSHAIR))
        time.sleep(0.03)
        self.xdotool("mousedown", button, "sleep", 0.02, "mousemove", *target, "sleep", 0.03,
                     "mouseup", button)

    # The magnifier

    def magnifier(self):
        """The "Screen Zoom" window while the magnifier is loaded, else None."""
        return self.find_window("^Screen Zoom$")

    def magnifier_shown(self):
        window = self.magnifier()
        return window is not None and self.viewable(window)

    def toggle_magnifier(self, expect_shown=None, timeout=10.0):
        """Clicks the magnifier bar; waits for the magnifier to be shown or
        hidden if `expect_shown` says which."""
        self.click_client(self.MAGNIFIER_BAR)
        if expect_shown is not None:
            self.wait_for(lambda: self.magnifier_shown() == expect_shown,
                          "the magnifier to be " + ("shown" if expect_shown else "hidden"),
                          timeout)

    # The clipboard

    def clear_clipboard(self):
        # Owning the selection with an empty text (xclip keeps serving it in
        # the background until someone else takes it).
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], env=self.env,
                       timeout=10, preexec_fn=_die_with_parent, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        # xclip's background child takes the selection a moment later.
        return self.wait_clipboard("")

    def clipboard(self, tool="xclip", target=None, timeout=10):
        if tool == "xclip":
            command = ["xclip", "-selection", "clipboard", "-o"]
            if target:
                command += ["-t", target]
        else:
            command = ["xsel", "--clipboard", "--output"]
        try:
            result = self.run(command, timeout=timeout, check=False)
        except subprocess.TimeoutExpired:
            return "<no answer>"
        return result.stdout.decode(errors="replace") if result.returncode == 0 else None

    def wait_clipboard(self, expected, tool="xclip", timeout=3.0):
        """The clipboard's text once it equals `expected`, or its last value."""
        return poll(lambda: self.clipboard(tool), timeout, lambda text: text == expected, 0.02)


def _display_told(read_end, timeout):
    """The display (":N") an X server writes to its -displayfd once it is
    ready, or None if it ends or says nothing in `timeout` seconds."""
    number = b""
    deadline = time.monotonic() + timeout
    while not number.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([read_end], [], [], left)[0]:
            break
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    return ":" + number.decode().strip() if number.endswith(b"\n") else None


class XvfbSession(Session):
    """A session on a private Xvfb of its own, with openbox if args.wm asks
    (openbox-ffm: with the focus following the mouse)."""

    def __init__(self, args, screen="1280x1024x24"):
        super().__init__(args)
        self.screen = screen
        self.server = None

    def __enter__(self):
        try:
            self._start_server()
            if self.args.wm.startswith("openbox"):
                self._start_openbox(follow_mouse=self.args.wm == "openbox-ffm")
        except BaseException:
            self.close()
            raise
        return self

    def _start_server(self):
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
             "-screen", "0", self.screen],
            pass_fds=(write_end,), preexec_fn=_die_with_parent, start_new_session=True,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(server)
        self.server = server
        os.close(write_end)
        display = _display_told(read_end, 20)
        if not display:
            raise Failure("Xvfb did not start")
        self.use_display(display)

    def _start_openbox(self, follow_mouse=False):
        command = ["openbox", "--sm-disable"]
        if follow_mouse:
            folder = tempfile.mkdtemp(prefix="huevex-openbox-")
            self.cleanups.append(lambda: shutil.rmtree(folder, ignore_errors=True))
            config = os.path.join(folder, "rc.xml")
            with open(config, "w") as f:
                f.write('<?xml version="1.0"?>\n<openbox_config xmlns="http://openbox.org/3.4/rc">'
                        "<focus><focusNew>yes</focusNew><followMouse>yes</followMouse>"
                        "<focusDelay>0</focusDelay><underMouse>yes</underMouse></focus>"
                        "</openbox_config>\n")
            command += ["--config-file", config]
        self.spawn(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_for(lambda: "window id" in self.output(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]), "openbox to start", 20)


class XorgSession(Session):
    """A session on a private Xorg with the dummy video driver, whose virtual
    screen (`size`) is as large as asked: RandR 1.5 monitors are then made on
    it with `xrandr --setmonitor` (Xvfb's RandR ignores those). Xorg runs as
    root with a config this session writes into a temporary folder; its one
    output's mode covers the whole screen, so the pointer reaches every part
    of it, gaps between monitors included. No window manager runs."""

    # The dummy driver's pixel clock is at most 300 MHz: a slow refresh keeps
    # a large mode under it (the blanking must not look reduced, or Xorg drops it).
    CONFIG = """Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoAddGPU" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam {video_ram}
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
  Modeline "huevex" 150.00 {w} {hs} {he} {ht} {h} {vs} {ve} {vt}
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual {w} {h}
    Modes "huevex"
  EndSubSection
EndSection
"""

    def __init__(self, args, size=(3200, 1600)):
        super().__init__(args)
        self.size = size
        self.folder = None
        self.monitor_layouts = []

    @staticmethod
    def missing():
        """Why this machine cannot start the server, or None."""
        if not os.path.exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"):
            return "the dummy video driver is not installed (tools/packages.sh test)"
        for tool in ["Xorg", "xrandr", "xdotool", "xclip", "xwininfo", "xwd"]:
            if not shutil.which(tool):
                return f"{tool} is not installed (tools/packages.sh test)"
        if os.geteuid() != 0:
            return "Xorg with the dummy driver must run as root"
        return None

    def __enter__(self):
        try:
            self._start_server()
        except BaseException:
            self.close()
            raise
        return self

    def close(self):
        super().close()
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None

    def _start_server(self):
        self.folder = tempfile.mkdtemp(prefix="huevex-xorg-")
        w, h = self.size
        config = os.path.join(self.folder, "xorg.conf")
        with open(config, "w") as f:
            f.write(self.CONFIG.format(w=w, hs=w + 64, he=w + 160, ht=w + 320, h=h, vs=h + 3,
                                       ve=h + 13, vt=h + 40,
                                       video_ram=(w * h * 4) // 1024 + 16384))
        os.mkdir(os.path.join(self.folder, "conf.d"))
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xorg", "-displayfd", str(write_end), "-config", config, "-configdir",
             os.path.join(self.folder, "conf.d"), "-logfile", os.path.join(self.folder, "log"),
             "-noreset", "-nolisten", "tcp", "-novtswitch", "-sharevts"],
            pass_fds=(write_end,), preexec_fn=_die_with_parent, start_new_session=True,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(server)
        os.close(write_end)
        display = _display_told(read_end, 30)
        if not display:
            raise ServerUnavailable(f"Xorg did not start: {self._log_tail()}")
        self.use_display(display)
        if self.root_size() != self.size:
            raise ServerUnavailable(f"Xorg's screen is {self.root_size()}, not {self.size}: "
                          f"{self._log_tail()}")
        self.output_name = self.output(["xrandr"]).split("\n")[1].split()[0]

    def _log_tail(self):
        try:
            with open(os.path.join(self.folder, "log"), errors="replace") as f:
                return "".join([line for line in f if "(EE)" in line][-4:])
        except OSError:
            return "no log"

    def root_size(self):
        info = self.output(["xwininfo", "-root"])
        values = dict(line.strip().split(":", 1) for line in info.splitlines()
                      if line.strip().startswith(("Width:", "Height:")))
        return int(values.get("Width", 0)), int(values.get("Height", 0))

    def set_monitors(self, monitors):
        """Makes these monitors, [(x, y, width, height, primary)], the
        screen's: the first takes the output, which otherwise shows as a
        monitor of its own. The server will not change a monitor in place: one
        that changes goes and comes back; those beyond the list go."""
        old = self.monitor_layouts
        for i, layout in enumerate(monitors):
            if i < len(old) and old[i] == layout:
                continue
            if i < len(old):
                self.run(["xrandr", "--delmonitor", f"M{i}"])
            x, y, width, height, primary = layout
            self.run(["xrandr", "--setmonitor", ("*" if primary else "") + f"M{i}",
                      f"{width}/{width // 4}x{height}/{height // 4}+{x}+{y}",
                      self.output_name if i == 0 else "none"])
        for i in range(len(monitors), len(old)):
            self.run(["xrandr", "--delmonitor", f"M{i}"])
        self.monitor_layouts = list(monitors)

    def monitors(self):
        """The monitors as RandR lists them: [(x, y, width, height, primary)]."""
        found = []
        for line in self.output(["xrandr", "--listmonitors"]).splitlines()[1:]:
            words = line.split()
            geometry = words[2]
            size, x, y = geometry.split("+")
            width, height = (int(v.split("/")[0]) for v in size.split("x"))
            found.append((int(x), int(y), width, height, words[1].startswith("+*")
                          or words[1].startswith("*")))
        return sorted(found)


def main(test):
    """Runs test() and turns failures into an exit status."""
    # Terminated (a test's time is up): unwind, so the session kills what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        sys.exit(test())
    except Failure as error:
        print(f"FAIL {error}", flush=True)
        sys.exit(1)
