#!/usr/bin/env python3
"""HUEVEX.exe run by a script, its stdout a pipe as cmd's `for /f` and
PowerShell's `$c = ...` make it, beside the program running as ever; then the
shortcut typed into that program (Wine sees it only then), and taken."""

from harness import session, wine

COLORS = ["FF0000", "00FF00", "0000FF", "FFFFFF", "050AC8"]
WRONG = "HUEVEX: unknown option '--colour' (HUEVEX /? tells the options)\r\n"
TAKEN = ("HUEVEX: the shortcut Win+Alt+C is not available (another program has it); "
         "HUEVEX goes on without it\r\n")


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        board = s.start(board=(40, 700, 1200, 200, COLORS))
        y, edge = board.middle_y(), board.stripe_left(1)
        # (arguments, where the pointer rests, what ends the pick, stdout, stderr, exit
        # status); the clipboard afterwards holds the code printed, or what it held.
        runs = [
            (["--pick"], board.stripe_x(1), ["click", 1], "#00FF00\r\n", "", 0),
            (["/pick"], board.stripe_x(0), ["click", 3], "#FF0000\r\n", "", 0),
            (["--pick"], board.stripe_x(2), ["click", 2], "#0000FF\r\n", "", 0),
            (["--pick"], board.stripe_x(4), ["key", "Return"], "#050AC8\r\n", "", 0),
            (["--pick"], edge + 5, ["key", "shift+Left", "Return"], "#FF0000\r\n", "", 0),
            (["--pick"], board.stripe_x(3), ["key", "Escape"], "", "", 1),
            (["--colour"], None, None, "", WRONG, 2),
        ]
        for arguments, x, ending, out, errors, status in runs:
            with checks.case(" ".join(map(str, arguments + (ending or []))), s.on_failed_case):
                cleared = s.clear_clipboard()
                s.move_to(x or 1, y)
                color = s.pixel(x or 1, y)
                def pick():  # the main window and the magnifier come beside the point
                    checks.soon("the pointer at once", s.cursor_image, session.CROSSHAIR_CURSOR, 30)
                    s.wait_for(s.magnifier_shown, "the magnifier", 10)
                    checks.equal("the point in view", s.pixel(x, y), color)
                    s.xdotool(*ending)

                result = s.command(*arguments, during=ending and pick)
                checks.equal("status, stdout, stderr", result, (status, out, errors))
                checks.equal("clipboard afterwards", s.clipboard(), out.strip() or cleared)

        with checks.case("the shortcut in the running program", s.on_failed_case):
            s.clear_clipboard()
            s.click_client((80, -10))  # the title bar: the keyboard to the program
            s.move_to(board.stripe_x(2), y)
            s.xdotool("key", "super+alt+c")
            checks.soon("the pointer", s.cursor_image, session.CROSSHAIR_CURSOR)
            s.xdotool("click", 1)
            checks.equal("clipboard", s.clipboard_after_pick(), "#0000FF")
            checks.true("still running", s.huevex_running())

        with checks.case("the shortcut taken", s.on_failed_case):
            with open(s.artifact("second.log"), "wb") as log:
                second = s.spawn(["wine", args.huevex], stderr=log)
            checks.soon("a second program says so",
                        lambda: open(s.artifact("second.log"), newline="").read(), TAKEN, 30)
            checks.equal("and runs on", second.poll(), None)
            checks.equal("the board saw none of the clicks", board.events(), "")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
