#!/usr/bin/env python3
"""The close box ends the program: the window manager's close (what its close
box does: WM_DELETE_WINDOW to the program) ends the process with status 0,
when idle and in the middle of a pick."""

from harness import session, wine


def close_and_check(s, checks):
    """Closes the main window as the window manager's close box does; the
    process must end with status 0 and take its window along."""
    s.run([s.args.xprobe, "close", s.main_window])
    try:
        s.wait_for(lambda: not s.huevex_running(), "the program to end", 15, step=0.05)
    except session.Failure as error:
        print(error, flush=True)
    checks.true("program ended", not s.huevex_running())
    if not s.huevex_running():
        checks.equal("exit status", s.huevex.wait(), 0)
    checks.equal("windows left", s.output(["xdotool", "search", "--onlyvisible", "--name",
                                            "^HUEVEX$"]), "")


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        s.require_prefix()
        with checks.case("close box while idle", s.on_failed_case):
            s.start_huevex()
            close_and_check(s, checks)

        with checks.case("close box in the middle of a pick", s.on_failed_case):
            s.start_huevex()
            s.press_and_drag(1, 100, 100)
            checks.equal("picking", s.cursor_image(), session.CROSSHAIR_CURSOR)
            close_and_check(s, checks)
            s.release(1)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
