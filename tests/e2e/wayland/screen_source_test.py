#!/usr/bin/env python3
"""The program on Xwayland in a headless sway, reading the screen through one
source (--source screencopy or portal, forced with HUEVEX_SCREEN).

The background is a picture swaybg draws, a native Wayland surface: the X11
pick test's stripes across the top, the magnifier test's narrow stripes on a
board below. Each case runs in a session of its own:
- picks: each stripe picked with the button the X11 pick table names (the
  clipboard cleared first and read while the program runs), then the swatch
  and the three codes in a screenshot, the codes pixel for pixel as the
  simulated desktop paints them for the same pick;
- magnifier: it opens right below the main window, left edges aligned,
  covering none of its client area (under the frame where the compositor
  tells it, else under the client area); resting on the narrow stripes, its
  box equals the simulated desktop's (the cursor's square, the grid's checker
  dots, the marker);
- quick picks: flicks released a few milliseconds after the press, each onto
  a color unlike the previous one, copy their own color;
- keys: the arrow keys move the picked point across a stripe's edge as an
  offset from the pointer, and Esc backs out of a pick;
- help panel: it opens right below the main window too;
- the compositor's pointer: a pick driven by a mouse inside the compositor
  (xdotool moves only Xwayland's pointer, which sway neither moves nor
  draws), with the magnifier open: sway draws the crosshair into every frame
  in software, yet the magnifier's box during the pick equals the simulated
  desktop's and the pick copies the color under the crosshair;
- the command: `huevex --pick` over a stripe of the background, with the
  compositor's pointer and keys (user_session.py's pick_command);
and in every case the program's stderr stays quiet: a line or two at most,
never one per tick. Checks marked "(needs the capture)" cannot pass before
the program reads the screen through the compositor.
"""

import os
import subprocess
import time

import sway_session
import virtual_pointer
import magnifier_test as zoom  # the X11 tests' boards and the box's checks
import pick_test
from harness import session

QUIET = 2  # stderr lines a whole case may write
NEEDS = "(needs the capture)"
BACKDROP = bytes.fromhex("336699")
ZOOM_BOARD = (40, 300, 120, 140, zoom.stripes(120, 7), [(60, 70), (6, 3), (112, 135)])
TABLE = (81, 17, 71, 47)  # the three code rows in the main window's client area
QUESTION = (150, 85)  # the help panel's button


def stripe_rows(board, width):
    """One row of a board's stripes, laid out as the colorboard lays them."""
    x, _, board_width, _, colors = board[:5]
    stripe = board_width // len(colors)
    row = bytearray(BACKDROP * width)
    for i, color in enumerate(colors):
        left = x + i * stripe
        right = x + board_width if i + 1 == len(colors) else left + stripe
        row[left * 3:right * 3] = bytes.fromhex(color) * (right - left)
    return bytes(row)


def background():
    width, height = sway_session.SIZE
    picks = stripe_rows((*pick_test.BOARD, pick_test.STRIPES), width)
    narrow = stripe_rows(ZOOM_BOARD, width)
    rows = []
    for y in range(height):
        if pick_test.BOARD[1] <= y < pick_test.BOARD[1] + pick_test.BOARD[3]:
            rows.append(picks)
        elif ZOOM_BOARD[1] <= y < ZOOM_BOARD[1] + ZOOM_BOARD[3]:
            rows.append(narrow)
        else:
            rows.append(BACKDROP * width)
    return rows


def sim_pick(args, target, workdir):
    """The main window's client area after the same pick on the simulated desktop."""
    out = os.path.join(workdir, f"main-{target[0]}-{target[1]}.ppm")
    board = [str(v) for v in pick_test.BOARD]
    subprocess.run([args.sim_frame, "main", *board, ",".join(pick_test.STRIPES),
                         str(target[0]), str(target[1]), out], check=True, timeout=30)
    return session.read_ppm(out)


def picks(s, checks):
    x, y, width, height = TABLE
    for color, button in pick_test.PICKS:
        what = f"pick #{color} with button {button}"
        checks.equal(f"{what}: clipboard cleared first", s.clear_clipboard(), "")
        target = pick_test.stripe_centre(color)
        s.pick(target, button)
        checks.equal(f"{what}: xclip {NEEDS}", s.wait_clipboard("#" + color), "#" + color)
        shot = s.screenshot()
        checks.equal(f"{what}: swatch {NEEDS}", shot.rgb(*s.screen_point(s.SWATCH)),
                     session.rgb(color))
        checks.equal(f"{what}: crosshair back", shot.rgb(*s.screen_point(s.CROSSHAIR)),
                     (0, 0, 0))
        codes = shot.block(*s.screen_point((x, y)), width, height)
        expected = [row[x:x + width] for row in sim_pick(s.args, target, s.rundir)[y:y + height]]
        wrong = zoom.differences(codes, expected)
        checks.equal(f"{what}: code pixels unlike the simulated desktop's ({len(wrong)}) {NEEDS}",
                     wrong[:4], [])


def quick_picks(s, checks):
    """Flicks released a few milliseconds after the press, each onto a color
    unlike the one before: the release waits for its own pick's frame, and
    never copies the previous pick's code."""
    for color in ["FF0000", "000000", "00FF00", "FFFFFF", "0000FF", "000000"]:
        checks.equal(f"flick to #{color}: clipboard cleared first", s.clear_clipboard(), "")
        s.flick(pick_test.stripe_centre(color))
        checks.equal(f"flick to #{color}: xclip {NEEDS}", s.wait_clipboard("#" + color),
                     "#" + color)


def keys(s, checks):
    """The arrow keys during a pick move the point across a stripe's edge.
    Xwayland's warps move only its own idea of the pointer, so the nudge is
    an offset from the pointer instead: the pointer stays where it was."""
    edge, y = pick_test.stripe_edge(s, "FF0000", "00FF00")
    checks.equal("keys: clipboard cleared first", s.clear_clipboard(), "")

    def nudge_across():
        s.type_keys("shift+Right", "Left")
        checks.equal("keys: the pointer stays", s.pointer(), (edge - 10, y))
        checks.equal(f"keys: swatch short of the edge {NEEDS}", s.client_pixel(s.SWATCH),
                     session.rgb("FF0000"))
        s.type_keys("Right")

    s.pick((edge - 10, y), hold=nudge_across)
    checks.equal(f"keys: xclip {NEEDS}", s.wait_clipboard("#00FF00"), "#00FF00")
    checks.equal("Esc: clipboard cleared first", s.clear_clipboard(), "")
    s.pick(pick_test.stripe_centre("0000FF"), hold=lambda: s.type_keys("Escape"))
    time.sleep(0.1)
    checks.equal("Esc: nothing copied", s.clipboard(), "")
    checks.equal(f"Esc: swatch as before the pick {NEEDS}", s.client_pixel(s.SWATCH),
                 session.rgb("00FF00"))


def below_main_window(s, checks, name, window):
    """Flush under the main window's outer frame where the compositor tells X
    clients what frame it draws (_NET_FRAME_EXTENTS), else under the client
    area: sway tells none, so its title bar and border cannot be known, and
    the panel may lie over the border's bottom edge but never over a control."""
    left, _, _, bottom = s.known_outer_rect()
    x, y, width, height = s.client_rect()
    panel = s.client_rect(window)
    checks.equal(f"{name}: right below the main window, left edges aligned", panel[:2],
                 (left, bottom))
    covers = (panel[0] < x + width and x < panel[0] + panel[2] and panel[1] < y + height
              and y < panel[1] + panel[3])
    checks.true(f"{name}: covers none of the main window's client area", not covers)
    # It takes no focus: the compositor leaves the keyboard with the main window.
    checks.true(f"{name}: the main window keeps the focus",
                "_NET_WM_STATE_FOCUSED" in s.output(["xprop", "-id", s.main_window,
                                                     "_NET_WM_STATE"]))


def magnifier(s, checks):
    s.toggle_magnifier(expect_shown=True)
    below_main_window(s, checks, "magnifier", s.magnifier())
    for offset in ZOOM_BOARD[5]:
        cursor = (ZOOM_BOARD[0] + offset[0], ZOOM_BOARD[1] + offset[1])
        s.xdotool("mousemove", *cursor)
        time.sleep(zoom.REST)
        zoom.check_box(checks, f"magnifier at {cursor} {NEEDS}", zoom.zoom_box(s), ZOOM_BOARD,
                       cursor, zoom.sim_frame(s.args, ZOOM_BOARD, cursor, s.rundir))


def help_panel(s, checks):
    s.click_client(QUESTION)
    panel = s.wait_for(lambda: s.find_window(s.HELP_TITLE), "the help panel")
    s.wait_for(lambda: s.viewable(panel), "the help panel to be shown")
    below_main_window(s, checks, "help panel", panel)


def pointer_drawn(s, checks):
    mouse = virtual_pointer.for_session(s)
    try:
        mouse.move(*s.screen_point(s.MAGNIFIER_BAR))
        time.sleep(0.05)
        mouse.press()
        time.sleep(0.03)
        mouse.release()
        s.wait_for(s.magnifier_shown, "the magnifier to be shown")
        checks.equal("compositor's pointer: clipboard cleared first", s.clear_clipboard(), "")
        start = s.screen_point(s.CROSSHAIR)
        target = (ZOOM_BOARD[0] + 60, ZOOM_BOARD[1] + 70)
        mouse.move(*start)
        time.sleep(0.05)
        mouse.press()
        time.sleep(0.05)
        for i in range(1, 7):
            mouse.move(start[0] + (target[0] - start[0]) * i // 6,
                       start[1] + (target[1] - start[1]) * i // 6)
            time.sleep(0.015)
        time.sleep(zoom.REST)
        # Where the program has the pointer (Xwayland's place for it, which
        # need not be the compositor's to the pixel).
        where = s.output(["xdotool", "getmouselocation", "--shell"])
        values = dict(line.split("=") for line in where.split())
        cursor = (int(values["X"]), int(values["Y"]))
        shot = s.screenshot()
        drawn = [(x, y) for x in range(target[0] - 16, target[0] + 17)
                 for y in range(target[1] - 16, target[1] + 17) if shot.rgb(x, y) == (0, 0, 0)]
        checks.true("compositor's pointer: the crosshair is in the compositor's picture", drawn)
        zoom.check_box(checks, f"compositor's pointer: magnifier during the pick at {cursor}",
                       zoom.zoom_box(s), ZOOM_BOARD, cursor,
                       zoom.sim_frame(s.args, ZOOM_BOARD, cursor, s.rundir))
        mouse.release()
        color = session.hex_color(zoom.board_pixel(ZOOM_BOARD, cursor))
        checks.equal("compositor's pointer: xclip", s.wait_clipboard("#" + color), "#" + color)
    finally:
        mouse.close()


def command_pick(s, checks):
    s.stop_huevex()
    s.pick_command(checks, (300, 700), pick_test.stripe_centre("050AC8"), "050AC8",
                   {"HUEVEX_SCREEN": s.args.source})


CASES = [picks, quick_picks, keys, magnifier, help_panel, pointer_drawn, command_pick]


def start_and_run(s, checks, case):
    if s.args.source == "portal":
        # The session's part: without it the program cannot pass.
        checks.true("the portal takes a screenshot", s.portal_answers())
    s.start_huevex({"HUEVEX_SCREEN": s.args.source})
    case(s, checks)


def test():
    def more(parser):
        parser.add_argument("--source", choices=["screencopy", "portal"], required=True)
        parser.add_argument("--sim-frame", required=True)

    args = session.arguments(more)
    checks = session.Checks()
    for case in CASES:
        with sway_session.SwaySession(args, background(), portal=args.source == "portal") as s:
            checks.run(case.__name__, start_and_run, s, checks, case)
            if s.huevex:
                lines = s.stderr().splitlines()
                checks.equal(f"{case.__name__}: stderr beyond {QUIET} lines {NEEDS}",
                             lines[QUIET:QUIET + 3], [])
                checks.equal(f"{case.__name__}: still running", s.huevex.poll(), None)
            if checks.failed:
                s.save_screenshot(f"huevex-wayland-{args.source}-{case.__name__}.png")
    return checks.finish()


if __name__ == "__main__":
    sway_session.SwaySession.main(test)
