#!/usr/bin/env python3
"""Outputs of different scales side by side in a headless sway, the program
on Xwayland reading the screen through the compositor (screencopy).

HEADLESS-1 (1280 x 1024, scale 1) at the left; HEADLESS-2 (1280 x 1024 at
scale 2: 640 x 512 in the layout) beside it, with nothing below it: a gap;
HEADLESS-3 (960 x 768 at scale 1.5, again 640 x 512) is added beside that
while the program runs, and HEADLESS-2 then moves down and is rescaled.
- the main window opens centred on the output under the pointer;
- picks on each output copy its color; the magnifier straddling the seam of
  two outputs of different scales shows both, and by the gap black there;
- an output added mid-run is picked from; after one moves and changes scale,
  picks and the magnifier read it where it now is, and black beside it.
"""


import sway_session
import screen_resize_test as resize  # the magnifier's row of squares
from screen_resize_test import picked, rest_and_look as look
from harness import session

BACK, RED, GREEN, BLACK = (0x33, 0x66, 0x99), (255, 0, 0), (0, 255, 0), (0, 0, 0)


def add_output(s, name, mode, x, scale, color):
    s.swaymsg("create_output")
    s.swaymsg("output", name, "resolution", mode, "pos", str(x), "0", "scale", scale, "bg",
              color, "solid_color")
    s.wait_for(lambda: s.screenshot().hex(x + 10, 10) == color[1:], f"{name} to show", 20)


def outputs(s, checks):
    add_output(s, "HEADLESS-2", "1280x1024", 1280, "2", "#FF0000")
    s.xdotool("mousemove", 600, 500)
    huevex = s.start_huevex(env={"HUEVEX_SCREEN": "screencopy"})
    with checks.case("opens on the pointer's output"):
        # Centred as the program knows it: sway tells no frame, and puts its
        # title bar above the window afterwards.
        _, _, width, height = s.client_rect()
        checks.equal("centred on it", s.client_rect(),
                     ((1280 - width) // 2, (1024 - height) // 2, width, height))
    with checks.case("picks on each output"):
        checks.equal("scale 1", picked(s, (600, 900), "#336699"), "#336699")
        checks.equal("scale 2", picked(s, (1500, 200), "#FF0000"), "#FF0000")
    with checks.case("the magnifier across the seam and by the gap"):
        s.toggle_magnifier(expect_shown=True)
        checks.soon("across the seam", lambda: look(s, (1280, 200), 6), [BACK] * 6 + [RED] * 8)
        checks.soon("on the output", lambda: look(s, (1500, 509), 0), [RED] * 14)
        checks.equal("in the gap", resize.magnifier_row(s, 6), [BLACK] * 14)
    with checks.case("an output added mid-run"):
        add_output(s, "HEADLESS-3", "960x768", 1920, "1.5", "#00FF00")
        checks.equal("scale 1.5", picked(s, (2200, 200), "#00FF00"), "#00FF00")
    with checks.case("an output moved down and rescaled mid-run"):
        # sway 1.7 cannot take a headless output away: HEADLESS-2 moves
        # below the top of the others instead, at scale 4.
        s.swaymsg("output", "HEADLESS-2", "pos", "1280", "600", "scale", "4")
        s.wait_for(lambda: s.screenshot().hex(1400, 700) == "FF0000", "HEADLESS-2 to move", 20)
        checks.equal("where it went", picked(s, (1400, 700), "#FF0000"), "#FF0000")
        checks.equal("the one beside it", picked(s, (2200, 200), "#00FF00"), "#00FF00")
        s.toggle_magnifier(expect_shown=True)
        # The pointer keeps to the outputs: the block reaches past one's edge.
        checks.soon("above its top edge", lambda: look(s, (1400, 600), 0), [BLACK] * 14)
        checks.equal("below the edge", resize.magnifier_row(s, 6), [RED] * 14)
    checks.equal("still running", huevex.poll(), None)


def test():
    args = session.arguments()
    checks = session.Checks()
    with sway_session.SwaySession(args) as s:
        checks.run("outputs", outputs, s, checks)
        if checks.failed:
            s.save_screenshot("huevex-outputs.png")
            print(f"stderr of the program:\n{s.stderr()}", flush=True)
    return checks.finish()


if __name__ == "__main__":
    sway_session.SwaySession.main(test)
