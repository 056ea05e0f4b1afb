#!/usr/bin/env python3
"""Every stripe of a color board picked with the left button. No two picks in
a row give the same code, so a copy that did not happen cannot pass with the
previous value. During a pick the arrow keys move the point across a stripe's
edge, and Esc backs out of one, copying nothing. The board, though every release happens over it, must see
none of the presses and releases; a click of its own shows that it would."""

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

        with checks.case("arrow keys and Esc during a pick", s.on_failed_case):
            # The arrow keys move the point and the pointer (ten pixels with
            # Shift) across the edge between the first two stripes.
            y = board.middle_y()
            shot = s.screenshot()
            edge = next(x for x in range(board.stripe_x(0), board.stripe_x(1))
                        if shot.hex(x, y) == COLORS[1])
            s.clear_clipboard()
            s.press_and_drag(1, edge - 10, y)
            for key in ["shift+Right", "Left"]:
                s.xdotool("key", key)
                time.sleep(0.05)
            checks.soon("swatch a pixel short of the edge", lambda: s.pixel(*swatch), COLORS[0])
            # Under Wine the point moves as an offset from the pointer (a warp
            # there would end the X server's grab that the drag runs on).
            checks.equal("the pointer stays under Wine", s.pointer(), (edge - 10, y))
            s.xdotool("key", "Right")
            checks.soon("swatch across the edge", lambda: s.pixel(*swatch), COLORS[1])
            s.release(1)
            checks.equal("the nudged pick's clipboard", s.clipboard_after_pick(), "#" + COLORS[1])
            # Esc backs out: nothing copied, the swatch as before the pick.
            cleared = s.clear_clipboard()
            s.press_and_drag(1, board.stripe_x(2), y)
            s.xdotool("key", "Escape")
            checks.soon("swatch back after Esc", lambda: s.pixel(*swatch), COLORS[1])
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
