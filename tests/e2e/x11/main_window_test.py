#!/usr/bin/env python3
"""The running main window, read back from screenshots at known client pixels,
and under openbox the actions the window manager allows on it.

The same points the simulated desktop's main window is checked at: the swatch
and its border, the white code table and its gray lines, the 3-pixel white
lines beside and under it, each picture's drawn and transparent pixels over
its frame, the crosshair, the picker box's 3D edges and the window face; then
the swatch after a pick. System colors are the program's own (its software
GDI's table), so a change of theme there changes the expectation with it.
Fonts may differ between machines, so no point lies on text.
"""

import os

from harness import session
from harness.session import rgb
from harness.main_window import BLACK, GRAY, KNOWN_PIXELS, WHITE, resolve

# Runs of pixels along the table's lines, clear of the corners where lines
# cross: (what, x range, y range, color). Before the first pick the rows hold
# no text, so the whole inside of each row is white.
KNOWN_RUNS = [
    ("table top line", range(81, 152), [16], GRAY),
    ("table HEX/DEC line", range(81, 152), [32], GRAY),
    ("table DEC/RGB line", range(81, 152), [48], GRAY),
    ("table bottom line", range(81, 152), [64], GRAY),
    ("table left line", [80], range(17, 64), GRAY),
    ("table right line", [152], range(17, 64), GRAY),
    ("HEX row, empty", range(81, 152), range(17, 32), WHITE),
    ("DEC row, empty", range(81, 152), range(33, 48), WHITE),
    ("RGB row, empty", range(81, 152), range(49, 64), WHITE),
    ("white line beside the table", [153], range(20, 61), WHITE),
    ("white line under the table", range(84, 149), [65], WHITE),
]

# (action, whether the main window allows it under openbox)
ALLOWED_ACTIONS = [
    ("_NET_WM_ACTION_MOVE", True),
    ("_NET_WM_ACTION_CLOSE", True),
    ("_NET_WM_ACTION_RESIZE", False),
    ("_NET_WM_ACTION_MAXIMIZE_HORZ", False),
    ("_NET_WM_ACTION_MAXIMIZE_VERT", False),
]

PICKED = "050AC8"
BOARD = (0, 0, 300, 200)


def program_colors(tool):
    """The program's system colors by name, as its software GDI gives them."""
    out = session.subprocess.run([tool], capture_output=True, timeout=10, check=True).stdout
    return dict(line.split() for line in out.decode().splitlines())


def test():
    args = session.arguments(lambda p: p.add_argument("--sys-colors", required=True))
    checks = session.Checks()
    system = program_colors(args.sys_colors)

    def expected(color):
        return rgb(resolve(color, system))

    log = os.path.join(args.artifacts, f"huevex-main-{args.wm}-board.log")
    open(log, "w").close()  # the board appends to it
    with session.XvfbSession(args) as s:
        s.start_huevex()
        shot = s.screenshot()
        origin = s.client_origin()

        def at(x, y, picture=shot):
            return picture.rgb(origin[0] + x, origin[1] + y)

        if args.wm == "openbox":
            # What the window manager lets the user do with the window, as it
            # read the hints: move and close it, never resize or maximise it.
            # (Openbox keeps minimise for every normal window, see docs/x11.md.)
            allowed = s.output(["xprop", "-id", s.main_window, "_NET_WM_ALLOWED_ACTIONS"])
            for action, expected_allowed in ALLOWED_ACTIONS:
                checks.equal(f"window manager allows {action}", action in allowed,
                             expected_allowed)
        for what, x, y, color in KNOWN_PIXELS:
            checks.equal(f"{what} ({x}, {y})", at(x, y), expected(color))
        for what, xs, ys, color in KNOWN_RUNS:
            wrong = [(x, y, at(x, y)) for y in ys for x in xs if at(x, y) != expected(color)]
            checks.equal(f"{what}: pixels of another color", wrong[:3], [])

        # The swatch after a pick: the whole inside in the picked color, the
        # border as it was, the face beyond it.
        s.colorboard(*BOARD, [PICKED], log)
        s.clear_clipboard()
        s.pick((BOARD[2] // 2, BOARD[3] // 2))
        checks.equal("picked", s.wait_clipboard("#" + PICKED), "#" + PICKED)
        shot = s.screenshot()
        inside = [(x, y) for y in range(9, 24) for x in range(9, 40)]
        wrong = [(x, y, at(x, y, shot)) for x, y in inside if at(x, y, shot) != rgb(PICKED)]
        checks.equal("swatch inside after the pick: pixels of another color", wrong[:3], [])
        checks.equal("swatch border after the pick", at(8, 9, shot), expected("WINDOWFRAME"))
        checks.equal("beside the swatch after the pick", at(41, 9, shot), expected("BTNFACE"))
        checks.equal("crosshair back after the pick", at(23, 55, shot), expected(BLACK))
        if checks.failed:
            s.save_screenshot(f"huevex-main-window-{args.wm}.png")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
