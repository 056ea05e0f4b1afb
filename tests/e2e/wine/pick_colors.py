#!/usr/bin/env python3
"""Every stripe of a color board picked with the left button. No two picks in
a row give the same code, so a copy that did not happen cannot pass with the
previous value. During a pick the arrow keys move the point (a table of
cases: across a stripe's edge, down and off the board, and stopped at the
screen's edge), and Esc backs out of one, copying nothing. The board, though
every release happens over it, must see none of the presses and releases; a
click of its own shows that it would."""

import time

from harness import session, wine

COLORS = ["FF0000", "00FF00", "0000FF", "FFFFFF", "000000", "050AC8", "100F01", "808080"]


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        board = s.start(board=(40, 700, 1200, 200, COLORS))

        with checks.case("before any pick", s.on_failed_case):
            checks.equal("client size at 96 DPI", s.client[2:], (169, 105))
            checks.equal("swatch shows the window color", s.pixel(*s.at(s.SWATCH)), "FFFFFF")

        swatch = s.at(s.SWATCH)
        for index, color in enumerate(COLORS):
            with checks.case(f"left-button pick of #{color}", s.on_failed_case):
                s.pick_and_check(checks, 1, board.stripe_x(index), board.middle_y(), color)

        # The arrow keys move the point a pixel, ten with Shift, under Wine as an offset from the
        # pointer, which stays (a warp would end the X grab the drag runs on): (case, where the
        # drag stops, keys, where they lead); the last stops at the screen's edge, then goes left.
        y, x, below = board.middle_y(), board.stripe_x(0), board.y + board.height
        edge, last = board.stripe_left(1), board.stripe_left(7)
        right = int(s.screen.split("x")[0]) - 1  # the screen's last column
        back = ["shift+Left"] * ((right + 1 - last) // 10) + ["Left"] * ((right + 1 - last) % 10)
        nudges = [
            ("a pixel short of an edge", (edge - 10, y), ["shift+Right", "Left"], (edge - 1, y)),
            ("across an edge", (edge - 10, y), ["shift+Right", "Left", "Right"], (edge, y)),
            ("down off the board", (x, below - 2), ["shift+Down"], (x, below + 8)),
            ("the screen's right edge", (right - 4, y), ["shift+Right", *back], (last - 1, y)),
        ]
        shot = s.screenshot()
        for what, start, keys, end in nudges:
            with checks.case(f"arrow keys during a pick: {what}", s.on_failed_case):
                color = shot.hex(*end)
                s.clear_clipboard()
                s.press_and_drag(1, *start)
                s.xdotool("key", "--delay", 30, *keys)
                checks.soon("swatch where the keys lead", lambda: s.pixel(*swatch), color)
                checks.equal("the pointer stays under Wine", s.pointer(), start)
                s.release(1)
                checks.equal("clipboard", s.clipboard_after_pick(), "#" + color)

        with checks.case("Esc during a pick", s.on_failed_case):
            # Nothing copied, the swatch as the last nudged pick left it.
            cleared = s.clear_clipboard()
            s.press_and_drag(1, board.stripe_x(2), y)
            s.xdotool("key", "Escape")
            checks.soon("swatch back after Esc", lambda: s.pixel(*swatch), color)
            s.release(1)
            time.sleep(0.2)
            checks.equal("clipboard after Esc", s.clipboard(), cleared)

        with checks.case("the board saw none of the picks", s.on_failed_case):
            checks.equal("button events logged by the board", board.events(), "")
            s.move_to(board.x + 10, board.y + 10)
            s.xdotool("click", 1)
            s.wait_for(lambda: board.events().count("\n") >= 1, "the board's log", 5)
            checks.equal("a direct click on the board", board.events(),
                         "press 1 10 10\nrelease 1 10 10")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
