#!/usr/bin/env python3
"""Staying on top, closing, and the clipboard after the program has ended.

- stacking: another program's window mapped after the main window, and then
  raised, covers it everywhere except where the main window is;
- closing: the close box's message (WM_DELETE_WINDOW, or Alt+F4 through the
  window manager), a window destroyed by another client, and a close in the
  middle of a pick all end the process with status 0;
- the clipboard manager: a code picked before the close can still be pasted
  after it, and a command's, which then leaves no process behind; without a
  manager the program still ends promptly.
"""

import subprocess
import time

from harness import session

RED = (255, 0, 0)


def wait_exit(process, seconds=10):
    try:
        return process.wait(seconds)
    except subprocess.TimeoutExpired:
        return "still running"


def stacking(s, checks, log):
    s.start_huevex()
    left, top = s.client_origin()
    # A red board over the whole main window and beyond, mapped after it.
    board = s.colorboard(left - 100, top - 100, 400, 320, ["FF0000"], log)
    board_window = s.find_window("^colorboard$")
    inside = s.screen_point((3, 3))  # the main window's face, clear of its controls

    def on_top():
        shot = s.screenshot()
        return shot.rgb(*inside) == s.FACE and shot.rgb(left - 50, top - 50) == RED

    checks.true("main window above a window mapped after it",
                s.wait_for(on_top, "the main window on top", timeout=5))
    # The other window raised (by a click on it under a window manager, or
    # asked for directly without one).
    if s.args.wm == "openbox":
        s.xdotool("mousemove", left - 50, top - 50)
        s.xdotool("click", 1)
    else:
        s.xdotool("windowraise", board_window)
    time.sleep(0.2)
    checks.true("main window above it after it was raised",
                s.wait_for(on_top, "the main window on top again", timeout=5))
    if s.args.wm == "openbox":
        state = s.output(["xprop", "-id", s.main_window, "_NET_WM_STATE"])
        checks.true("main window asks to be above", "_NET_WM_STATE_ABOVE" in state)
    board.terminate()
    board.wait(5)


def close_by_message(s, checks, log):
    huevex = s.start_huevex()
    if s.args.wm == "openbox":
        s.xdotool("windowactivate", "--sync", s.main_window)
        s.xdotool("key", "alt+F4")
    else:
        s.run([s.args.tool, "close", s.main_window])
    checks.equal("close box: exit status", wait_exit(huevex), 0)


def close_by_destroy(s, checks, log):
    huevex = s.start_huevex()
    s.xdotool("windowclose", s.main_window)  # destroys the window from outside
    checks.equal("window destroyed by another client: exit status", wait_exit(huevex), 0)


def close_during_pick(s, checks, log):
    huevex = s.start_huevex()
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    s.xdotool("mousedown", 1)
    s.xdotool("mousemove", 20, 20)
    time.sleep(0.05)
    s.run([s.args.tool, "close", s.main_window])
    checks.equal("closed during a pick: exit status", wait_exit(huevex), 0)
    s.xdotool("mouseup", 1)
    # The grab went with the program: another client gets the pointer again.
    s.colorboard(0, 0, 100, 100, ["00FF00"], log)
    s.xdotool("mousemove", 50, 50)
    s.xdotool("click", 1)
    s.wait_for(lambda: "release 1" in open(log).read(), "the colorboard to get a click")
    checks.true("pointer free after the program ended", "release 1" in open(log).read())


def clipboard_manager(s, checks, log):
    manager = s.spawn([s.args.tool, "clipboard-manager"], stdout=subprocess.PIPE)
    checks.equal("manager ready", manager.stdout.readline().strip(), b"ready")
    huevex = s.start_huevex()
    s.colorboard(0, 0, 200, 100, ["050AC8"], log)
    s.clear_clipboard()
    s.pick((100, 50), 1)
    checks.equal("picked", s.wait_clipboard("#050AC8"), "#050AC8")
    s.run([s.args.tool, "close", s.main_window])
    checks.equal("exit status with a manager", wait_exit(huevex), 0)
    checks.equal("manager saved the code", manager.stdout.readline().strip(), b"saved #050AC8")
    checks.equal("the code outlives the program", s.clipboard("xclip"), "#050AC8")
    # A command's code goes to the manager too, and then nothing is left serving it.
    checks.equal("a pick from the command", s.pick_anywhere((100, 50), 3)[:2], (0, "#050AC8\n"))
    checks.equal("manager saved the command's code", manager.stdout.readline().strip(),
                 b"saved #050AC8")
    checks.equal("no process left beside the manager", s.clipboard_servers(), [])


def no_manager(s, checks, log):
    huevex = s.start_huevex()
    s.colorboard(0, 0, 200, 100, ["100F01"], log)
    s.clear_clipboard()
    s.pick((100, 50), 3)
    checks.equal("picked", s.wait_clipboard("#100F01"), "#100F01")
    s.run([s.args.tool, "close", s.main_window])
    checks.equal("exit status without a manager", wait_exit(huevex, 5), 0)
    checks.equal("nobody serves the code any more", s.clipboard("xclip"), None)


CASES = [stacking, close_by_message, close_by_destroy, close_during_pick, clipboard_manager,
         no_manager]


def test():
    args = session.arguments()
    checks = session.Checks()
    for case in CASES:
        with session.XvfbSession(args) as s:
            log = f"{args.artifacts}/huevex-{args.wm}-{case.__name__}.log"
            open(log, "w").close()
            checks.run(case.__name__, case, s, checks, log,
                       on_failure=lambda name: s.save_screenshot(f"huevex-{args.wm}-{name}.png"))
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
