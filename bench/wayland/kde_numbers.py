#!/usr/bin/env python3
"""The program's numbers in a KWin session (tests/e2e/wayland/kde_session.py),
run as root from a build tree:

    bench/wayland/kde_numbers.py BUILD_DIR [--picks N]

- press to first usable frame: a pick presses on the crosshair and moves onto
  a stripe unlike the swatch; the swatch (read from the main window) takes
  the stripe's color once a frame of the pick is there. Each pick waits for
  the last one's capture to end, so each asks the portal anew. Beside it,
  the portal's own time, from its call to its answer on the session bus;
- under `auto`: the ScreenCast's Start to its answer (with the dialog
  answered, and with the restore token a second run has), and the press to
  first frame of the run's first pick once the Screenshot has taken over;
- the program's CPU (% of a core) while a pick moves over the board (a step
  every 20 ms), while it is held still, and with the magnifier open at rest;
- `huevex --pick`, start to the screen covered (the crosshair following the
  pointer everywhere from then), with the Screenshot forced and under `auto`
  with the token stored (compare.command_cover_ms; needs a build with
  -DHUEVEX_BENCH=ON for huevex_mapwatch).
"""

import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, ".."), os.path.join(HERE, "..", "..", "tests", "e2e", "wayland")]
import compare  # noqa: E402  the CPU clock of a process
import kde_session  # noqa: E402
import pick_test  # noqa: E402

STRETCH = 5.0  # seconds of each CPU measure


def first_frame(s, board, color):
    """Seconds from the press to the swatch showing `color`; the pick is released after."""
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    time.sleep(0.05)
    target = board.stripe_x(pick_test.STRIPES.index(color)), board.middle_y()
    pressed = time.monotonic()
    s.xdotool("mousedown", 1)
    time.sleep(0.02)
    s.xdotool("mousemove", *target)
    s.wait_for(lambda: s.client_pixel(s.SWATCH) == pick_test.rgb(color), "the pick's frame", 10,
               step=0.005)
    took = time.monotonic() - pressed
    s.xdotool("mouseup", 1)
    time.sleep(1.5)  # the capture ends
    return took


def answers(s, call):
    """Seconds from each call of `call` to its request's Response, from dbus-monitor."""
    times, waiting = [], None
    with open(s.monitor_log) as f:
        for line in f:
            stamp = line.split("time=", 1)[1].split()[0] if "time=" in line else None
            if line.startswith("method call") and f"member={call.split('.')[1]}" in line:
                waiting = float(stamp)
            elif "member=Response" in line and waiting is not None:
                times.append(float(stamp) - waiting)
                waiting = None
    return times


def cpu(pid, during):
    start, began = compare.cpu_ns(pid), time.monotonic_ns()
    during()
    return 100 * (compare.cpu_ns(pid) - start) / (time.monotonic_ns() - began)


def cpu_numbers(s, board):
    pid = s.huevex_pids()[0]
    left, right = board.stripe_x(0), board.stripe_x(len(pick_test.STRIPES) - 1)
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    s.xdotool("mousedown", 1)
    steps = int(STRETCH / 0.02)

    def moving():
        for i in range(steps):
            s.xdotool("mousemove", left + (right - left) * i // steps, board.middle_y())
            time.sleep(0.02)

    picking = cpu(pid, moving)
    held = cpu(pid, lambda: time.sleep(STRETCH))
    s.xdotool("mouseup", 1)
    s.toggle_magnifier(expect_shown=True)
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    time.sleep(2.0)
    resting = cpu(pid, lambda: time.sleep(STRETCH))
    s.toggle_magnifier(expect_shown=False)
    print(f"CPU: picking, moving {picking:.2f} %, held {held:.2f} %; "
          f"magnifier open at rest {resting:.2f} %", flush=True)


def spread(values):
    ms = sorted(v * 1000 for v in values)
    return f"median {statistics.median(ms):.0f} ms ({ms[0]:.0f}–{ms[-1]:.0f}, {len(ms)} picks)"


def command_covers(s, build, source, runs=3):
    s.stop_huevex()
    mapwatch = os.path.join(build, "bench", "huevex_mapwatch")
    env = {"HUEVEX_SCREEN": source} if source != "auto" else {}
    took = [compare.command_cover_ms(s, mapwatch, env) / 1000 for _ in range(runs)]
    print(f"{source}: --pick, start to the screen covered {spread(took)}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--picks", type=int, default=10)
    options = parser.parse_args()
    args = argparse.Namespace(huevex=os.path.join(options.build, "huevex"),
                              colorboard=os.path.join(options.build, "tests", "e2e",
                                                      "huevex_colorboard"),
                              artifacts=os.path.join(options.build, "kde-bench"))
    os.makedirs(args.artifacts, exist_ok=True)
    colors = [color for color, _ in pick_test.PICKS[:-1]]  # each unlike the one before, in a ring

    with kde_session.KWinSession(args) as s:
        board = s.board(*pick_test.BOARD, pick_test.STRIPES, os.path.join(s.rundir, "board.log"))
        s.watch_portal()
        s.start_huevex({"HUEVEX_SCREEN": "portal"})
        took = [first_frame(s, board, colors[i % len(colors)]) for i in range(options.picks)]
        print(f"Screenshot: press to first usable frame {spread(took)}", flush=True)
        print(f"Screenshot: the portal's answer {spread(answers(s, 'Screenshot.Screenshot'))}",
              flush=True)
        cpu_numbers(s, board)
        command_covers(s, options.build, "portal")

    with kde_session.KWinSession(args) as s:
        board = s.board(*pick_test.BOARD, pick_test.STRIPES, os.path.join(s.rundir, "board.log"))
        s.watch_portal()
        # The first run: the magnifier asks, the dialog is answered, the token kept.
        s.start_huevex()
        s.toggle_magnifier(expect_shown=True)
        if not s.answer_screencast_dialog():
            raise kde_session.session.Failure("no ScreenCast dialog")
        time.sleep(4.0)
        s.toggle_magnifier(expect_shown=False)
        s.stop_huevex()
        # The second: no dialog; the first pick waits for the stream's frame,
        # then for the Screenshot, which serves the picks after it.
        s.start_huevex()
        took = [first_frame(s, board, colors[i % len(colors)]) for i in range(4)]
        print(f"auto, with the token: press to first usable frame, first pick of the run "
              f"{took[0] * 1000:.0f} ms, then {spread(took[1:])}", flush=True)
        starts = answers(s, "ScreenCast.Start")
        print(f"auto: ScreenCast Start to its answer: with the dialog {starts[0] * 1000:.0f} ms "
              f"(the test's clicks), with the token {starts[1] * 1000:.0f} ms", flush=True)
        command_covers(s, options.build, "auto")

if __name__ == "__main__":
    main()
