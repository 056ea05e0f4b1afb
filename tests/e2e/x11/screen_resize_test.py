#!/usr/bin/env python3
"""The screen changing size under the running program (RandR on Xvfb).

The server starts with room for 1600 x 1200 and is set to 1280 x 1024 before
the program starts. With the magnifier open, the screen then shrinks to
800 x 600 and grows to 1600 x 1200. After each change:
- the program still runs (no X error ends it);
- the magnifier shows the screen's pixels where there is screen and black
  where its block reaches past the edge;
- picks copy the color under the pointer, also where the pointer was pushed
  back inside by the smaller screen, and on a window that only the larger
  screen shows; a screen that shrinks in the middle of a pick takes the
  pointer with it, and the release copies the color where it now is.
No window manager runs: one would move the other windows back onto the
smaller screen, and the boards would no longer be where the checks look.
"""

import time

from harness import session

BOX = (17, 17, 139, 71)
GREEN, RED, BLACK = (0, 255, 0), (255, 0, 0), (0, 0, 0)
REST = 0.35  # longer than the magnifier's 250 ms repaint of a resting cursor

# Modes the server does not start with: (name, pixel clock, horizontal and
# vertical timings); only the sizes matter to Xvfb.
MODES = [
    ("huevex_800x600", "40", "800 840 968 1056", "600 601 605 628"),
    ("huevex_1280x1024", "108", "1280 1328 1440 1688", "1024 1025 1028 1066"),
]

GREEN_BOARD = (700, 300, 100, 300)  # reaches the bottom-right corner of 800 x 600
RED_BOARD = (1300, 1050, 300, 150)  # shown only by the 1600 x 1200 screen


def set_mode(s, name, size):
    # xrandr may complain while it moves the output and the screen together;
    # what counts is the size the root window ends up with.
    s.run(["xrandr", "--output", "screen", "--mode", name], check=False, timeout=20)
    s.wait_for(lambda: root_size(s) == size, f"the screen to become {size[0]} x {size[1]}")


def root_size(s):
    info = s.output(["xwininfo", "-root"])
    values = dict(line.strip().split(":", 1) for line in info.splitlines()
                  if line.strip().startswith(("Width:", "Height:")))
    return int(values.get("Width", 0)), int(values.get("Height", 0))


def magnifier_row(s, row=6):
    """The middle pixel of each of the 14 squares of one row of the box (row
    6 lies clear of the marker), from a screenshot."""
    x, y = s.client_origin(s.magnifier())
    shot = s.screenshot()
    return [shot.rgb(x + BOX[0] + 10 * k + 5, y + BOX[1] + 10 * row + 5) for k in range(14)]


def grid_dots(s):
    x, y = s.client_origin(s.magnifier())
    shot = s.screenshot()
    return [shot.rgb(x + BOX[0] + i, y + BOX[1] + j) for i, j in [(0, 0), (130, 1), (1, 70)]]


def rest_and_look(s, point, row=6):
    s.xdotool("mousemove", *point)
    time.sleep(REST)
    return magnifier_row(s, row)


def picked(s, target, expected, timeout=3.0):
    """The clipboard after a pick at target, once it holds `expected` or the
    time is up; cleared first."""
    s.clear_clipboard()
    s.pick(target)
    return s.wait_clipboard(expected, timeout=timeout)


def pick(s, checks, what, target, expected):
    checks.equal(f"{what}: copied", picked(s, target, expected), expected)


def resizing(s, checks, stderr):
    for name, clock, horizontal, vertical in MODES:
        s.run(["xrandr", "--newmode", name, clock, *horizontal.split(), *vertical.split()])
        s.run(["xrandr", "--addmode", "screen", name])
    # The red board comes up while the screen still shows it.
    s.colorboard(*RED_BOARD, ["FF0000"], "/dev/null")
    set_mode(s, "huevex_1280x1024", (1280, 1024))
    huevex = s.start_huevex(stderr=stderr)
    s.colorboard(*GREEN_BOARD, ["00FF00"], "/dev/null")
    # The main window and its magnifier up and left, clear of the boards.
    s.xdotool("windowmove", s.main_window, 20, 20)
    s.wait_for(lambda: s.client_origin()[0] < 100, "the main window to move")
    time.sleep(0.1)
    s.toggle_magnifier(expect_shown=True)

    # 1280 x 1024: the green board's right edge at 800 is in the middle
    # of the screen; the block from 789 shows it and the black beyond.
    row = rest_and_look(s, (795, 400))
    checks.equal("1280 x 1024: the board's end in the magnifier", row, [GREEN] * 11 + [BLACK] * 3)

    set_mode(s, "huevex_800x600", (800, 600))
    time.sleep(0.2)
    checks.equal("800 x 600: still running", huevex.poll(), None)
    row = rest_and_look(s, (797, 400))
    checks.equal("800 x 600: the screen's last pixels, then black off it", row,
                 [GREEN] * 9 + [BLACK] * 5)
    checks.equal("800 x 600: grid dots", grid_dots(s),
                 [(128, 128, 128), (192, 192, 192), (192, 192, 192)])
    pick(s, checks, "800 x 600: at the right edge", (799, 400), "#00FF00")
    # The pointer cannot follow a drag past the edge: it stays on it.
    pick(s, checks, "800 x 600: dragged past the edge", (1000, 400), "#00FF00")
    checks.equal("800 x 600: still running after the picks", huevex.poll(), None)

    s.toggle_magnifier(expect_shown=True)  # the picks closed it
    set_mode(s, "1600x1200", (1600, 1200))
    time.sleep(0.2)
    checks.equal("1600 x 1200: still running", huevex.poll(), None)
    row = rest_and_look(s, (1450, 1100))
    checks.equal("1600 x 1200: the window beyond the old edge", row, [RED] * 14)
    row = rest_and_look(s, (1597, 1100))
    checks.equal("1600 x 1200: the new right edge", row, [RED] * 9 + [BLACK] * 5)
    pick(s, checks, "1600 x 1200: beyond the old edge", (1450, 1100), "#FF0000")

    # Shrinking while the button is held over the red board: the server
    # puts the pointer in the corner, on the green board.
    s.clear_clipboard()
    s.pick((1450, 1100), hold=lambda: set_mode(s, "huevex_800x600", (800, 600)))
    checks.equal("shrunk during a pick: the color where the pointer went",
                 s.wait_clipboard("#00FF00"), "#00FF00")
    checks.equal("still running at the end", huevex.poll(), None)


def test():
    args = session.arguments()
    args.wm = "none"
    checks = session.Checks()
    errors = f"{args.artifacts}/huevex-resize.stderr"
    with session.XvfbSession(args, screen="1600x1200x24") as s, open(errors, "w") as stderr:
        checks.run("resizing", resizing, s, checks, stderr,
                   on_failure=lambda _: s.save_screenshot("huevex-resize.png"))
    with open(errors) as f:
        logged = f.read()
    # A read racing the shrink may be refused by the server; that is logged
    # and ignored, and must stay the only kind of complaint.
    print(f"stderr of the program:\n{logged}", flush=True)
    checks.true("nothing but ignored X errors on stderr",
                all("X error ignored" in line for line in logged.splitlines()))
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
