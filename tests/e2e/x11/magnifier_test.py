#!/usr/bin/env python3
"""The magnifier of the running program.

- toggling: clicks on the word "MAGNiFIER" open, hide and show the
  magnifier; it opens flush under the main window and stays put when the main
  window is dragged away, until a pick unloads it; the next click then opens
  it under the main window where that is now;
- parity: over a color board of narrow stripes, with the cursor resting away
  from the program's windows, the magnifier's box holds exactly the pixels
  the simulated desktop paints for the same board and cursor (squares, grid
  dots and marker), checked also on its own at a few known box pixels;
- during a pick the magnifier follows the pointer (the same comparison while
  the button is held), and the release closes it.
"""

import os
import subprocess
import time

from harness import session
from harness.session import rgb

BOX = (17, 17, 139, 71)  # the zoom box in the magnifier's client area
GRAY, SILVER = (128, 128, 128), (192, 192, 192)
REST = 0.35  # longer than the magnifier's 250 ms repaint of a resting cursor


def stripes(count, seed):
    """`count` colors, neighbours always different, from a small LCG."""
    out, value = [], seed
    while len(out) < count:
        value = (value * 1103515245 + 12345) & 0x7FFFFFFF
        color = f"{(value >> 7) & 0xFFFFFF:06X}"
        if not out or out[-1] != color:
            out.append(color)
    return out


# (board x, y, width, height, colors, cursor points resting on it, from the
# board's top-left corner). Stripes 1 and 3 pixels wide; the points keep the
# copied block (6 pixels left and 3 up of the cursor to 7 right and 4 down)
# on the board, close to its edges too.
BOARDS = [
    (40, 60, 120, 140, stripes(120, 7), [(60, 70), (6, 3), (112, 135)]),
    (40, 60, 240, 140, stripes(80, 11), [(61, 40), (160, 90)]),
]


def board_pixel(board, point):
    x, y, width, _, colors, _ = board
    stripe = width // len(colors)
    return rgb(colors[min((point[0] - x) // stripe, len(colors) - 1)])


def show_board(s, board, log):
    """Shows the board; gives it back placed where it really is (a window
    manager's frame moves the stripes off the asked position) and the process."""
    process = s.colorboard(*board[:4], board[4], log)
    found = s.wait_for(lambda: s.output(["xdotool", "search", "--name", "^colorboard$"]).split(),
                       "the colorboard's window")
    if len(found) != 1:
        raise session.Failure(f"{len(found)} colorboard windows")
    x, y = s.client_origin(found[0])
    return (x, y, *board[2:]), process


def sim_frame(args, board, cursor, workdir):
    x, y, width, height, colors, _ = board
    out = os.path.join(workdir, f"sim-{cursor[0]}-{cursor[1]}.ppm")
    subprocess.run([args.sim_frame, str(x), str(y), str(width), str(height), ",".join(colors),
                    str(cursor[0]), str(cursor[1]), out], check=True, timeout=30)
    return session.read_ppm(out)


def zoom_origin(s):
    return s.client_origin(s.magnifier())


def zoom_box(s):
    x, y = zoom_origin(s)
    return s.screenshot().block(x + BOX[0], y + BOX[1], BOX[2], BOX[3])


def differences(actual, expected):
    return [(i, j, actual[j][i], expected[j][i]) for j in range(len(expected))
            for i in range(len(expected[0])) if actual[j][i] != expected[j][i]]


def check_box(checks, what, box, board, cursor, expected):
    """The box against the simulated desktop's, and a few of its pixels on
    their own: the cursor's square, grid dots of both colors, the marker."""
    wrong = differences(box, expected)
    checks.equal(f"{what}: pixels unlike the simulated desktop's ({len(wrong)})", wrong[:4], [])
    # The pointer's pixel is enlarged into the ten-by-ten square whose corner
    # is (60, 30), grid on its top row and left column; the marker's bars, 5
    # pixels thick from (55, 25), go round it and leave a 2 x 2 gap at the
    # bottom right.
    checks.equal(f"{what}: the cursor's square", box[35][65], board_pixel(board, cursor))
    checks.equal(f"{what}: the square left of it", box[35][52],
                 board_pixel(board, (cursor[0] - 1, cursor[1])))
    for x, y in [(0, 0), (10, 0), (0, 10), (130, 1), (1, 70), (55, 25), (57, 34), (74, 26),
                 (71, 44), (72, 44)]:
        checks.equal(f"{what}: grid or marker at ({x}, {y})", box[y][x],
                     GRAY if (x + y) % 2 == 0 else SILVER)
    checks.equal(f"{what}: the marker's open corner", box[44][74],
                 board_pixel(board, (cursor[0] + 1, cursor[1] + 1)))


def toggling(s, checks, board_log):
    s.start_huevex()
    left, _, _, bottom = s.outer_rect()
    s.toggle_magnifier(expect_shown=True)
    first = zoom_origin(s)
    checks.equal("first click: right below the main window, left edges aligned", first,
                 (left, bottom))

    s.toggle_magnifier(expect_shown=False)
    checks.true("second click: hidden, still there", s.magnifier() is not None)

    s.xdotool("windowmove", s.main_window, 300, 200)
    s.wait_for(lambda: s.outer_rect()[0] != left, "the main window to move")
    moved_left, _, _, moved_bottom = s.outer_rect()
    s.toggle_magnifier(expect_shown=True)
    checks.equal("third click: at the same place as before", zoom_origin(s), first)

    s.colorboard(0, 0, 200, 150, ["100F01"], board_log)
    s.clear_clipboard()
    s.pick((100, 75))
    checks.equal("picked", s.wait_clipboard("#100F01"), "#100F01")
    s.wait_for(lambda: s.magnifier() is None, "the pick to close the magnifier")
    s.toggle_magnifier(expect_shown=True)
    checks.equal("after a pick: under the main window's new place", zoom_origin(s),
                 (moved_left, moved_bottom))


def parity(s, checks, board_log):
    workdir = s.args.artifacts  # the simulated desktop's frames, kept for a look
    s.start_huevex()
    s.toggle_magnifier(expect_shown=True)
    for index, asked in enumerate(BOARDS):
        board, shown = show_board(s, asked, board_log)
        for offset in board[5]:
            cursor = (board[0] + offset[0], board[1] + offset[1])
            s.xdotool("mousemove", *cursor)
            time.sleep(REST)
            box = zoom_box(s)
            what = f"board {index}, cursor at {cursor}"
            check_box(checks, what, box, board, cursor, sim_frame(s.args, board, cursor, workdir))
        shown.terminate()
        shown.wait(5)
        s.wait_for(lambda: s.find_window("^colorboard$") is None, "the colorboard to go")


def during_pick(s, checks, board_log):
    workdir = s.args.artifacts  # the simulated desktop's frames, kept for a look
    s.start_huevex()
    board, _ = show_board(s, BOARDS[0], board_log)
    s.toggle_magnifier(expect_shown=True)
    s.clear_clipboard()
    held = {}

    def look():
        # Resting at the end of the drag: the magnifier shows this point.
        time.sleep(REST)
        held["box"] = zoom_box(s)
        held["open"] = s.magnifier_shown()

    cursor = (board[0] + board[5][0][0], board[1] + board[5][0][1])
    s.pick(cursor, hold=look)
    checks.true("open while the button is held", held["open"])
    check_box(checks, "while picking", held["box"], board, cursor,
              sim_frame(s.args, board, cursor, workdir))
    expected = "#%02X%02X%02X" % board_pixel(board, cursor)
    checks.equal("the pick copied the pixel under the pointer", s.wait_clipboard(expected),
                 expected)
    checks.true("the release closed the magnifier",
                s.wait_for(lambda: s.magnifier() is None, "the magnifier to close", 3))


CASES = [toggling, parity, during_pick]


def test():
    args = session.arguments(lambda p: p.add_argument("--sim-frame", required=True))
    checks = session.Checks()
    for case in CASES:
        with session.XvfbSession(args) as s:
            log = os.path.join(args.artifacts, f"huevex-zoom-{args.wm}-{case.__name__}.log")
            open(log, "w").close()
            checks.run(case.__name__, case, s, checks, log, on_failure=lambda name:
                       s.save_screenshot(f"huevex-zoom-{args.wm}-{name}.png"))
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
