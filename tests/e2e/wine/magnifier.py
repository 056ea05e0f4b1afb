#!/usr/bin/env python3
"""HUEVEX.exe's magnifier under Wine, compared with the simulated desktop.

A board of stripes three pixels wide lies on the screen and the pointer rests
at a few points of it. Each time, the magnifier's box on screen must equal,
pixel for pixel, what huevex_sim_frame paints for the same board and pointer;
a handful of its pixels are checked against the screen on their own as well.
Clicks on the main window's bar open the magnifier under the main window,
hide it, and bring it back at its old place after the main window has moved.
"""

import os
import subprocess
import time

from harness import session, wine

# Stripes 3 pixels wide, so that the 14 screen pixels across the magnifier's
# copy take in five or six colors and the squares' order shows; two of them
# are the grid's own gray and silver.
COLORS = ["FF0000", "00A000", "0000FF", "FFFF00", "808080", "00FFFF", "FF00FF", "C0C0C0",
          "102030", "F0E0D0", "7F7F00", "007F7F", "400080", "FF8000", "80FF00", "0080FF",
          "000000", "FFFFFF", "5A5A5A", "A5A5A5", "123456", "654321", "ABCDEF", "FEDCBA"]
STRIPE = 3
BOX = (17, 17, 139, 71)  # the box inside the magnifier's window
REST = 0.4  # longer than the 250 ms after which a resting cursor's frame is repainted


def differing(actual, expected):
    """How many pixels of two pictures differ, or why they cannot be compared."""
    if len(actual) != len(expected) or len(actual[0]) != len(expected[0]):
        return f"sizes {len(actual[0])}x{len(actual)} and {len(expected[0])}x{len(expected)}"
    return sum(a != e for row_a, row_e in zip(actual, expected) for a, e in zip(row_a, row_e))


def check_frame_at(s, checks, board, zoom, x, y, name):
    """Rests the pointer at (x, y) of the board and compares the box on screen
    with the simulated desktop's frame for that point."""
    s.move_to(x, y)
    time.sleep(REST)
    shot = s.screenshot()
    zx, zy = s.client_origin(zoom)
    box = shot.block(zx + BOX[0], zy + BOX[1], BOX[2], BOX[3])
    session.write_ppm(s.artifact(f"{name}-wine.ppm"), box)
    sim = s.artifact(f"{name}-sim.ppm")
    if subprocess.run([s.args.sim_frame, str(board.x), str(board.y), str(board.width),
                       str(board.height), ",".join(COLORS), str(x), str(y), sim],
                      timeout=30).returncode != 0:
        raise session.Failure("huevex_sim_frame failed")
    checks.equal("pixels unlike the simulated desktop's frame",
                 differing(box, session.read_ppm(sim)), 0)

    # Some of what the comparison covers, checked on its own, so that a fault
    # the simulated desktop shares does not pass unseen. The pointer's pixel
    # is enlarged into the square whose corner is (60, 30); the marker's bars,
    # 5 pixels thick, start at (55, 25), so the squares beside it show only
    # their outer parts.
    def colors(left, top, width, height):
        return session.colors_in(box, left, top, width, height)

    def box_pixel(left, top):
        return session.hex_color(box[top][left])

    checks.equal("the cursor's square inside its grid lines", colors(61, 31, 9, 9),
                 shot.hex(x, y))
    checks.equal("the square to its left, beside the marker", colors(51, 31, 4, 9),
                 shot.hex(x - 1, y))
    checks.equal("the square to its right, beside the marker", colors(75, 31, 5, 9),
                 shot.hex(x + 1, y))
    checks.equal("the first square", colors(1, 1, 9, 9), shot.hex(x - 6, y - 3))
    checks.equal("the last whole row's last square", colors(121, 61, 9, 9),
                 shot.hex(x + 6, y + 3))
    checks.equal("grid dots at (0, 0), (1, 0), (10, 1), (10, 2)",
                 [box_pixel(0, 0), box_pixel(1, 0), box_pixel(10, 1), box_pixel(10, 2)],
                 ["808080", "C0C0C0", "C0C0C0", "808080"])
    checks.equal("the marker's top bar, (55, 25) 18 x 5", colors(55, 25, 18, 5),
                 "808080\nC0C0C0")
    checks.equal("the marker's unpainted corner (73, 43)", box_pixel(73, 43),
                 shot.hex(x + 1, y + 1))
    count = len(colors(0, 0, BOX[2], BOX[3]).split("\n"))
    checks.true(f"colors in the box ({count})", count >= 6)


def test():
    args = wine.arguments()
    checks = session.Checks()
    if not args.sim_frame or not os.path.isfile(args.sim_frame):
        raise session.Failure("no huevex_sim_frame (--sim-frame)")
    with wine.WineSession(args) as s:
        board = s.start(board=(100, 200, STRIPE * len(COLORS), 120, COLORS))

        def map_state():
            return s.map_state(zoom)

        with checks.case("the first click on the bar opens the magnifier below the main window",
                         s.on_failed_case):
            s.click_magnifier_bar()
            try:
                zoom = s.wait_for(lambda: s.find_window("^Screen Zoom$", visible=True),
                                  "the magnifier", 10, step=0.05)
            except session.Failure:
                raise session.Failure("the magnifier did not open")
            zoom_x, zoom_y, zoom_width, zoom_height = s.client_rect(zoom)
            x, y, width, height = s.client
            checks.equal("size", (zoom_width, zoom_height), (175, 106))
            # As wide as the main window's frame, whose left edge lies as far
            # out as its right.
            checks.equal("left edge under the main window's", zoom_x,
                         x - (zoom_width - width) // 2)
            checks.true("top below the main window", zoom_y >= y + height)

        with checks.case("the box at rest over the stripes", s.on_failed_case):
            check_frame_at(s, checks, board, zoom, board.x + 11 * STRIPE + 1, board.y + 60,
                           "rest-1")

        with checks.case("the box follows the cursor", s.on_failed_case):
            check_frame_at(s, checks, board, zoom, board.x + 15 * STRIPE, board.y + 30, "rest-2")
            check_frame_at(s, checks, board, zoom, board.x + 6 * STRIPE + 2, board.y + 90,
                           "rest-3")

        with checks.case("the second click hides it", s.on_failed_case):
            s.click_magnifier_bar()
            checks.soon("the magnifier's window", map_state, "IsUnMapped")

        with checks.case("the third click shows it where it was, though the main window moved",
                         s.on_failed_case):
            s.xdotool("windowmove", s.main_window, 300, 150)
            s.wait_for(lambda: s.client_origin()[1] != s.client[1], "the main window to move",
                       5, step=0.05)
            s.client = s.client_rect(s.main_window)
            print(f"    (main window's client now at {s.client[0]},{s.client[1]})", flush=True)
            s.click_magnifier_bar()
            checks.soon("the magnifier's window", map_state, "IsViewable")
            checks.equal("its place", s.client_origin(zoom), (zoom_x, zoom_y))
            check_frame_at(s, checks, board, zoom, board.x + 9 * STRIPE + 1, board.y + 40,
                           "rest-4")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
