#!/usr/bin/env python3
"""Monitors on a real X server: RandR 1.5 monitors that Xorg's dummy driver
makes on a 3200 x 1600 screen, no window manager.

Two 1600 x 1200 monitors side by side, the primary on the right (the screen's
centre lies on the seam between them), and a strip along the bottom that no
monitor shows: the gap. The primary's work area, as the desktop gives it per
monitor (_GTK_WORKAREAS_D0), leaves a 100-pixel panel along its top.
- the main window opens centred on that work area, wholly on the primary;
- picks on each monitor copy their colors; the magnifier straddling the seam
  shows both monitors' pixels, and straddling a monitor's edge and the gap,
  black in the gap, where a pick reads no color (not the window's there);
- a monitor added over the gap mid-run: the magnifier and a pick read it;
- that monitor removed with the main window on it: the window comes back,
  centred on the primary's work area again;
- no monitor primary: the program, started again with the pointer on the
  left monitor, opens centred there.
"""


from harness import session
import screen_resize_test as resize  # the magnifier's row of squares
from screen_resize_test import picked, rest_and_look as look

RED, GREEN, BLUE, BLACK = (255, 0, 0), (0, 255, 0), (0, 0, 255), (0, 0, 0)
LEFT = (0, 0, 1600, 1200)
RIGHT = (1600, 0, 1600, 1200)
BELOW = (0, 1200, 1000, 400)  # the monitor added over the gap
WORK = {LEFT: LEFT, RIGHT: (1600, 100, 1600, 1100)}  # x, y, width, height


def centred(s, area):
    """Where the main window's client area lies centred in an area (no frame
    without a window manager)."""
    width, height = s.client_size()
    x, y, area_width, area_height = area
    return x + (area_width - width) // 2, y + (area_height - height) // 2, width, height


def test():
    args = session.arguments()
    reason = session.XorgSession.missing()
    if reason:
        print(f"SKIP: no Xorg with the dummy driver here: {reason}", flush=True)
        return 77
    checks = session.Checks()
    errors = f"{args.artifacts}/huevex-monitors.stderr"
    try:
        return run(args, checks, errors)
    except session.ServerUnavailable as error:
        print(f"SKIP: {error}", flush=True)
        return 77


def monitors(s, checks, stderr):
    s.set_monitors([(*LEFT, False), (*RIGHT, True)])
    areas = [v for area in (LEFT, RIGHT) for v in WORK[area]]
    s.run(["xprop", "-root", "-f", "_GTK_WORKAREAS_D0", "32c", "-set",
           "_GTK_WORKAREAS_D0", ",".join(str(v) for v in areas)])
    boards = [(1400, 200, 200, 200, "FF0000"), (1600, 200, 200, 200, "00FF00"),
              (100, 1100, 1200, 300, "0000FF")]
    for x, y, width, height, color in boards:
        s.colorboard(x, y, width, height, [color], "/dev/null")
    s.wait_for(lambda: [s.screenshot().hex(b[0] + 2, b[1] + 2) for b in boards]
               == [b[4] for b in boards], "the boards to show", step=0.1)
    s.xdotool("mousemove", 100, 100)
    huevex = s.start_huevex(stderr=stderr)

    with checks.case("opens on the primary"):
        checks.equal("centred on its work area", s.client_rect(), centred(s, WORK[RIGHT]))
    with checks.case("picks on each monitor"):
        checks.equal("left", picked(s, (1500, 300), "#FF0000"), "#FF0000")
        checks.equal("right", picked(s, (1700, 300), "#00FF00"), "#00FF00")
    with checks.case("the magnifier across the seam and by the gap"):
        s.toggle_magnifier(expect_shown=True)
        checks.equal("across the seam", look(s, (1600, 300), 6), [RED] * 6 + [GREEN] * 8)
        checks.equal("on the monitor", look(s, (700, 1197), 0), [BLUE] * 14)
        checks.equal("in the gap", resize.magnifier_row(s, 6), [BLACK] * 14)
    with checks.case("a pick in the gap"):
        # Straight there: no tick on the way reads the board on the monitor.
        s.clear_clipboard()
        s.flick((700, 1300))
        checks.not_equal("copied", s.wait_clipboard("#0000FF", timeout=1.5), "#0000FF")

    with checks.case("a monitor added over the gap"):
        s.set_monitors([(*LEFT, False), (*RIGHT, True), (*BELOW, False)])
        s.toggle_magnifier(expect_shown=True)
        s.xdotool("mousemove", 700, 1197)
        checks.soon("the magnifier reads it", lambda: resize.magnifier_row(s, 6), [BLUE] * 14)
        checks.equal("a pick there", picked(s, (700, 1300), "#0000FF"), "#0000FF")
    with checks.case("its monitor removed under the main window"):
        s.xdotool("windowmove", s.main_window, 300, 1350)
        s.wait_for(lambda: s.client_origin() == (300, 1350), "the main window to move")
        s.set_monitors([(*LEFT, False), (*RIGHT, True)])
        checks.soon("back on the primary", s.client_rect, centred(s, WORK[RIGHT]))
        checks.equal("a pick after", picked(s, (1500, 300), "#FF0000"), "#FF0000")
    checks.equal("still running", huevex.poll(), None)
    huevex.terminate()
    huevex.wait(10)

    with checks.case("none primary: the pointer's monitor"):
        s.set_monitors([(*LEFT, False), (*RIGHT, False)])
        s.xdotool("mousemove", 400, 600)
        s.start_huevex(stderr=stderr)
        checks.equal("centred on its work area", s.client_rect(), centred(s, WORK[LEFT]))


def run(args, checks, errors):
    with session.XorgSession(args, size=(3200, 1600)) as s, open(errors, "w") as stderr:
        checks.run("monitors", monitors, s, checks, stderr,
                   on_failure=lambda _: s.save_screenshot("huevex-monitors.png"))
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
