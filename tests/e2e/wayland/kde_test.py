#!/usr/bin/env python3
"""The program on Xwayland in KWin (KDE Plasma's compositor, a virtual
output), reading the screen through KDE's desktop portal. The picture is the
X11 pick test's colorboard, an X client that KWin composites; consecutive
picks land on unlike colors, so a stale value cannot pass.

The Screenshot forced (HUEVEX_SCREEN=portal), then the program's own choice,
each in a session of its own, the cases in turn in one program:
- a slow pick: the clipboard and the swatch;
- quick picks, released 50 ms after the press: the clipboard holds the
  new color, never the previous pick's;
- clicks on the help button and the code boxes: no call to the portal
  (counted on the session bus);
- with `auto`, the first pick tries the portal's ScreenCast, whose dialog
  (a Wayland window) comes up above the program's windows (they stop
  staying on top while the desktop asks, and stay on top again once it is
  answered) and is answered with the compositor's own pointer; KWin's
  virtual output brings no frame, so the program goes on with the
  Screenshot: the pick that raised the dialog copies its own color (neither
  white nor black), the picks above still copy the right colors, and the
  ScreenCast is not tried again; a new run (the token stored) asks nothing,
  and its first flick copies its color;
then `huevex --pick` under `auto` over what KWin shows where no window lies
(black), its first pick raising the ScreenCast's dialog (user_session.py's
pick_command); and the screenshots KDE's portal saves into the user's
Pictures folder are gone, and the program's stderr stays quiet.
"""

import os
import time

import kde_session
import magnifier_test as zoom  # where the magnifier's box lies
import pick_test
from harness import session

QUIET = 2  # stderr lines a whole run may write
NOT_BOUND = ("huevex: the shortcut Super+Alt+C is not available (the desktop portal bound no "
             "shortcut); HUEVEX goes on without it")
CODE_BOXES = [(116, 25), (116, 41), (116, 57)]  # the three code rows of the main window
QUESTION = (150, 85)  # the help panel's button


def stripe(board, color):
    return board.stripe_x(pick_test.STRIPES.index(color)), board.middle_y()


def slow_pick(s, board, checks, color="808080"):
    checks.equal(f"slow pick #{color}: clipboard cleared first", s.clear_clipboard(), "")
    s.pick(stripe(board, color), hold=lambda: time.sleep(1.5))
    checks.equal(f"slow pick #{color}: xclip", s.wait_clipboard("#" + color), "#" + color)
    checks.equal(f"slow pick #{color}: swatch", s.client_pixel(s.SWATCH), session.rgb(color))


def quick_picks(s, board, checks):
    earlier = ["#808080"]  # the slow pick's
    for color, _ in pick_test.PICKS[:5]:
        what = f"quick pick #{color} after {earlier[-1]}"
        checks.equal(f"{what}: clipboard cleared first", s.clear_clipboard(), "")
        s.flick(stripe(board, color))
        copied = s.wait_clipboard("#" + color, timeout=4)
        checks.true(f"{what}: no earlier pick's color ({copied})", copied not in earlier)
        checks.equal(f"{what}: xclip", copied, "#" + color)
        earlier.append("#" + color)


def no_capture_clicks(s, board, checks):
    time.sleep(1.0)  # the last pick's capture has ended
    before = s.portal_calls()
    for point in [QUESTION, *CODE_BOXES, QUESTION]:
        s.click_client(point)
        time.sleep(0.3)
    time.sleep(1.0)
    checks.equal("clicks on the help button and the code boxes: portal calls",
                 s.portal_calls()[len(before):], [])
    # The count sees a pick's call, so the zero above means something.
    slow_pick(s, board, checks, "00FF00")
    checks.true("a pick calls the portal", s.portal_calls()[len(before):])


def shortcut_pick(s, board, checks):
    """The shortcut asked of KDE's portal as the program starts; where it is
    bound, typed with KWin's fake input keyboard it arms a pick that a click
    ends. KDE 5.27 binds none: the program says so once."""
    checks.soon("shortcut: asked for", lambda: [
        call for call in s.portal_calls() if call.startswith("GlobalShortcuts.")],
        ["GlobalShortcuts.CreateSession", "GlobalShortcuts.ListShortcuts",
         "GlobalShortcuts.BindShortcuts"])
    def log():
        with open(s.monitor_log) as f:
            return f.read()
    checks.true("shortcut: Super+Alt+C wished for", 'string "LOGO+ALT+c"' in log())
    s.wait_for(lambda: "member=Response" in log().split("member=BindShortcuts", 1)[-1],
               "the portal's answer to BindShortcuts", 10)
    if session.poll(lambda: NOT_BOUND in s.stderr(), 2):
        checks.equal("shortcut: not bound, said once", s.stderr().count(NOT_BOUND), 1)
        print("    (the desktop's portal bound no shortcut here: nothing to press)", flush=True)
        return
    checks.equal("shortcut: clipboard cleared first", s.clear_clipboard(), "")
    s.pick_anywhere(stripe(board, "0000FF"), 1, keys=s.type_shortcut)
    checks.equal("shortcut: xclip", s.wait_clipboard("#0000FF"), "#0000FF")


def screencast_answered(s, board, checks):
    """The first pick under `auto` tries the ScreenCast; its dialog comes up
    over the program's windows and is answered with the compositor's pointer,
    a few seconds after the release. Where the stream then brings no frame
    (KWin's virtual output here) the Screenshot takes over; either way the
    pick that raised the dialog copies its own color. Where the stream does
    bring frames, the magnifier is live."""
    checks.equal("auto: clipboard cleared first", s.clear_clipboard(), "")
    s.pick(stripe(board, "050AC8"), hold=lambda: time.sleep(1.0))
    checks.soon("auto: the dialog over the program's windows", s.dialog_over_huevex, True, 10)
    answered = s.answer_screencast_dialog()
    checks.true("auto: the ScreenCast dialog was shown and answered", answered)
    checks.equal("auto: the pick that raised the dialog copies its color",
                 s.wait_clipboard("#050AC8", timeout=10), "#050AC8")
    checks.soon("auto: on top again once answered", s.huevex_kept_above, [True])
    calls = s.portal_calls()
    checks.true("auto: ScreenCast started", "ScreenCast.Start" in calls)
    checks.true("auto: the desktop's restore token kept", os.path.exists(
        os.path.join(s.rundir, "state", "huevex", "screencast-token")))
    if "Screenshot.Screenshot" in calls:
        print("    (no frame from the stream: the Screenshot serves)", flush=True)
    else:
        s.toggle_magnifier(expect_shown=True)
        magnifier_live(s, board, checks)
        s.toggle_magnifier(expect_shown=False)


def magnifier_live(s, board, checks):
    """The box follows the picture under it: the board moves away, the
    desktop shows, then it comes back for the picks that follow."""
    s.xdotool("mousemove", *stripe(board, "FF0000"))

    def square():
        return s.client_pixel((zoom.BOX[0] + 65, zoom.BOX[1] + 35), s.magnifier())

    checks.soon("auto: magnifier on the board", square, session.rgb("FF0000"))
    s.xdotool("windowmove", board.window, board.x, board.y + 400)
    checks.soon_not("auto: magnifier follows the picture under it", square, session.rgb("FF0000"))
    # KWin puts the frame where the window is moved: back by where it landed.
    x, y = s.client_origin(board.window)
    s.xdotool("windowmove", board.window, 2 * board.x - x, 2 * board.y + 400 - y)
    s.wait_for(lambda: s.client_rect(board.window)[:2] == (board.x, board.y), "the board back")


def next_run(s, board, checks):
    """A new run with the token stored: no dialog, and its first pick, a
    flick, copies its color (the stream's deadline for a first frame runs
    past the release's wait here)."""
    s.stop_huevex()
    s.start_huevex()
    checks.equal("next run: clipboard cleared first", s.clear_clipboard(), "")
    s.flick(stripe(board, "FF0000"))
    checks.equal("next run: the first flick's xclip", s.wait_clipboard("#FF0000", timeout=6),
                 "#FF0000")
    checks.equal("next run: no dialog", [w for w in s.kwin_windows()
                                         if w[1] == kde_session.PORTAL_RESOURCE], [])


def asked_once(s, board, checks):
    """The Screenshot serves the rest of the run: the ScreenCast is not
    started again, nor its dialog shown, however many picks follow."""
    checks.equal("auto: ScreenCast started once in the run",
                 s.portal_calls().count("ScreenCast.Start"), 1)


def command_pick(s, board, checks):
    s.pick_command(checks, (1100, 900), (300, 600), "000000", answer=s.answer_screencast_dialog)


CASES = {"portal": [shortcut_pick, slow_pick, quick_picks, no_capture_clicks],
         "auto": [screencast_answered, slow_pick, quick_picks, asked_once, next_run],
         "--pick": [command_pick]}  # the program's own choice, from the command line


def one_run(s, checks, source):
    """The source's cases in turn, in one program; the command's with no
    window up at all, so that no X window holds the keyboard."""
    board = None
    s.watch_portal()
    if source != "--pick":
        board = s.board(*pick_test.BOARD, pick_test.STRIPES, os.path.join(s.rundir, "board.log"))
        s.start_huevex({"HUEVEX_SCREEN": source} if source != "auto" else {})
    for case in CASES[source]:
        with checks.case(f"{source}: {case.__name__}"):
            case(s, board, checks)


def test():
    args = session.arguments()
    checks = session.Checks()
    for source in CASES:
        print(f"-- {source}", flush=True)
        with kde_session.KWinSession(args) as s:
            checks.run(f"{source}: the session", one_run, s, checks, source)
            if s.huevex:
                checks.equal(f"{source}: stderr beyond {QUIET} lines",
                             s.stderr().splitlines()[QUIET:], [])
                checks.equal(f"{source}: still running", s.huevex.poll(), None)
            checks.equal(f"{source}: the portal's screenshots removed", s.pictures(), [])
    return checks.finish()


if __name__ == "__main__":
    kde_session.KWinSession.main(test)
