#!/usr/bin/env python3
"""Picks from another program's window, end to end.

The colorboard (another X client) shows one stripe per color of the table.
Each pick clears the clipboard first, drags the crosshair from its box to a
stripe and releases there with the button the row names; consecutive rows
differ in color, so a stale value cannot pass. After each pick: the clipboard
read by xclip and by xsel while the program runs, the swatch in a screenshot,
and the crosshair back in its box. Picks with no press, by the command
(huevex --pick) and by the shortcut typed to the running program, end with a
click or Enter and leave the point uncovered while they run; the command's
code is read from its output and from the clipboard once it has ended, served
by the process it left behind (no clipboard manager runs). Esc ends either
with nothing copied. The colorboard must receive no button event from any
pick, though it does log a click of its own at the end.
"""

import os
import tempfile
import time

from harness import session
from harness.session import rgb

STRIPES = ["FF0000", "00FF00", "0000FF", "FFFFFF", "000000", "050AC8", "100F01", "808080"]
BOARD = (0, 0, 1280, 200)

# (stripe, button): dark and bright alternate, every button is used.
PICKS = [
    ("FF0000", 1),
    ("000000", 3),
    ("00FF00", 2),
    ("FFFFFF", 1),
    ("0000FF", 3),
    ("808080", 2),
    ("050AC8", 1),
    ("100F01", 3),
    ("FF0000", 2),
]

# Picks with no press, each ended its own way (a button's click or a key):
# by the command, or by the shortcut typed to the running program (keys).
# The last stripe lies at the screen's right edge: the windows go left of it.
ANYWHERE = [
    ("0000FF", 1, None),
    ("FFFFFF", "Return", None),
    ("808080", 3, None),
    ("100F01", "KP_Enter", None),
    ("050AC8", 2, "super+alt+c"),
    ("FF0000", "Return", "super+alt+c"),
]


def stripe_centre(color):
    width = BOARD[2] // len(STRIPES)
    return BOARD[0] + STRIPES.index(color) * width + width // 2, BOARD[1] + BOARD[3] // 2


def stripe_edge(s, left, right):
    """Where the stripe `right` begins on the screen, across, and the row
    through the stripes (a window manager's frame may move the board)."""
    y = stripe_centre(left)[1]
    shot = s.screenshot()
    return next(x for x in range(stripe_centre(left)[0], stripe_centre(right)[0])
                if shot.rgb(x, y) == rgb(right)), y


def test():
    args = session.arguments()
    checks = session.Checks()
    with tempfile.TemporaryDirectory(prefix="huevex-board-") as folder, \
            session.XvfbSession(args) as s:
        log = os.path.join(folder, "board.log")
        s.start_huevex()
        s.colorboard(*BOARD, STRIPES, log)
        checks.equal("crosshair in its box at start", s.client_pixel(s.CROSSHAIR), (0, 0, 0))

        for color, button in PICKS:
            what = f"pick #{color} with button {button}"
            checks.equal(f"{what}: clipboard cleared first", s.clear_clipboard(), "")
            held = {}
            s.pick(stripe_centre(color), button,
                   hold=lambda: held.update(box=s.client_pixel(s.CROSSHAIR)))
            checks.equal(f"{what}: crosshair gone from its box while held", held["box"], s.FACE)
            checks.equal(f"{what}: xclip", s.wait_clipboard("#" + color, "xclip"), "#" + color)
            checks.equal(f"{what}: xsel", s.clipboard("xsel"), "#" + color)
            shot = s.screenshot()
            checks.equal(f"{what}: swatch", shot.rgb(*s.screen_point(s.SWATCH)), rgb(color))
            checks.equal(f"{what}: crosshair back", shot.rgb(*s.screen_point(s.CROSSHAIR)),
                         (0, 0, 0))

        # Flicks, each onto a color unlike the one before, copy their own
        # color: never the previous pick's, nor the box's where they began.
        for color in ["FF0000", "000000", "FFFFFF", "000000"]:
            s.clear_clipboard()
            s.flick(stripe_centre(color))
            checks.equal(f"flick to #{color}: xclip", s.wait_clipboard("#" + color), "#" + color)

        for color, end, keys in ANYWHERE:
            what = f"pick #{color} from anywhere, {end}" + (f" after {keys}" if keys else "")
            s.clear_clipboard()
            target = stripe_centre(color)

            def look(window):
                checks.equal(f"{what}: the pointer", s.cursor_image(), session.CROSSHAIR_CURSOR)
                shot = s.screenshot()
                checks.equal(f"{what}: the point uncovered", shot.hex(*target), color)
                checks.equal(f"{what}: swatch", shot.hex(*s.screen_point(s.SWATCH, window)), color)
                left, top, right, bottom = s.outer_rect(window)
                checks.true(f"{what}: on the screen", left >= 0 and right <= 1280 and top >= 0)

            ended = s.pick_anywhere(target, end, look, keys)
            if not keys:
                checks.equal(f"{what}: status, output, errors", ended, (0, f"#{color}\n", ""))
                checks.soon(f"{what}: one process left serving the clipboard",
                            lambda: len(s.clipboard_servers()), 1)
                for pid in s.clipboard_servers():  # in a session of its own, holding no more
                    checks.equal(f"{what}: the server's session", os.getsid(pid), pid)
                    checks.equal(f"{what}: the server's descriptors",
                                 sorted(os.readlink(f"/proc/{pid}/fd/{fd}").split(":")[0]
                                        for fd in os.listdir(f"/proc/{pid}/fd")),
                                 ["/dev/null"] * 3 + ["socket"])
            checks.equal(f"{what}: xclip", s.wait_clipboard("#" + color), "#" + color)
            checks.equal(f"{what}: xsel", s.clipboard("xsel"), "#" + color)
        checks.soon("the running program took the clipboard from the server",
                    s.clipboard_servers, [])
        checks.equal("from anywhere, Esc: status, output, errors",
                     s.pick_anywhere(stripe_centre("0000FF"), "Escape"), (1, "", ""))
        s.pick_anywhere(stripe_centre("0000FF"), "Escape", keys="super+alt+c")
        checks.equal("from anywhere, Esc: the clipboard keeps what it held", s.clipboard(),
                     "#FF0000")

        # The arrow keys move the picked point and the pointer during a pick
        # (ten pixels with Shift), across the edge between two stripes.
        # (The board's place depends on the window manager's frame: the edge
        # is found on the screen.)
        edge, y = stripe_edge(s, "FF0000", "00FF00")
        s.clear_clipboard()

        def nudge_across(window=None):
            s.type_keys("shift+Right", "Left")
            checks.equal("keys: the pointer moved with the point", s.pointer(), (edge - 1, y))
            checks.equal("keys: swatch", s.client_pixel(s.SWATCH, window), rgb("FF0000"))
            s.type_keys("Right")

        s.pick((edge - 10, y), hold=nudge_across)
        checks.equal("keys: xclip", s.wait_clipboard("#00FF00"), "#00FF00")
        s.clear_clipboard()
        checks.equal("keys from anywhere: status, output, errors",
                     s.pick_anywhere((edge - 10, y), "Return", nudge_across), (0, "#00FF00\n", ""))
        checks.equal("keys from anywhere: xclip", s.wait_clipboard("#00FF00"), "#00FF00")
        # Esc backs out: nothing copied, the swatch back to the pick before.
        s.clear_clipboard()
        s.pick(stripe_centre("0000FF"), hold=lambda: s.type_keys("Escape"))
        time.sleep(0.1)
        checks.equal("Esc: nothing copied", s.clipboard(), "")
        checks.equal("Esc: swatch as before the pick", s.client_pixel(s.SWATCH), rgb("00FF00"))
        checks.equal("Esc: crosshair back", s.client_pixel(s.CROSSHAIR), (0, 0, 0))

        # A click on the crosshair without moving samples the box under it,
        # the crosshair itself having left it.
        s.clear_clipboard()
        s.pick(s.screen_point(s.CROSSHAIR), 1)
        checks.equal("click in place: the box's face", s.wait_clipboard("#F5F5F5"), "#F5F5F5")

        # Every requestor's way of asking gets the code; unknown targets are refused.
        for target in ["UTF8_STRING", "STRING", "TEXT", "text/plain;charset=utf-8"]:
            checks.equal(f"target {target}", s.clipboard("xclip", target), "#F5F5F5")
        listed = (s.clipboard("xclip", "TARGETS") or "").split()
        for target in ["TARGETS", "TIMESTAMP", "UTF8_STRING", "STRING", "TEXT"]:
            checks.true(f"TARGETS lists {target}", target in listed)
        checks.equal("an unknown target is refused", s.clipboard("xclip", "image/png"), None)

        # A change under a still pointer (the board moved away from under a
        # held pick) reaches the swatch, and is what the release copies.
        board = s.find_window("^colorboard$")
        point = stripe_centre("0000FF")
        s.clear_clipboard()

        def board_away():
            time.sleep(0.2)  # at rest: nothing to read until the board goes
            s.xdotool("windowmove", board, BOARD[0], 500)
            s.wait_for(lambda: s.pixel(*point) != "0000FF", "the board to go")
            time.sleep(0.1)

        s.pick(point, hold=board_away)
        behind = s.pixel(*point)
        checks.equal("a change under a still pointer: xclip", s.wait_clipboard("#" + behind),
                     "#" + behind)
        s.xdotool("windowmove", board, BOARD[0], BOARD[1])
        s.wait_for(lambda: s.pixel(*point) == "0000FF", "the board back")

        with open(log) as f:
            checks.equal("the colorboard saw no button event from the picks", f.read(), "")
        # The log does record clicks that are its own.
        s.xdotool("mousemove", 40, 40)
        s.xdotool("click", 1)
        s.wait_for(lambda: open(log).read().count("\n") >= 2, "the colorboard to log a click")
        with open(log) as f:
            checks.equal("the colorboard's own click", [line.split()[:2] for line in f],
                         [["press", "1"], ["release", "1"]])
        checks.equal("still running", s.huevex.poll(), None)
        if checks.failed:
            s.save_screenshot(f"huevex-pick-{args.wm}.png")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
