#!/usr/bin/env python3
"""The window manager restarting under the running program.

Openbox is replaced by a new one (openbox --replace), killed outright and
started again a moment later, or killed with none to follow. Afterwards the
main window must still be there and usable: its magnifier bar still toggles
the magnifier, a pick still copies the color, and the main window still
stays above a window that is mapped and raised over it (by a click under a
window manager, by the other program itself without one). The program must
not have ended on the way.
"""

import subprocess
import time

from harness import session

RED = (255, 0, 0)


def replace(s):
    """Returns whether a window manager runs afterwards."""
    old = s.wm
    s.wm = s.spawn(["openbox", "--sm-disable", "--replace"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    old.wait(10)  # the old one lets go of the windows and ends
    return True


def kill_and_restart(s):
    kill(s)
    time.sleep(0.5)  # a while without any window manager
    s.wm = s.spawn(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return True


def kill(s):
    s.wm.kill()
    s.wm.wait(5)
    return False


def framed(s):
    """True while a window manager's frame holds the main window."""
    tree = s.output(["xwininfo", "-tree", "-id", s.main_window])
    return "Parent window id" in tree and "(the root window)" not in tree.split(
        "Parent window id")[1].splitlines()[0]


def usable(s, checks, what, log, wm=True):
    # The magnifier bar: open, then hide.
    s.toggle_magnifier()
    checks.true(f"{what}: the magnifier opens",
                s.wait_for(s.magnifier_shown, f"{what}: the magnifier shown", 5))
    s.toggle_magnifier()
    checks.true(f"{what}: the magnifier hides",
                s.wait_for(lambda: not s.magnifier_shown(), f"{what}: the magnifier hidden", 5))

    # A pick from another program's window.
    board = s.colorboard(0, 0, 200, 150, ["050AC8"], log)
    s.clear_clipboard()
    s.pick((100, 75))
    checks.equal(f"{what}: a pick copies", s.wait_clipboard("#050AC8"), "#050AC8")
    board.terminate()
    board.wait(5)

    # Topmost: a red window mapped over the main window, then raised.
    left, top = s.client_origin()
    cover = s.colorboard(left - 60, top - 60, 320, 300, ["FF0000"], log)
    inside = s.screen_point((3, 3))
    if wm:
        s.xdotool("mousemove", left - 30, top - 30)
        time.sleep(0.02)
        s.xdotool("click", 1)
    else:
        time.sleep(0.2)
        s.xdotool("windowraise", s.find_window("^colorboard$"))

    def on_top():
        shot = s.screenshot()
        return shot.rgb(*inside) == s.FACE and shot.rgb(left - 30, top - 30) == RED

    checks.true(f"{what}: stays above a window raised over it",
                s.wait_for(on_top, f"{what}: the main window on top", timeout=5))
    cover.terminate()
    cover.wait(5)


def restarted(s, checks, what, restart, log):
    huevex = s.start_huevex()
    s.wait_for(lambda: framed(s), "openbox to frame the main window")
    usable(s, checks, f"{what}: before", log)
    wm = restart(s)
    # The old openbox has ended, so a frame now is the new one's; with none,
    # the window is back on the root.
    s.wait_for(lambda: framed(s) == wm, "the main window to be (un)framed")
    time.sleep(0.3)
    checks.equal(f"{what}: still running", huevex.poll(), None)
    usable(s, checks, f"{what}: after", log, wm)
    checks.equal(f"{what}: still running at the end", huevex.poll(), None)


def test():
    args = session.arguments()
    args.wm = "openbox"
    checks = session.Checks()
    for restart in [replace, kill_and_restart, kill]:
        what = restart.__name__.replace("_", " ")
        log = f"{args.artifacts}/huevex-wm-{restart.__name__}.log"
        open(log, "w").close()
        with session.XvfbSession(args) as s:
            s.wm = s.processes[-1]
            checks.run(what, restarted, s, checks, what, restart, log, on_failure=lambda _:
                       s.save_screenshot(f"huevex-wm-{restart.__name__}.png"))
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
