#!/usr/bin/env python3
"""The main window as Wine shows it, read from one screenshot at known client
pixels: the points every platform's main window is checked at
(harness/main_window.py), so that all show the same geometry and colors.
Text is left out: fonts differ between platforms. Then the swatch after a
pick, inside its border."""

from harness import session, wine
from harness.main_window import KNOWN_PIXELS as SHARED_PIXELS
from harness.main_window import resolve

# The colors the forms are drawn with, as Wine's user32 gives them to the
# program. The simulated desktop and the X11 program take theirs from the
# table in shell/platform/soft/soft_gdi.cpp, which must say the same.
SYSTEM_COLORS = """WINDOW FFFFFF
WINDOWFRAME 9E9E9E
WINDOWTEXT 000000
BTNFACE F5F5F5
BTNSHADOW A6A6A6
BTNTEXT 000000
BTNHIGHLIGHT FFFFFF
3DDKSHADOW 6A6A6A
3DLIGHT E3E3E3"""

# The shared table's points, each color as Wine draws it.
SYSTEM = dict(line.split() for line in SYSTEM_COLORS.splitlines())
KNOWN_PIXELS = [(what, x, y, resolve(color, SYSTEM)) for what, x, y, color in SHARED_PIXELS]

PICKED = ["050AC8", "3C9E1F"]


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        s.start(winprobe=True)

        with checks.case("system colors are those of the simulated desktop", s.on_failed_case):
            checks.equal("GetSysColor", s.winprobe("colors"), SYSTEM_COLORS)

        with checks.case("known pixels of the client area", s.on_failed_case):
            checks.equal("client size at 96 DPI", s.client[2:], (169, 105))
            shot = s.screenshot()
            for what, x, y, color in KNOWN_PIXELS:
                checks.equal(f"{what} ({x}, {y})", shot.hex(*s.at((x, y))), color)

        board = s.board(40, 760, 600, 160, PICKED, s.artifact("colorboard.log"))
        for index, color in enumerate(PICKED):
            with checks.case(f"the swatch after a pick of #{color}", s.on_failed_case):
                s.pick_and_check(checks, 1, board.stripe_x(index), board.middle_y(), color)
                shot = s.screenshot()

                def colors(x, y, width, height):
                    return session.colors_in(shot.block(*s.at((x, y)), width, height))

                # The swatch box is 33 x 17 at (8, 8): a one-pixel border round the color.
                checks.equal("inside, every pixel", colors(9, 9, 31, 15), color)
                checks.equal("top border", colors(8, 8, 33, 1), SYSTEM["WINDOWFRAME"])
                checks.equal("bottom border", colors(8, 24, 33, 1), SYSTEM["WINDOWFRAME"])
                checks.equal("left border", colors(8, 8, 1, 17), SYSTEM["WINDOWFRAME"])
                checks.equal("right border", colors(40, 8, 1, 17), SYSTEM["WINDOWFRAME"])
                checks.equal("face beside it", shot.hex(*s.at((41, 9))), SYSTEM["BTNFACE"])
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
