"""The capture module's compositor capture inside a running sway session.

Run as the session's user with WAYLAND_DISPLAY, DISPLAY (Xwayland) and
SWAYSOCK set; it changes the first output's scale and transform and puts
them back, and adds a headless output that stays (sway 1.7 cannot remove
one). An X window of four colored stripes
(the colorboard) is placed by sway at a known place of the X root, and the
probe, loading the module as the program does, must read each stripe there
at every scale and transform, and keep reading while the output is rescaled
under a capture and another output is plugged in. With --portal it also
reads through the desktop portal (xdg-desktop-portal-wlr, which needs
PipeWire running), whose snapshot file must be gone afterwards.

  screencopy_check.py --probe P --module M --colorboard C [--portal]
"""

import argparse
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from harness import session  # noqa: E402  Checks

parser = argparse.ArgumentParser()
parser.add_argument("--probe", required=True)
parser.add_argument("--module", required=True)
parser.add_argument("--colorboard", required=True)
parser.add_argument("--portal", action="store_true")
args = parser.parse_args()

STRIPES = ["FF0000", "00FF00", "0000FF", "FFFF00"]
STRIPE = 50  # pixels wide: the board fits an 800 x 600 output turned at scale 2
BACKGROUND_Y = 49  # the row above the board
checks = session.Checks()
check = checks.equal


def sway(*command):
    return json.loads(subprocess.run(["swaymsg", "-r", *command], capture_output=True,
                                     text=True, check=True).stdout)


def probe(*steps, background=False):
    command = [args.probe, args.module, *steps]
    if background:
        return subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
    return subprocess.run(command, capture_output=True, text=True, timeout=60).stdout.splitlines()


def pixels(lines):
    return [line.split()[3] for line in lines if line.startswith("pixel")]


def place_board():
    sway('[title="colorboard"] move absolute position 0 50')
    time.sleep(0.4)


output = sway("-t", "get_outputs")[0]["name"]
sway('for_window [title="colorboard"] floating enable')
sway('default_border none')
sway('default_floating_border none')
board = subprocess.Popen([args.colorboard, "0", "50", str(4 * STRIPE), "100", ",".join(STRIPES),
                          os.devnull], stdout=subprocess.PIPE, text=True)
try:
    if board.stdout.readline().strip() != "ready":
        raise SystemExit("the colorboard did not start")
    background = None

    # Every scale and transform: each stripe where X puts it, the first and
    # last pixel of each at whole scales, the middle at a fractional one.
    for scale in ["1", "2", "1.5"]:
        for transform in ["normal", "90", "180", "270", "flipped", "flipped-90", "flipped-180",
                          "flipped-270"]:
            sway(f"output {output} scale {scale} transform {transform}")
            place_board()
            whole = scale != "1.5"
            xs = [x for i in range(4)
                  for x in ((i * STRIPE, i * STRIPE + STRIPE - 1) if whole else (i * STRIPE + 25,))]
            steps = ["open", "screencopy", "want", "1", "wait", "live", "3000"]
            for x in xs:
                steps += ["read", str(x), "50" if whole else "100"]
            steps += ["read", "0", str(BACKGROUND_Y)]
            got = pixels(probe(*steps))
            want = [STRIPES[x // STRIPE] for x in xs]
            check(f"scale {scale} transform {transform}", got[:-1], want)
            background = background or got[-1:]
            check(f"scale {scale} transform {transform}: above the board", got[-1:], background)

    # Rescaled while a capture runs: still live, and reads find the board.
    sway(f"output {output} scale 1 transform normal")
    place_board()
    running = probe("open", "screencopy", "want", "1", "wait", "live", "3000", "pump", "1500",
                    "state", "read", "75", "100", "pump", "1500", "state", "read", "75", "100",
                    background=True)
    time.sleep(0.7)
    sway(f"output {output} scale 2")
    place_board()
    time.sleep(1.4)
    sway(f"output {output} scale 1")
    place_board()
    lines = running.communicate(timeout=30)[0].splitlines()
    check("rescaled under a capture", [line for line in lines if line.startswith(("state", "pixel"))],
          ["state live ", "state live ", "pixel 75 100 00FF00 current", "state live ",
           "pixel 75 100 00FF00 current"])

    # An output plugged in while a capture runs is captured too.
    width = sway("-t", "get_outputs")[0]["rect"]["width"]
    running = probe("open", "screencopy", "want", "1", "wait", "live", "3000", "pump", "2000",
                    "read", str(width + 10), "10", "read", "10", "10", background=True)
    time.sleep(0.5)
    before = {o["name"] for o in sway("-t", "get_outputs")}
    sway("create_output")
    added = ({o["name"] for o in sway("-t", "get_outputs")} - before).pop()
    sway(f"output {added} mode 320x240 position {width} 0 bg #AA5500 solid_color")
    lines = running.communicate(timeout=30)[0].splitlines()
    check("a plugged output", pixels(lines), ["AA5500", background[0]])

    if args.portal:
        lines = probe("--timeout", "15000", "open", "portal", "want", "1", "wait", "live",
                      "15000", "read", "75", "100")
        check("through the portal", pixels(lines), ["00FF00"])
        check("the portal's file is gone", os.path.exists("/tmp/out.png"), False)
finally:
    board.terminate()
    board.wait(timeout=10)
    sway(f"output {output} scale 1 transform normal")

sys.exit(checks.finish())
