"""A private X session for one end-to-end test of the Linux program.

Starts its own Xvfb (display number chosen by the server through -displayfd),
optionally openbox, the program and the colorboard, and drives them as a
person would with xdotool; reads the clipboard with xclip and xsel; takes
screenshots with xwd. Everything it starts is killed when the session ends,
also when the test fails or is killed (children die with this process).
"""

import argparse
import ctypes
import os
import select
import signal
import struct
import subprocess
import sys
import time

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_parent():
    # A child outlives a killed test otherwise; the X server above all.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def arguments(extra=None):
    parser = argparse.ArgumentParser()
    parser.add_argument("--wm", choices=["none", "openbox"], default="none")
    parser.add_argument("--huevex", required=True)
    parser.add_argument("--colorboard")
    parser.add_argument("--tool")
    parser.add_argument("--artifacts", default=os.environ.get("TMPDIR", "/tmp"))
    if extra:
        extra(parser)
    return parser.parse_args()


class Failure(Exception):
    pass


class Checks:
    """Collects failed expectations so that one run reports all of them."""

    def __init__(self):
        self.failed = []
        self.passed = 0

    def equal(self, what, actual, expected):
        if actual == expected:
            self.passed += 1
        else:
            self.failed.append(f"{what}: expected {expected!r}, got {actual!r}")
            print(f"FAIL {what}: expected {expected!r}, got {actual!r}", flush=True)

    def true(self, what, value):
        self.equal(what, bool(value), True)

    def finish(self):
        print(f"{self.passed} passed, {len(self.failed)} failed", flush=True)
        return 1 if self.failed else 0


class Screenshot:
    """The root window as xwd writes it (ZPixmap, 24 or 32 bits per pixel)."""

    def __init__(self, data):
        fields = struct.unpack(">25I", data[:100])
        header_size = fields[0]
        self.width, self.height = fields[4], fields[5]
        byte_order, bits_per_pixel, self.bytes_per_line = fields[7], fields[11], fields[12]
        self.masks = fields[14:17]
        ncolors = fields[19]
        if bits_per_pixel != 32:
            raise Failure(f"unexpected screenshot format: {bits_per_pixel} bits per pixel")
        self.order = "<I" if byte_order == 0 else ">I"
        self.pixels = data[header_size + 12 * ncolors:]

    def rgb(self, x, y):
        offset = y * self.bytes_per_line + x * 4
        (value,) = struct.unpack_from(self.order, self.pixels, offset)
        out = []
        for mask in self.masks:
            shift = (mask & -mask).bit_length() - 1
            out.append((value & mask) >> shift)
        return tuple(out)

    def block(self, x, y, width, height):
        """The pixels of a rectangle, rows top first, each an (r, g, b) tuple."""
        return [[self.rgb(x + i, y + j) for i in range(width)] for j in range(height)]


class Session:
    # Where the crosshair's centre dot lies in the main window's client area.
    CROSSHAIR = (23, 55)
    # An inner pixel of the swatch, inside its one-pixel border.
    SWATCH = (24, 16)
    # The word "MAGNiFIER" on the main window's magnifier bar.
    MAGNIFIER_BAR = (60, 85)
    FACE = (245, 245, 245)

    def __init__(self, args, screen="1280x1024x24"):
        self.args = args
        self.screen = screen
        self.processes = []
        self.display = None
        self.env = None

    # Lifetime

    def __enter__(self):
        try:
            self._start_server()
            if self.args.wm == "openbox":
                self._start_openbox()
        except BaseException:
            self.close()
            raise
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
        # The newest first, the X server last.
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
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read_end], [], [], left)[0]:
                raise Failure("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise Failure("Xvfb ended before it was ready")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("XAUTHORITY", None)

    def _start_openbox(self):
        self.spawn(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
        self.wait_for(lambda: "window id" in self.output(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]), "openbox to start")

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
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.monotonic() > deadline:
                raise Failure(f"timed out waiting for {what}")
            time.sleep(step)

    def xdotool(self, *words):
        self.run(["xdotool", *[str(w) for w in words]])

    # The program

    def start_huevex(self, env=None, prefix=(), timeout=10.0, stderr=subprocess.PIPE):
        """Starts the program (under `prefix`, such as a checker, if given) and
        waits until its main window is painted. A test whose program may write
        much to stderr passes a file: a full pipe would stall the program."""
        self.huevex = self.spawn([*prefix, self.args.huevex], stdout=subprocess.PIPE,
                                 stderr=stderr, **({"env": env} if env else {}))
        self.main_window = self.wait_for(lambda: self.find_window("^HUEVEX$"), "the main window",
                                         timeout)
        self.wait_for(lambda: self.viewable(self.main_window), "the main window to be mapped",
                      timeout)
        # The first picture: the swatch shows the window color once painted.
        self.wait_for(lambda: self.client_pixel(self.SWATCH) == (255, 255, 255),
                      "the main window to be painted", timeout)
        return self.huevex

    def viewable(self, window):
        return "IsViewable" in self.output(["xwininfo", "-id", window])

    def client_size(self, window=None):
        info = self.output(["xwininfo", "-id", window or self.main_window])
        values = dict(line.strip().split(":", 1) for line in info.splitlines()
                      if line.strip().startswith(("Width:", "Height:")))
        return int(values["Width"]), int(values["Height"])

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

    def find_window(self, name):
        found = self.output(["xdotool", "search", "--name", name]).split()
        return found[0] if found else None

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

    def screenshot(self):
        return Screenshot(self.run(["xwd", "-root", "-silent"], timeout=20).stdout)

    def client_pixel(self, client, window=None):
        return self.screenshot().rgb(*self.screen_point(client, window))

    def save_screenshot(self, name):
        path = os.path.join(self.args.artifacts, name)
        shot = self.run(["xwd", "-root", "-silent"], timeout=20).stdout
        self.run(["convert", "xwd:-", path], input=shot, timeout=30, check=False)
        print(f"screenshot: {path}", flush=True)

    def colorboard(self, x, y, width, height, colors, log):
        board = self.spawn([self.args.colorboard, str(x), str(y), str(width), str(height),
                            ",".join(colors), log], stdout=subprocess.PIPE)
        ready, _, _ = select.select([board.stdout], [], [], 10)
        if not ready or board.stdout.readline().strip() != b"ready":
            raise Failure("the colorboard did not come up")
        return board

    # The gesture

    def click_client(self, client, window=None, button=1):
        """A click at a point of a window's client area (the main window's)."""
        self.xdotool("mousemove", *self.screen_point(client, window))
        time.sleep(0.02)
        self.xdotool("click", button)

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

    # The clipboard

    def clear_clipboard(self):
        # Owning the selection with an empty text (xclip keeps serving it in
        # the background until someone else takes it).
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], env=self.env,
                       timeout=10, preexec_fn=_die_with_parent, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        # xclip's background child takes the selection a moment later.
        return self.wait_clipboard("")

    def clipboard(self, tool="xclip", target=None):
        if tool == "xclip":
            command = ["xclip", "-selection", "clipboard", "-o"]
            if target:
                command += ["-t", target]
        else:
            command = ["xsel", "--clipboard", "--output"]
        try:
            result = self.run(command, timeout=10, check=False)
        except subprocess.TimeoutExpired:
            return "<no answer>"
        return result.stdout.decode(errors="replace") if result.returncode == 0 else None

    def wait_clipboard(self, expected, tool="xclip", timeout=3.0):
        """The clipboard's text once it equals `expected`, or its last value."""
        deadline = time.monotonic() + timeout
        while True:
            text = self.clipboard(tool)
            if text == expected or time.monotonic() > deadline:
                return text
            time.sleep(0.02)


def main(test):
    """Runs test() and turns failures into an exit status."""
    # Terminated (a test's time is up): unwind, so the session kills what it started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        sys.exit(test())
    except Failure as error:
        print(f"FAIL {error}", flush=True)
        sys.exit(1)
