#!/usr/bin/env python3
"""The pointer pushed past the screen's edges during a pick.

An X server keeps the pointer on its screens: a drag past an edge, whether
by absolute warps to points off the screen or by relative motion, leaves the
pointer on the last pixel row or column. So a pick dragged past a corner
copies the corner's color, and the magnifier resting in a corner shows that
corner's pixels and black for the part of its block that lies off the
screen. Each corner holds a small board of its own color.
"""

import time

from harness import session
from harness.session import rgb

WIDTH, HEIGHT = 1280, 1024
BOX = (17, 17)
BLACK = (0, 0, 0)
SIZE = 40  # of each corner's board

# (corner pixel, board color, where the drag is aimed, relative or absolute)
CORNERS = [
    ((0, 0), "FF0000", (-50, -50), "absolute"),
    ((WIDTH - 1, 0), "00FF00", (WIDTH + 4000, -20), "absolute"),
    ((0, HEIGHT - 1), "0000FF", (-30, HEIGHT + 4000), "absolute"),
    ((WIDTH - 1, HEIGHT - 1), "FFFF00", (WIDTH + 4000, HEIGHT + 4000), "relative"),
]


def board_of(corner):
    x = 0 if corner[0] == 0 else WIDTH - SIZE
    y = 0 if corner[1] == 0 else HEIGHT - SIZE
    return x, y, SIZE, SIZE


def pointer(s):
    words = dict(w.split(":") for w in s.output(["xdotool", "getmouselocation"]).split())
    return int(words["x"]), int(words["y"])


def push(s, target, how):
    """Moves the pointer towards a point that may lie off the screen."""
    if how == "absolute":
        s.xdotool("mousemove", "--", *target)
    else:
        x, y = pointer(s)
        s.xdotool("mousemove_relative", "--", target[0] - x, target[1] - y)
    time.sleep(0.03)


def expected_square(corner, color, k, row):
    """What square (k, row) of the box shows with the cursor at the corner:
    the copied block starts 6 pixels left of and 3 above the cursor."""
    x, y = corner[0] - 6 + k, corner[1] - 3 + row
    if not (0 <= x < WIDTH and 0 <= y < HEIGHT):
        return BLACK
    bx, by, w, h = board_of(corner)
    return rgb(color) if bx <= x < bx + w and by <= y < by + h else None


def under_marker(k, row):
    # The marker's bars cover box x 55 to 74 and y 25 to 44.
    return 55 <= 10 * k + 5 <= 74 and 25 <= 10 * row + 5 <= 44


def test():
    args = session.arguments()
    args.wm = "none"
    checks = session.Checks()
    with session.XvfbSession(args, screen=f"{WIDTH}x{HEIGHT}x24") as s:
        s.start_huevex()
        for corner, color, _, _ in CORNERS:
            s.colorboard(*board_of(corner), [color], "/dev/null")

        for corner, color, target, how in CORNERS:
            what = f"dragged towards {target} ({how})"
            s.clear_clipboard()
            held = {}

            def drag_past():
                push(s, target, how)
                held["pointer"] = pointer(s)

            s.pick((corner[0] + (5 if corner[0] == 0 else -5),
                    corner[1] + (5 if corner[1] == 0 else -5)), hold=drag_past)
            checks.equal(f"{what}: the pointer stays on the corner", held.get("pointer"), corner)
            checks.equal(f"{what}: copied the corner's color", s.wait_clipboard("#" + color),
                         "#" + color)

        # The magnifier resting in each corner, the pointer pushed past it.
        for corner, color, target, how in CORNERS:
            what = f"magnifier at {corner}"
            s.toggle_magnifier(expect_shown=True)
            zoom = s.magnifier()
            push(s, target, how)
            time.sleep(0.35)
            shot = s.screenshot()
            ox, oy = s.client_origin(zoom)
            wrong = []
            for row in range(8):
                for k in range(14):
                    want = expected_square(corner, color, k, row)
                    if want is None or under_marker(k, row) or 10 * row + 5 >= 71:
                        continue
                    got = shot.rgb(ox + BOX[0] + 10 * k + 5, oy + BOX[1] + 10 * row + 5)
                    if got != want:
                        wrong.append((k, row, got, want))
            checks.equal(f"{what}: squares on and off the screen", wrong[:3], [])
            s.toggle_magnifier(expect_shown=False)
        checks.equal("still running", s.huevex.poll(), None)
        if checks.failed:
            s.save_screenshot("huevex-pointer-edge.png")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
