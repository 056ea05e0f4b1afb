#!/usr/bin/env python3
"""The screen cast on GNOME Shell, measured in the test's headless session
(tests/e2e/wayland/gnome_session.py: gnome-shell 43 with a virtual
1280 x 1024 monitor, llvmpipe, PipeWire and wireplumber).

- Press to first usable frame: huevex_capture_probe, as the session's user,
  opens the screen cast, turns capturing on ("want 1", what a pick's press
  does) and waits for the state to be LIVE (a frame is there to read). The
  time is from the "open" line to the "live" line on the probe's stdout
  (line-buffered). Without a stored token the portal asks first: the time
  then holds the dialog (answered through Mutter's pointer as soon as it
  shows), so the time from the click on Share is taken too. With the token, a new probe
  each run: a fresh session started from the token. Warm: in one probe,
  capturing turned off for a second and on again (the session lingers).
- Frame age: the probe reads one pixel a millisecond, as a pick's ticks do,
  while an X window changes color every 4 ms (mutter sends a frame each
  refresh): the age of the frame each read saw, median and largest; and the
  frames the stream sends a second then and, the window gone, with nothing
  on the screen changing.
- CPU of the program (its process CPU clock, % of one core) at rest after
  start-up, while a pick is held and the pointer moves over the colorboard
  (xdotool, a step every 20 ms), held still, with the magnifier open at
  rest, and 6 s after the magnifier was closed; gnome-shell's meanwhile.
- `huevex --pick`, start to the screen covered (the crosshair following the
  pointer everywhere from then), through the screen cast with the token and
  through the Screenshot portal (compare.command_cover_ms), twice a run each.

    bench/wayland/gnome_bench.py --build BUILD [--runs N] [--artifacts DIR]

Nothing passes or fails; it prints what it measured.
"""

import argparse
import os
import select
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path[:0] = [os.path.join(ROOT, "bench"), os.path.join(ROOT, "tests", "e2e", "wayland")]
import compare  # noqa: E402  CpuMeter, session_pid
import gnome_session  # noqa: E402

BOARD = (160, 160, 960, 160)
STRIPES = ["FF0000", "00FF00", "0000FF", "FFFFFF", "000000", "050AC8", "100F01", "808080"]
SECONDS = 5.0


class Probe:
    """huevex_capture_probe as the session's user, each line timed as it comes."""

    def __init__(self, s, steps):
        folder = s.rundir
        for name in ("huevex_capture_probe", gnome_session.user_session.MODULE):
            source = os.path.join(s.args.build, "tests", "e2e", name) if "probe" in name else \
                os.path.join(s.args.build, name)
            shutil.copy(source, os.path.join(folder, name))
            os.chown(os.path.join(folder, name), s.uid, s.gid)
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            s.user_command(["stdbuf", "-oL", os.path.join(folder, "huevex_capture_probe"),
                            os.path.join(folder, gnome_session.user_session.MODULE), *steps]),
            stdout=subprocess.PIPE, text=True)

    def line(self, timeout=30):
        """The next line and when it came (monotonic), or (None, None)."""
        if not select.select([self.process.stdout], [], [], timeout)[0]:
            return None, None
        text = self.process.stdout.readline()
        return (text.strip(), time.monotonic()) if text else (None, None)

    def until(self, prefix, timeout=30):
        while True:
            text, at = self.line(timeout)
            if text is None or text.startswith(prefix):
                return text, at

    def close(self):
        try:
            self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def first_frame(s, answer):
    """Milliseconds from the probe's open to LIVE (and to the dialog's answer)."""
    probe = Probe(s, ["open", "screencast", "root", "1280", "1024", "want", "1", "wait", "live",
                      "60000", "close"])
    opened, t0 = probe.until("open")
    answered = None
    if answer:
        s.wait_for(lambda: s.question_shown("screencast"), "the Screen Share dialog", 20, 0.1)
        row, share = gnome_session.QUESTIONS["screencast"]["allow"]
        s.hands().do("click", *row)
        time.sleep(0.3)
        answered = time.monotonic()
        s.hands().do("click", *share)
    state, t1 = probe.until("state")
    probe.close()
    if not (opened and opened.startswith("open") and state and "live" in state):
        raise gnome_session.Failure(f"the probe said {opened!r}, {state!r}")
    return (t1 - t0) * 1000, (t1 - answered) * 1000 if answered else None


def warm_frame(s):
    """Milliseconds from "want 1" to LIVE a second after capturing was turned
    off (the session kept warm), and the state at rest before it."""
    probe = Probe(s, ["open", "screencast", "root", "1280", "1024", "want", "1", "wait", "live",
                      "10000", "pump", "300", "want", "0", "pump", "1000", "state", "want", "1",
                      "wait", "live", "10000", "close"])
    probe.until("state")  # the first frame
    rest, t0 = probe.until("state")
    state, t1 = probe.until("state")
    probe.close()
    if not (state and "live" in state):
        return None, rest
    return (t1 - t0) * 1000, rest


def frame_age(s):
    """The frame's age at each read, median and largest (ms), and the frames
    the stream sent a second meanwhile and then with nothing changing."""
    flicker = s.spawn([os.path.join(s.args.build, "bench", "huevex_flicker"), "0", "40", "64",
                       "64", "4"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    live = ["open", "screencast", "root", "1280", "1024", "want", "1", "wait", "live", "10000",
            "pump", "500"]
    probe = Probe(s, live + ["age", "3000", "frames", "3000", "close"])
    text, _ = probe.until("age", 60)
    changing, _ = probe.until("frames", 60)
    probe.close()
    flicker.terminate()
    flicker.wait(5)
    time.sleep(0.5)
    probe = Probe(s, live + ["frames", "3000", "close"])
    still, _ = probe.until("frames", 60)
    probe.close()
    words = (text or "").split()
    rates = [int(line.split()[1]) / 3 if line else None for line in (changing, still)]
    ages = (int(words[2]) / 1000, int(words[3]) / 1000) if len(words) == 4 else (None, None)
    return (*ages, *rates)


def program_cpu(s):
    s.start_huevex({"HUEVEX_SCREEN": "screencast"})
    s.board(*BOARD, STRIPES, os.path.join(s.rundir, "board.log"))
    pids = {"program": compare.session_pid(s, "huevex"),
            "shell": compare.session_pid(s, "gnome-shell")}
    y = BOARD[1] + 37 + BOARD[3] // 2  # mutter's title bar above the asked place
    time.sleep(1.0)
    meter = compare.CpuMeter(pids)
    time.sleep(SECONDS)
    idle = meter.stop()
    s.xdotool("mousemove", *s.screen_point(s.CROSSHAIR))
    time.sleep(0.1)
    s.xdotool("mousedown", 1)
    time.sleep(1.0)  # the session's first frame (the token is there)
    steps, x = [], BOARD[0] + 40
    for _ in range(int(SECONDS / 0.02)):
        steps += ["mousemove", str(x), str(y), "sleep", "0.02"]
        x = BOARD[0] + 40 + (x + 37) % (BOARD[2] - 80)
    meter = compare.CpuMeter(pids)
    s.run(["xdotool", *steps], timeout=SECONDS * 3 + 30)
    moving = meter.stop()
    meter = compare.CpuMeter(pids)
    time.sleep(SECONDS)
    held = meter.stop()
    s.xdotool("mouseup", 1)
    s.toggle_magnifier(expect_shown=True)
    s.xdotool("mousemove", BOARD[0] + 100, y)
    time.sleep(1.0)
    meter = compare.CpuMeter(pids)
    time.sleep(SECONDS)
    rest = meter.stop()
    s.toggle_magnifier(expect_shown=False)
    time.sleep(6.0)  # past the linger and the warm session
    meter = compare.CpuMeter(pids)
    time.sleep(SECONDS)
    closed = meter.stop()
    s.stop_huevex()
    return {"idle": idle, "moving": moving, "held": held, "magnifier": rest,
            "magnifier closed": closed}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--artifacts", default=os.environ.get("TMPDIR", "/tmp"))
    args = parser.parse_args()
    args.huevex = os.path.join(args.build, "huevex")
    args.colorboard = os.path.join(args.build, "tests", "e2e", "huevex_colorboard")
    args.wm = "gnome"
    reason = gnome_session.GnomeSession.missing()
    if reason:
        print(f"SKIP: {reason}")
        return 0
    cold, with_token, warm, ages, cpu = [], [], [], [], []
    covers = {"screencast": [], "portal": []}
    mapwatch = os.path.join(args.build, "bench", "huevex_mapwatch")
    for run in range(args.runs):
        with gnome_session.GnomeSession(args) as s:
            total, after_answer = first_frame(s, answer=True)
            cold.append((total, after_answer))
            for _ in range(3):
                with_token.append(first_frame(s, answer=False)[0])
            warm.append(warm_frame(s)[0])
            ages.append(frame_age(s))
            cpu.append(program_cpu(s))
            for source, times in covers.items():
                times += [compare.command_cover_ms(s, mapwatch, {"HUEVEX_SCREEN": source})
                          for _ in range(2)]
        print(f"run {run + 1}: no token {cold[-1][0]:.0f} ms ({cold[-1][1]:.0f} after Share), "
              f"token {[round(v) for v in with_token[-3:]]}, warm {warm[-1]}, age {ages[-1]}, "
              f"cpu {cpu[-1]}, --pick covered {covers}", flush=True)

    def median(values):
        values = [v for v in values if v is not None]
        return statistics.median(values) if values else float("nan")

    print(f"\n{args.runs} sessions")
    print(f"press to first frame, no token: {median([c[0] for c in cold]):.0f} ms "
          f"(from the Share click {median([c[1] for c in cold]):.0f} ms)")
    print(f"press to first frame, token: median {median(with_token):.0f} ms, "
          f"range {min(with_token):.0f} to {max(with_token):.0f} ms ({len(with_token)})")
    print(f"press to first frame, kept warm: median {median(warm):.1f} ms")
    print(f"frame age: median {median([a[0] for a in ages]):.1f} ms, largest "
          f"{max(a[1] for a in ages if a[1] is not None):.1f} ms")
    print(f"frames a second: a window changing every 4 ms {median([a[2] for a in ages]):.1f}, "
          f"nothing changing {median([a[3] for a in ages]):.1f}")
    for source, times in covers.items():
        print(f"--pick, start to the screen covered, {source}: median {median(times):.0f} ms, "
              f"range {min(times):.0f} to {max(times):.0f} ms ({len(times)})")
    for what in ("idle", "moving", "held", "magnifier", "magnifier closed"):
        print(f"CPU {what}: program {median([c[what]['program'] for c in cpu]):.2f} %, "
              f"gnome-shell {median([c[what]['shell'] for c in cpu]):.1f} %")
    return 0


if __name__ == "__main__":
    sys.exit(main())
