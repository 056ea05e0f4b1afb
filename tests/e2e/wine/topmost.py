#!/usr/bin/env python3
"""The main window stays above a window mapped after it, also when that window
is raised and clicked, and a pick over that window still works."""

import time

from harness import session, wine

GREEN = "00FF00"


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        s.start()
        x, y, width, height = s.client
        swatch, cross = s.at(s.SWATCH), s.at(s.CROSSHAIR)

        with checks.case("the main window asks to stay above", s.on_failed_case):
            checks.true("_NET_WM_STATE_ABOVE", "_NET_WM_STATE_ABOVE" in
                        s.output(["xprop", "-id", s.main_window, "_NET_WM_STATE"]))

        # A green window mapped after the main window, larger than it and over it.
        board = s.board(x - 100, y - 100, 400, 320, [GREEN], s.artifact("colorboard.log"))

        def main_window_shows():
            # Wine may repaint the main window a moment after the other window
            # maps; what matters is that the main window, not the later one,
            # then shows.
            checks.soon("the swatch still shows", lambda: s.pixel(*swatch), "FFFFFF")
            checks.soon("the crosshair still shows", lambda: s.pixel(*cross), "000000")

        with checks.case("a window mapped later stays below", s.on_failed_case):
            checks.true("the later window spans the main window",
                        board.x < x and board.y < y and board.x + board.width > x + width
                        and board.y + board.height > y + height)
            checks.equal("the later window shows around it",
                         s.pixel(board.x + 5, board.y + 5), GREEN)
            main_window_shows()

        with checks.case("raised and clicked, the later window still stays below",
                         s.on_failed_case):
            s.xdotool("windowraise", board.window)
            s.move_to(board.x + 5, board.y + 5)
            s.xdotool("click", 1)
            time.sleep(0.5)
            checks.equal("the later window took the click", board.events(),
                         "press 1 5 5\nrelease 1 5 5")
            main_window_shows()

        with checks.case("a pick over the later window", s.on_failed_case):
            open(board.log, "w").close()
            s.pick_and_check(checks, 1, board.x + 20, board.y + board.height - 20, GREEN)
            checks.equal("button events logged by the board", board.events(), "")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
