#!/usr/bin/env python3
"""At 144 DPI (150 %) the window is laid out larger, and a pick still reads
the pixel under the crosshair's centre: cursor, screen and windows are all in
physical pixels."""

from harness import session, wine

COLORS = ["050AC8", "FFFFFF", "100F01"]


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        s.require_prefix()
        # The prefix goes back to 96 DPI for the other tests, whatever happens.
        s.on_close.append(lambda: (s.tool(["wineserver", "-k"], 30), s.wineserver_wait(30),
                                   s.set_dpi(96)))
        s.set_dpi(144)
        # Layout positions scale with the DPI; the crosshair picture keeps its
        # 15 x 15 pixels, so its centre is its box's corner plus 7.
        s.CROSSHAIR = (240 * 144 // 1440 + 7, 720 * 144 // 1440 + 7)
        s.SWATCH = ((120 + 495 // 2) * 144 // 1440, (120 + 255 // 2) * 144 // 1440)
        s.start_huevex()
        board = s.board(40, 700, 1200, 200, COLORS, s.artifact("colorboard.log"))

        with checks.case("layout at 144 DPI", s.on_failed_case):
            checks.equal("client size", s.client[2:], (254, 158))

        for index, color in enumerate(COLORS):
            with checks.case(f"pick of #{color} at 144 DPI", s.on_failed_case):
                s.pick_and_check(checks, 1, board.stripe_x(index), board.middle_y(), color)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
