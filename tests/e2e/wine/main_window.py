#!/usr/bin/env python3
"""The main window as Wine shows it, read from one screenshot at known client
pixels: the points the simulated desktop's main window is checked at
(KnownPixels in tests/scenario/main_window_test.cpp), so that both show the
same geometry and colors. Text is left out: fonts differ between platforms.
Then the swatch after a pick, inside its border."""

from harness import session, wine

WINDOW, FRAME, FACE, SHADOW, HIGHLIGHT = "FFFFFF", "9E9E9E", "F5F5F5", "A6A6A6", "FFFFFF"
WHITE, GRAY, BLACK = "FFFFFF", "A0A0A0", "000000"

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

# (what, client x, client y, color)
KNOWN_PIXELS = [
    ("swatch inside", 20, 15, WINDOW),
    ("swatch border", 8, 8, FRAME),
    ("swatch border, right", 40, 15, FRAME),
    ("code table inside", 120, 40, WHITE),
    ("table top line", 100, 16, GRAY),
    ("table HEX/DEC line", 100, 32, GRAY),
    ("table DEC/RGB line", 100, 48, GRAY),
    ("table bottom line", 100, 64, GRAY),
    ("table left line", 80, 40, GRAY),
    ("table right line", 152, 40, GRAY),
    ("white line beside the table", 153, 40, WHITE),
    ("white line under the table", 100, 65, WHITE),
    ("under the white line", 100, 66, FACE),
    ("beside the white line", 154, 40, FACE),
    ("question mark stroke", 150, 81, BLACK),
    ("question picture, transparent", 146, 80, FACE),
    ("question picture over the frame's edge", 144, 80, SHADOW),
    ("magnifier lens", 24, 81, BLACK),
    ("magnifier picture, transparent", 16, 80, FACE),
    ("caret edge", 115, 85, BLACK),
    ("caret picture, transparent", 112, 80, FACE),
    ("crosshair tick", 23, 48, BLACK),
    ("crosshair centre dot", 23, 55, BLACK),
    ("crosshair, transparent", 16, 48, FACE),
    ("picker box shadow edge", 8, 30, SHADOW),
    ("swatch over the picker box", 8, 24, FRAME),
    ("picker box light edge", 9, 30, HIGHLIGHT),
    ("window face", 2, 2, FACE),
]

PICKED = ["050AC8", "3C9E1F"]


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        s.require_prefix()
        s.require_winprobe()
        s.start_huevex()

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
                checks.equal("top border", colors(8, 8, 33, 1), FRAME)
                checks.equal("bottom border", colors(8, 24, 33, 1), FRAME)
                checks.equal("left border", colors(8, 8, 1, 17), FRAME)
                checks.equal("right border", colors(40, 8, 1, 17), FRAME)
                checks.equal("face beside it", shot.hex(*s.at((41, 9))), FACE)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
