#!/usr/bin/env python3
"""The right and the middle button pick exactly as the left one does, and a
left pick after them still works: nothing stays captured."""

from harness import session, wine

COLORS = ["0000FF", "FFFFFF", "050AC8", "000000", "808080"]
# (button as X counts them: 1 left, 2 middle, 3 right; stripe; name)
PICKS = [(3, 0, "right"), (2, 1, "middle"), (3, 2, "right"), (2, 3, "middle"), (1, 4, "left")]


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        board = s.start(board=(40, 700, 1200, 200, COLORS))

        for button, index, name in PICKS:
            with checks.case(f"{name}-button pick of #{COLORS[index]}", s.on_failed_case):
                s.pick_and_check(checks, button, board.stripe_x(index), board.middle_y(),
                                 COLORS[index])

        with checks.case("the board saw none of the picks", s.on_failed_case):
            checks.equal("button events logged by the board", board.events(), "")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
