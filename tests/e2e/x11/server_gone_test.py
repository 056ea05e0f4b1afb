#!/usr/bin/env python3
"""The X server going away while the program is busy with it.

The server is killed at moments when the program talks to it most: in the
middle of a pick (the pointer grabbed, the sampling timer reading a pixel
every millisecond), with the magnifier open and copying the screen, and both
at once. Each time the program must end by itself within seconds, with
status 1 (not killed by a signal, so no core dump) and a plain message on
stderr.
"""

import subprocess
import time

from harness import session

MESSAGE = "connection to the X display was lost"


def press_and_drag(s):
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    time.sleep(0.03)
    s.xdotool("mousedown", 1)
    time.sleep(0.03)
    s.pointer_steps(s.screen_point(s.CROSSHAIR), (100, 100))


def mid_pick(s):
    press_and_drag(s)


def magnifier_open(s):
    s.toggle_magnifier(expect_shown=True)
    s.xdotool("mousemove", 50, 50)


def mid_pick_with_magnifier(s):
    s.toggle_magnifier(expect_shown=True)
    press_and_drag(s)


CASES = [mid_pick, magnifier_open, mid_pick_with_magnifier]


def test():
    args = session.arguments()
    checks = session.Checks()
    for case in CASES:
        what = case.__name__.replace("_", " ")
        with session.XvfbSession(args) as s:
            huevex = s.start_huevex()
            s.colorboard(0, 0, 300, 300, ["FF0000", "00FF00"], "/dev/null")
            case(s)
            time.sleep(0.2)  # busy: ticks and frames under way
            checks.equal(f"{what}: still running before the server goes", huevex.poll(), None)
            s.server.kill()
            s.server.wait(10)
            try:
                status = huevex.wait(10)
            except subprocess.TimeoutExpired:
                status = "still running after 10 s"
            stderr = huevex.stderr.read().decode(errors="replace")
            checks.equal(f"{what}: exit status", status, 1)
            checks.true(f"{what}: not ended by a signal ({status})",
                        not isinstance(status, int) or status >= 0)
            checks.true(f"{what}: says the display was lost", MESSAGE in stderr)
            checks.true(f"{what}: no other complaint",
                        all(MESSAGE in line for line in stderr.splitlines()))
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
