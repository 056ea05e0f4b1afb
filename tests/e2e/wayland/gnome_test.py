#!/usr/bin/env python3
"""The program on Xwayland in a headless GNOME Shell, reading the screen
through the desktop portal (--source screencast: the ScreenCast stream;
portal: the Screenshot portal, the fallback), as a new user would meet it.

The picture is the colorboard, an X client that mutter composites, with the
X11 pick test's stripes. With the permission given (the screen cast's dialog
answered at the first pick, the screenshot permission stored):
- clicks on the help button and on each code box ask the portal for nothing
  (its calls counted with dbus-monitor), while a pick does;
- slow picks: the clipboard (cleared first, read while the program runs),
  the swatch in the compositor's picture, and the codes pixel for pixel as
  the simulated desktop paints them for the same color;
- quick picks, released 50 ms after the press onto a color unlike the
  pick before's: the clipboard holds the new color, never the old one;
- the magnifier live (where the stream brings frames): its box follows the
  picture under a still pointer when the board there goes away.
Then the first use, nothing stored: the desktop's question answered (the
pick that raised it copies; with the screen cast a second run picks with no
dialog, from the restore token), refused (nothing copied; told as a
refusal), and left unanswered past the portal's wait, then answered (the
next pick copies; without asking again where the desktop stored the answer);
and `huevex --pick` over the desktop's background color, its first pick
raising the question (user_session.py's pick_command).
And in every case the program's stderr stays quiet.
"""

import os
import subprocess
import time

import gnome_session
import magnifier_test as zoom  # the magnifier's box and where its cursor square lies
import pick_test
from harness import session

QUIET = 5  # stderr lines a case may write: a message box's text and a line or two
BOARD = (160, 160, 960, 160)  # asked for; mutter puts its frame above it
TABLE = (81, 17, 71, 47)  # the three code rows in the main window's client area
QUESTION = (150, 85)  # the help panel's button
CODE_BOXES = [(115, 24), (115, 40), (115, 56)]
SLOW = ["FF0000", "000000", "FFFFFF", "050AC8"]
QUICK = ["00FF00", "000000", "FFFFFF", "0000FF", "100F01"]  # each unlike the one before
BACKGROUND = "7A3E9D"  # the desktop's, for the command's pick
PORTAL_WAIT = 27.0  # past the portal's own 25 s for the shell's answer
CALLS = ["type='method_call',interface='org.freedesktop.portal.Screenshot'",
         "type='method_call',interface='org.freedesktop.portal.ScreenCast'"]


def stripe_centre(board, color):
    return board.stripe_x(pick_test.STRIPES.index(color)), board.y + board.height // 2


def sim_codes(s, color):
    """The code rows as the simulated desktop paints them after a pick of `color`."""
    out = os.path.join(s.rundir, f"sim-{color}.ppm")
    subprocess.run([s.args.sim_frame, "main", "0", "0", "100", "100", color, "50", "50", out],
                   check=True, timeout=30)
    x, y, width, height = TABLE
    return [row[x:x + width] for row in session.read_ppm(out)[y:y + height]]


def show_board(s):
    log = os.path.join(s.rundir, "board.log")
    return s.board(*BOARD, pick_test.STRIPES, log)


# With the permission stored


def no_capture_clicks(s, checks, calls, board):
    for point in [QUESTION, QUESTION, *CODE_BOXES]:
        s.click_client(point)
        time.sleep(0.1)
    time.sleep(1.0)  # a screenshot would have been asked for by now
    checks.equal("help button and code boxes: portal calls", len(s.monitored_calls(calls)), 0)
    # The screen cast's first pick asks the user: shared at once.
    s.pick(stripe_centre(board, "FF0000"), hold=lambda: answer_if_asked(s))
    checks.true("a pick: portal calls", session.poll(lambda: len(s.monitored_calls(calls)), 3))
    checks.equal("a pick: xclip", s.wait_clipboard("#FF0000", timeout=5), "#FF0000")


def answer_if_asked(s):
    if s.args.source == "screencast":
        s.wait_for(lambda: s.question_shown("screencast"), "the portal to ask to share the screen",
                   10, step=0.2)
        s.answer_question("screencast", allow=True)
    time.sleep(1.0)


def slow_picks(s, checks, calls, board):
    x, y, width, height = TABLE
    for color in SLOW:
        what = f"slow pick #{color}"
        checks.equal(f"{what}: clipboard cleared first", s.clear_clipboard(), "")
        s.pick(stripe_centre(board, color), hold=lambda: time.sleep(1.0))
        checks.equal(f"{what}: xclip", s.wait_clipboard("#" + color, timeout=5), "#" + color)
        shot = s.screenshot()
        checks.equal(f"{what}: swatch", shot.rgb(*s.screen_point(s.SWATCH)), session.rgb(color))
        wrong = zoom.differences(shot.block(*s.screen_point((x, y)), width, height),
                                 sim_codes(s, color))
        checks.equal(f"{what}: code pixels unlike the simulated desktop's ({len(wrong)})",
                     wrong[:4], [])


def quick_picks(s, checks, calls, board):
    s.pick(stripe_centre(board, "FF0000"), hold=lambda: time.sleep(1.0))
    s.wait_clipboard("#FF0000", timeout=5)
    previous = "FF0000"
    for color in QUICK:
        what = f"quick pick #{color} after #{previous}"
        checks.equal(f"{what}: clipboard cleared first", s.clear_clipboard(), "")
        s.flick(stripe_centre(board, color))
        checks.equal(f"{what}: xclip", s.wait_clipboard("#" + color, timeout=5), "#" + color)
        checks.equal(f"{what}: title", s.title(), "HUEVEX")
        previous = color


def magnifier_live(s, checks, calls, board):
    if s.args.source == "portal":
        print("    (the portal's snapshot is a still picture: nothing live to check)", flush=True)
        return
    s.toggle_magnifier(expect_shown=True)
    point = stripe_centre(board, "FF0000")
    s.xdotool("mousemove", *point)

    def square():
        x, y = s.client_origin(s.magnifier())
        return s.screenshot().rgb(x + zoom.BOX[0] + 65, y + zoom.BOX[1] + 35)

    checks.soon("magnifier on the board", square, session.rgb("FF0000"))
    os.kill(board.process.pid, 15)  # the desktop shows through where it was
    board.process.wait(5)
    behind = s.wait_for(lambda: (lambda rgb: rgb != session.rgb("FF0000") and rgb)(
        s.screenshot().rgb(*point)), "the board to go", 5)
    checks.soon("magnifier follows the picture under it", square, behind)


EVERYDAY = [no_capture_clicks, slow_picks, quick_picks, magnifier_live]


# The first use: the shell asks


def question(s):
    return "screencast" if s.args.source == "screencast" else "screenshot"


def reset_question(s):
    """The desktop asks again: no stored permission, no restore token."""
    s.set_screenshot_permission(None)
    token = os.path.join(s.rundir, ".local", "state", "huevex", "screencast-token")
    if os.path.exists(token):
        os.unlink(token)


def pick_into_question(s, checks, what, color, board):
    """A pick that raises the desktop's question: released once it shows."""
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    time.sleep(0.03)
    s.xdotool("mousedown", 1)
    time.sleep(0.03)
    s.pointer_steps(s.screen_point(s.CROSSHAIR), stripe_centre(board, color))
    shown = session.poll(lambda: s.question_shown(question(s)), 10, step=0.2)
    s.xdotool("mouseup", 1)
    checks.true(f"{what}: the desktop asks", shown)
    if shown:
        # The main window, in the middle, gives way to the question over it.
        covered = s.huevex_covered()
        checks.true(f"{what}: the question over the program's window ({covered:.2f})",
                    covered > 0.1)
    return shown


def pick_unasked(s, checks, what, color, board):
    """A pick the desktop must not ask about: it copies its color."""
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    time.sleep(0.03)
    s.xdotool("mousedown", 1)
    s.pointer_steps(s.screen_point(s.CROSSHAIR), stripe_centre(board, color))
    asked = session.poll(lambda: s.question_shown(question(s)), 2, step=0.2)
    s.xdotool("mouseup", 1)
    checks.true(f"{what}: not asked again", not asked)
    checks.equal(f"{what}: copies", s.wait_clipboard("#" + color, timeout=5), "#" + color)


def dismiss_boxes(s):
    for box in [w for w in s.windows("^HUEVEX$") if w != s.main_window and s.viewable(w)]:
        width, height = s.client_size(box)
        s.click_client((width // 2, height - 24), box)  # a message box's OK


def answered(s, checks, board):
    if pick_into_question(s, checks, "answered", "00FF00", board):
        s.answer_question(question(s), allow=True)
        checks.equal("answered: the pick copies", s.wait_clipboard("#00FF00", timeout=10),
                     "#00FF00")
        checks.soon("answered: the main window on top again",
                    lambda: "_NET_WM_STATE_ABOVE" in s.output(
                        ["xprop", "-id", s.main_window, "_NET_WM_STATE"]), True, 5)
    if question(s) == "screenshot":
        checks.equal("answered: stored", s.screenshot_permission().count("'yes'"), 1)
        return
    # The screen cast's restore token: the next run shares without asking.
    s.stop_huevex()
    s.start_huevex({"HUEVEX_SCREEN": s.args.source})
    checks.equal("second run: clipboard cleared first", s.clear_clipboard(), "")
    pick_unasked(s, checks, "second run", "0000FF", board)


def refused(s, checks, board):
    if pick_into_question(s, checks, "refused", "00FF00", board):
        s.answer_question(question(s), allow=False)
        checks.soon("refused: the title says so", s.title, "HUEVEX - SCREEN NOT READABLE", 10)
        checks.equal("refused: nothing copied", s.clipboard(), "")
    checks.true("refused: told as a refusal", "refused" in s.stderr())


def unanswered(s, checks, board):
    if pick_into_question(s, checks, "unanswered", "00FF00", board):
        time.sleep(PORTAL_WAIT)
        checks.equal("unanswered: nothing copied", s.clipboard(), "")
        checks.true("unanswered: the question still up", s.question_shown(question(s)))
        s.answer_question(question(s), allow=True)
        time.sleep(0.5)
        dismiss_boxes(s)
        what = "unanswered, then answered late: the next pick"
        if question(s) == "screenshot" and "'yes'" in s.screenshot_permission():
            pick_unasked(s, checks, what, "FF0000", board)  # the desktop kept the answer
            return
        # The portal had given up on the question, so the desktop kept no answer
        # (GNOME 43 keeps none then), and a screen cast's answer lives only in its
        # session: the next pick asks anew, and completes once answered.
        def answer():
            s.wait_for(lambda: s.question_shown(question(s)), "the desktop to ask anew", 10,
                       step=0.2)
            s.answer_question(question(s), allow=True)
            time.sleep(1.0)
        s.pick(stripe_centre(board, "FF0000"), hold=answer)
        checks.equal(f"{what}: copies", s.wait_clipboard("#FF0000", timeout=5), "#FF0000")


def command_pick(s, checks, board):
    s.stop_huevex()
    os.kill(board.process.pid, 15)  # no X window keeps the keyboard
    board.process.wait(5)
    for key, value in [("picture-options", "'none'"), ("primary-color", f"'#{BACKGROUND}'")]:
        s.as_user(["gsettings", "set", "org.gnome.desktop.background", key, value])
    target = (300, 600)  # clear of the board and of the desktop's questions
    s.wait_for(lambda: s.screenshot().rgb(*target) == session.rgb(BACKGROUND), "the background", 10)

    def answer():
        s.wait_for(lambda: s.question_shown(question(s)), "the desktop to ask", 15, step=0.2)
        s.answer_question(question(s), allow=True)

    s.pick_command(checks, (1000, 900), target, BACKGROUND, {"HUEVEX_SCREEN": s.args.source},
                   answer)


FIRST_USE = [answered, refused, unanswered, command_pick]


def check_stderr(s, checks, name):
    lines = s.stderr().splitlines()
    checks.equal(f"{name}: stderr beyond {QUIET} lines", lines[QUIET:QUIET + 3], [])


def everyday_start(s):
    calls = s.monitor(CALLS, "portal-calls")
    s.start_huevex({"HUEVEX_SCREEN": s.args.source})
    return calls, show_board(s)


def everyday(s, checks, case, calls, board):
    case(s, checks, calls, board)
    check_stderr(s, checks, case.__name__)
    checks.equal(f"{case.__name__}: still running", s.huevex.poll(), None)


def first_use(s, checks, case, board):
    """The case's own run of the program with nothing stored; the board, shown once."""
    reset_question(s)
    s.start_huevex({"HUEVEX_SCREEN": s.args.source})
    board = board or show_board(s)
    checks.equal(f"{case.__name__}: clipboard cleared first", s.clear_clipboard(), "")
    case(s, checks, board)
    check_stderr(s, checks, case.__name__)
    return board


def test():
    def more(parser):
        parser.add_argument("--source", choices=["screencast", "portal"], default="screencast")
        parser.add_argument("--sim-frame", required=True)
        parser.add_argument("--case", action="append", help="only these cases (by hand)")

    args = session.arguments(more)
    args.colorboard = args.colorboard or os.path.join(os.path.dirname(args.sim_frame),
                                                      "huevex_colorboard")
    checks = session.Checks()

    def chosen(cases):
        return [c for c in cases if not args.case or c.__name__ in args.case]

    def screenshot(s):
        return lambda name: s.save_screenshot(f"huevex-gnome-{args.source}-{name}.png")

    print("-- with the screenshot permission stored", flush=True)
    with gnome_session.GnomeSession(args) as s:
        started = checks.run("start-up", everyday_start, s)
        if not started:
            return checks.finish()
        for case in chosen(EVERYDAY):
            checks.run(case.__name__, everyday, s, checks, case, *started,
                       on_failure=screenshot(s))

    if not chosen(FIRST_USE):
        return checks.finish()
    print("-- the first use", flush=True)
    with gnome_session.GnomeSession(args, screenshots_allowed=False) as s:
        board = None
        s.monitor([*CALLS, "type='signal',interface='org.freedesktop.portal.Request'"],
                  "first-use-calls")  # read by hand when a case fails
        for case in chosen(FIRST_USE):
            board = checks.run(case.__name__, first_use, s, checks, case, board,
                               on_failure=screenshot(s)) or board
            s.stop_huevex()
    return checks.finish()


if __name__ == "__main__":
    gnome_session.GnomeSession.main(test)
