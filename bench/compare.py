#!/usr/bin/env python3
"""HUEVEX side by side with the Linux color pickers, and HUEVEX.exe under
Wine against a floor program of our own, all on one private Xvfb.

    bench/compare.py [--runs N] [--idle SECONDS] [--pick SECONDS] [--no-wine]
                     [--baseline OLD_BUILD/huevex]

Installs what is missing (Xvfb, xdotool, the peers xmag, gpick, gcolor3 and
grabc, Wine and the mingw-w64 compiler; apt-get, through sudo when not root),
builds what it runs (build-bench natively, build-win across), then measures
each program over several runs and prints one Markdown table per desktop:
median, minimum and maximum, and HUEVEX's ratio to each peer (its median
over the peer's). Every program is measured in the same run on the same
server, so that the machine's other load falls on all of them alike.
--baseline adds an older build of the Linux program as one more peer, so
that a change shows before and after in one run (its frame and tick too,
when its build tree has the benchmarks).

Linux, one run (the programs start in a rotated order each run):
- start-up: huevex_mapwatch starts the program and reports when the server
  maps its first top-level window (clock from exec to MapNotify);
- resident memory (VmRSS) 1.5 s after the map;
- CPU and wake-ups over an idle stretch, all programs at once, the pointer
  at rest;
- resident memory after HUEVEX has made three quick picks;
- CPU while picking, the pointer moving over a color board (a step every
  20 ms) and then held still over one color: HUEVEX with a press on its
  crosshair dragged onto the board; gpick's floating picker, from its
  "Pick color" button; the X server's CPU over the same stretch beside it,
  and the two added up; the program's wake-ups meanwhile;
- the delay from a change on the screen under a still pointer, and from a
  move onto another color, to HUEVEX's swatch showing it
  (bench/x11/swatch_delay.cpp, watching the swatch through XDamage);
- CPU at rest with a magnified view shown: HUEVEX's magnifier beside
  xmag's window;
- resident memory again at the end of the run;
- picks with no press: from the start of `huevex --pick` (and of gpick's
  and grabc's one-color picks) to the crosshair following the pointer, the
  pointer's image changed (huevex_mapwatch --cursor), and to HUEVEX's window
  mapped beside the point; from the shortcut's key press to the crosshair
  (huevex_mapwatch --keys); and the process the command leaves to serve the
  clipboard, beside xclip's: resident memory, CPU and wake-ups while it waits;
- screen reads per second while picking, with the round trips and pointer
  queries per read, counted by a protocol proxy (bench/x11/xproxy.py)
  between the program and the server;
- the X11 micro-benchmarks on the server (Google Benchmark,
  huevex_x11_tick_bench): the magnifier frame, the sampling tick, block reads.
Wine: start-up, memory, idle CPU and CPU while picking (the program's
process, and the wineserver beside it) of HUEVEX.exe and huevex_floor.exe;
and from inside the program (huevex_wine_bench.exe: the real program and
backend with a meter): one screen read, one timSpy tick, and the ticks per
second and tick times of a pick held still and of one moving.

Wayland (skipped, with the reason, where no headless sway can run: it
needs sway, Xwayland and root): on X11 first, start-up and memory of the
program with the screen capture module beside it and without it (a real X
server loads none of it); then HUEVEX on Xwayland in a private headless sway
(tests/e2e/wayland/sway_session.py) reading the screen through the
compositor's capture, beside the X11 numbers of the same run: CPU idle,
while picking (the press and the moves made by a mouse inside the compositor,
which then draws the pointer and sends frames, as a real mouse does) and with
the magnifier at rest, sway's and Xwayland's CPU meanwhile, resident memory,
one sampling tick during a pick (huevex_x11_tick_bench's
BM_TickFollowingTheGrab with HUEVEX_SCREEN=screencopy), the age of the
newest frame at each sample (huevex_capture_probe reading a pixel every
millisecond while an X window changes every 4 ms), the frames copied a
second then and with nothing on the screen changing, and the time from the
start of `huevex --pick` to its cover over the screen (huevex_mapwatch
--unmanaged), from when the crosshair follows the pointer everywhere.

CPU is the time the kernel counted on every thread of the process (its
process CPU clock, nanoseconds), in percent of one core. Nothing here passes
or fails; it prints what it measured.
"""

import argparse
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.dont_write_bytecode = True  # nothing left behind in the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e", "wayland"))
from harness import session  # noqa: E402
import sway_session  # noqa: E402
import user_session  # noqa: E402
import virtual_pointer  # noqa: E402

STRIPES = ["FF0000", "00FF00", "0000FF", "FFFFFF", "000000", "050AC8", "100F01", "808080"]
BOARD = (0, 824, 1280, 200)  # x, y, width, height: below where the programs open
MAGNIFIER_BAR = (60, 85)  # the word "MAGNiFIER" in HUEVEX's main window
REST = (1200, 700)  # where the pointer rests: over no program's window
BASELINE_AT = (850, 250)  # the older build's main window, clear of the others
GPICK_PICK_BUTTON = (74, 84)  # "Pick color" in gpick 0.2.6's window, 640 x 447

# Debian packages: the peers, the tools the runs use, and what the builds need.
PACKAGES = ["xvfb", "xdotool", "xclip", "x11-utils", "x11-apps", "gpick", "gcolor3", "grabc",
            "cmake", "g++", "pkg-config", "libbenchmark-dev", "libx11-dev", "libxext-dev",
            "libxi-dev", "libxdamage-dev", "libxfixes-dev", "libxtst-dev",
            "libfreetype-dev", "libfontconfig-dev", "fonts-liberation", "fonts-dejavu-core"]
WINE_PACKAGES = ["wine", "wine64", "g++-mingw-w64-x86-64-win32"]


# Setting up

def install(wine):
    missing = [p for p in PACKAGES + (WINE_PACKAGES if wine else []) if not installed(p)]
    if not missing:
        return
    print(f"installing: {' '.join(missing)}", flush=True)
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(sudo + ["apt-get", "update", "-qq"], check=True, env=env)
    subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", "--no-install-recommends", *missing],
                   check=True, env=env)


def installed(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                            capture_output=True, text=True)
    return "install ok installed" in result.stdout


def build(args):
    native = args.native
    if not bench_enabled(native):
        subprocess.run(["cmake", "-S", ROOT, "-B", native, "-DCMAKE_BUILD_TYPE=Release",
                        "-DHUEVEX_BENCH=ON"], check=True, stdout=subprocess.DEVNULL)
    targets = ["huevex", "huevex_mapwatch", "huevex_x11_tick_bench", "huevex_colorboard",
               "huevex_swatch_delay"]
    if args.wayland:
        targets += ["huevex_wayland", "huevex_capture_probe", "huevex_flicker"]
    subprocess.run(["cmake", "--build", native, "-j2", "--target", *targets], check=True,
                   stdout=subprocess.DEVNULL)
    if not args.wine:
        return
    win = args.win
    if not bench_enabled(win):  # new, or configured without the benchmarks
        subprocess.run(["cmake", "-S", ROOT, "-B", win,
                        "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake",
                                                                 "mingw-w64-x86_64.cmake"),
                        "-DCMAKE_BUILD_TYPE=Release", "-DHUEVEX_BENCH=ON"],
                       check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", win, "-j2", "--target", "HUEVEX", "huevex_floor",
                    "huevex_wine_bench"],
                   check=True, stdout=subprocess.DEVNULL)


def bench_enabled(build_dir):
    cache = os.path.join(build_dir, "CMakeCache.txt")
    if not os.path.exists(cache):
        return False
    with open(cache) as f:
        return any(line.strip() == "HUEVEX_BENCH:BOOL=ON" for line in f)


def native_file(args, *parts):
    return os.path.join(args.native, *parts)


# Measuring a process

def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def cpu_ns(pid):
    """CPU time of the whole process, threads that have ended included, in
    nanoseconds: its process CPU clock (the kernel's clock id for a pid)."""
    try:
        return time.clock_gettime_ns(((~pid) << 3) | 2)
    except OSError:
        return 0


def switches(pid):
    """Context switches of every thread of the process so far: each time it
    slept and woke, or was put aside."""
    total = 0
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return 0
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        total += int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


class CpuMeter:
    """CPU of some processes over a stretch of wall time, in % of a core."""

    def __init__(self, pids):
        self.pids = dict(pids)
        self.start = {name: cpu_ns(pid) for name, pid in self.pids.items()}
        self.began = time.monotonic_ns()

    def stop(self):
        wall = time.monotonic_ns() - self.began
        return {name: 100.0 * (cpu_ns(pid) - self.start[name]) / wall
                for name, pid in self.pids.items()}


def at_rest(pids, seconds):
    """Each process's CPU (% of a core) and wake-ups a second over `seconds`
    of wall time in which nothing is asked of it."""
    meter = CpuMeter(pids)
    woken = {name: switches(pid) for name, pid in pids.items()}
    time.sleep(seconds)
    cpu = meter.stop()
    return {name: (cpu[name], (switches(pid) - woken[name]) / seconds)
            for name, pid in pids.items()}


def during_pick(pids, seconds, move, hold, woken=None):
    """Each process's CPU (% of a core) during a pick: over `seconds` while
    move(seconds) moves the pointer across the board, then over `seconds`
    once hold() has put it on one stripe. `woken`, a dict, gets the first
    process's wake-ups a second in each stretch ("moving", "held")."""
    first = next(iter(pids.values()))
    meter, began, switched = CpuMeter(pids), time.monotonic(), switches(first)
    move(seconds)
    moving = meter.stop()
    if woken is not None:
        woken["moving"] = (switches(first) - switched) / (time.monotonic() - began)
    hold()
    time.sleep(0.2)
    meter, began, switched = CpuMeter(pids), time.monotonic(), switches(first)
    time.sleep(seconds)
    held = meter.stop()
    if woken is not None:
        woken["held"] = (switches(first) - switched) / (time.monotonic() - began)
    return moving, held


# Driving the pointer

def wiggle(s, seconds, y):
    """Moves across the board's stripes, a step every 20 ms, in one xdotool."""
    steps, x = [], BOARD[0] + 40
    for _ in range(int(seconds / 0.02)):
        steps += ["mousemove", str(x), str(y), "sleep", "0.02"]
        x = BOARD[0] + 40 + (x + 37) % (BOARD[2] - 80)
    s.run(["xdotool", *steps], timeout=seconds * 3 + 30)


def board_y():
    return BOARD[1] + BOARD[3] // 2


def stripe_x(i):
    return BOARD[0] + BOARD[2] * (2 * i + 1) // (2 * len(STRIPES))


class Started:
    """A program started under huevex_mapwatch (or directly, when it maps
    no window). `options` ask mapwatch for more (--cursor, --keys KEYS),
    whose times come in `times`, in ms; `mapped` False: no window awaited."""

    def __init__(self, s, command, env, watch=True, timeout=30.0, options=(), mapped=True):
        self.startup_ms = None
        self.window = None
        self.times = {}
        if not watch:
            self.process = s.spawn(command, env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            self.pid = self.process.pid
            return
        # Unbuffered, so that select() sees every line that has come.
        self.process = s.spawn([s.args.mapwatch, *options, *command], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        self.pid = int(self.process.stdout.readline().split()[1])
        awaited = {o[2:] for o in options if o.startswith("--")} | ({"mapped"} if mapped else set())
        while awaited:
            words = read_line(self.process.stdout, timeout).split()
            if not words or words[0] not in awaited:
                print(f"{command[0]}: not all of {', '.join(sorted(awaited))} "
                      f"({' '.join(words) or 'no answer'})", file=sys.stderr, flush=True)
                break
            awaited.discard(words[0])
            if words[0] == "mapped":
                self.startup_ms = int(words[1]) / 1000.0
                self.window = str(int(words[2], 16))
            else:
                self.times[words[0]] = int(words[1]) / 1000.0

    def stop(self):
        try:
            os.kill(self.pid, 15)
        except ProcessLookupError:
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            os.kill(self.pid, 9)
            self.process.wait(10)


def read_line(stream, timeout):
    import select
    ready, _, _ = select.select([stream], [], [], timeout)
    return stream.readline().decode() if ready else ""


# The programs and how each one picks

class Program:
    def __init__(self, name, command, env=None, window=True, picker=None, magnified=False,
                 no_pick=None, no_magnifier=None, huevex=False, place=None):
        self.name, self.command, self.env = name, command, env
        self.window = window          # maps a window (else start-up is not applicable)
        self.picker = picker          # begin(s, started) -> end(), or None
        self.magnified = magnified    # shows a magnified view at rest
        self.no_pick = no_pick        # why there is no continuous pick
        self.no_magnifier = no_magnifier
        self.huevex = huevex          # a build of our own: its magnifier bar, its quick picks
        self.place = place            # where its window is moved once mapped


def huevex_pick(s, started):
    s.main_window = started.window
    s.run(["xdotool", "windowraise", started.window])
    start = s.screen_point(s.CROSSHAIR)
    s.xdotool("mousemove", *start)
    time.sleep(0.1)
    s.xdotool("mousedown", 1)
    time.sleep(0.1)
    s.pointer_steps(start, (stripe_x(0), board_y()))

    def end():
        s.xdotool("mouseup", 1)
        time.sleep(0.3)
    return end


DELAY_AT = (1000, 600)  # the delay helper's window: clear of the board and the programs


def swatch_delays(s, args, started, results, name):
    """From a change under a still pointer, and from a move, to the swatch
    showing the new color (bench/x11/swatch_delay.cpp), during one pick."""
    helper = s.spawn([native_file(args, "bench", "huevex_swatch_delay"), started.window,
                      *map(str, s.SWATCH), *map(str, DELAY_AT), str(args.delays)],
                     stdout=subprocess.PIPE, bufsize=0)
    try:
        if read_line(helper.stdout, 10).strip() != "ready":
            return
        end = huevex_pick(s, started)
        s.pointer_steps((stripe_x(0), board_y()), (DELAY_AT[0] + 16, DELAY_AT[1] + 16))
        out, _ = helper.communicate(timeout=30 + args.delays * 5)
        end()
    finally:
        if helper.poll() is None:
            helper.kill()
            helper.wait(10)
    for line in out.decode().splitlines():
        words = line.split()
        if len(words) == 5 and words[0] in ("change", "move") and int(words[1]) > 0:
            results.add(f"delay_{words[0]}", name, int(words[2]) / 1000)
            results.add(f"delay_{words[0]}_max", name, int(words[3]) / 1000)
            results.add(f"delay_{words[0]}_lost", name, int(words[4]))


def gpick_pick(s, started):
    """gpick's floating picker, from the "Pick color" button of its window:
    a small window follows the pointer with the color under it, magnified,
    until a click takes the color."""
    s.run(["xdotool", "windowraise", started.window])
    x, y = s.client_origin(started.window)
    s.xdotool("mousemove", x + GPICK_PICK_BUTTON[0], y + GPICK_PICK_BUTTON[1])
    time.sleep(0.2)
    s.xdotool("click", 1)
    time.sleep(0.3)
    s.pointer_steps((x + GPICK_PICK_BUTTON[0], y + GPICK_PICK_BUTTON[1]),
                    (stripe_x(0), board_y()))

    def end():
        s.xdotool("click", 1)
        time.sleep(0.3)
    return end


def linux_programs(args, home):
    gtk = dict(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_CACHE_HOME=os.path.join(home, ".cache"))
    programs = [
        Program("HUEVEX", [args.huevex], picker=huevex_pick, magnified=True, huevex=True),
        Program("xmag", ["xmag", "-geometry", "+0+0", "-source", "64x64+0+0"], magnified=True,
                no_pick="magnifies one area chosen once; no continuous pick"),
        Program("gpick", ["gpick"], env=gtk, picker=gpick_pick,
                no_magnifier="its magnified view is the floating picker's (picking, held still)"),
        Program("gcolor3", ["gcolor3"], env=gtk,
                no_pick="its eyedropper asks the desktop portal's PickColor over D-Bus, "
                "which only a GNOME Shell session answers; one color per click",
                no_magnifier="no magnified view"),
        Program("grabc", ["grabc"], window=False,
                no_pick="one click, one color; no continuous pick",
                no_magnifier="no window"),
    ]
    if args.baseline:
        programs.insert(1, Program("baseline", [args.baseline], picker=huevex_pick,
                                   magnified=True, huevex=True, place=BASELINE_AT))
    return [p for p in programs if p.huevex or shutil.which(p.command[0])]


# Counting screen reads through the protocol proxy

def count_reads(log_path, begin, end):
    """Reads of the root window (GetImage, MIT-SHM's ShmGetImage, CopyArea
    from the root) between begin and end, the replies in that time, and the
    pointer queries (QueryPointer, XInput2's XIQueryPointer)."""
    root = None
    majors = {}
    reads = replies = queries = 0
    with open(log_path) as f:
        lines = [line.split() for line in f]
    for parts in lines:
        if parts[1] == "s":
            root = parts[2]
        elif parts[1] == "e":
            majors[" ".join(parts[2:-1])] = parts[-1]
    shm, xinput = majors.get("MIT-SHM"), majors.get("XInputExtension")
    for parts in lines:
        if not begin <= float(parts[0]) <= end:
            continue
        if parts[1] == "r":
            replies += 1
        elif parts[1] == "q":
            if parts[2] == "38" or (parts[2] == xinput and parts[3] == "40"):
                queries += 1
            elif len(parts) > 4 and parts[4] == root and (
                    parts[2] in ("62", "73") or (parts[2] == shm and parts[3] == "4")):
                reads += 1
    return reads, replies, queries


# One Linux run

def warm_up(s, programs):
    """Starts each program once, unmeasured, so that every measured start
    finds its files in the page cache and the GTK programs find the settings
    a first run writes, as a user's programs do."""
    for program in programs:
        run = Started(s, program.command, dict(s.env, **(program.env or {})),
                      watch=program.window)
        time.sleep(2)
        run.stop()


def linux_run(s, args, programs, order, results, home):
    started = {}
    try:
        for program in order:
            run = Started(s, program.command, dict(s.env, **(program.env or {})),
                          watch=program.window)
            started[program.name] = run
            if program.place and run.window:
                s.xdotool("windowmove", run.window, *program.place)
            time.sleep(args.settle)
            results.add("startup", program.name, run.startup_ms)
            results.add("memory", program.name, rss_mib(run.pid))

        for name, (cpu, wakeups) in at_rest({name: run.pid for name, run in started.items()},
                                            args.idle).items():
            results.add("idle", name, cpu)
            results.add("idle_wakeups", name, wakeups)
        if "grabc" in started:  # it holds the pointer until a click
            started.pop("grabc").stop()

        # Three quick picks by each build of our own, then everyone's memory.
        for program in programs:
            if program.huevex and program.name in started:
                s.main_window = started[program.name].window
                s.run(["xdotool", "windowraise", s.main_window])
                for i in range(3):
                    s.pick((stripe_x(i), board_y()))
        time.sleep(0.3)
        for name, run in started.items():
            results.add("memory_picks", name, rss_mib(run.pid))

        for program in programs:
            if program.name not in started or not program.picker:
                continue
            run = started[program.name]
            end = program.picker(s, run)
            woken = {}
            moving, held = during_pick(
                {"program": run.pid, "server": s.server.pid}, args.pick,
                lambda seconds: wiggle(s, seconds, board_y()),
                lambda: s.xdotool("mousemove", stripe_x(3), board_y()), woken)
            end()
            for what, values in (("moving", moving), ("held", held)):
                results.add(f"pick_{what}", program.name, values["program"])
                results.add(f"server_{what}", program.name, values["server"])
                results.add(f"total_{what}", program.name, values["program"] + values["server"])
                results.add(f"pick_wakeups_{what}", program.name, woken[what])
            if program.huevex:
                swatch_delays(s, args, run, results, program.name)

        for program in programs:
            if program.huevex and program.name in started:
                s.main_window = started[program.name].window
                s.run(["xdotool", "windowraise", s.main_window])
                s.xdotool("mousemove", *s.screen_point(MAGNIFIER_BAR))
                s.xdotool("click", 1)
        s.xdotool("mousemove", *REST)
        time.sleep(0.5)
        magnified = {p.name: started[p.name].pid for p in programs
                     if p.magnified and p.name in started}
        for name, (cpu, wakeups) in at_rest(magnified, args.idle).items():
            results.add("magnifier", name, cpu)
            results.add("magnifier_wakeups", name, wakeups)
        for name, run in started.items():
            results.add("memory_end", name, rss_mib(run.pid))
    finally:
        for run in started.values():
            run.stop()


def anywhere_run(s, args, programs, results):
    """Picks with no press. From the start of a pick from the command line
    to the crosshair following the pointer (the first change of the
    pointer's image): `huevex --pick`, gpick's `-s -o` and grabc, each ended
    with a click; HUEVEX's window beside the point mapped too. Then the
    process `huevex --pick` left to serve the clipboard (no clipboard manager
    runs), beside xclip's serving the same text: resident memory once it has
    answered a request, and CPU and wake-ups over an idle stretch. Last, from
    the shortcut's key press (XTest) to the crosshair in HUEVEX's window."""
    commands = {"HUEVEX": [args.huevex, "--pick"], "gpick": ["gpick", "-s", "-o"],
                "grabc": ["grabc"]}

    def served(process, name):
        """The process left to serve the clipboard, measured and stopped."""
        server = s.wait_for(lambda: s.clipboard_servers(process), f"{process}'s server")[0]
        s.clipboard()  # one request answered
        time.sleep(args.settle)
        results.add("served_memory", name, rss_mib(server))
        cpu, wakeups = at_rest({name: server}, args.idle)[name]
        results.add("served_idle", name, cpu)
        results.add("served_wakeups", name, wakeups)
        os.kill(server, 15)

    for program in programs:
        if program.name not in commands:
            continue
        s.xdotool("mousemove", stripe_x(5), board_y())
        run = Started(s, commands[program.name], dict(s.env, **(program.env or {})),
                      options=["--cursor"], mapped=program.name == "HUEVEX")
        results.add("anywhere_cursor", program.name, run.times.get("cursor"))
        results.add("anywhere_mapped", program.name, run.startup_ms)
        time.sleep(0.3)
        s.xdotool("click", 1)
        try:
            run.process.wait(10)  # mapwatch ends with the command
        except subprocess.TimeoutExpired:
            run.stop()
        if program.name == "HUEVEX":
            served("huevex-clipboard", "HUEVEX")
    # xclip serves from a child that keeps the streams it was given.
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], env=s.env, input=b"#050AC8",
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
    served("xclip", "xclip")
    s.xdotool("mousemove", *REST)
    gui = Started(s, [args.huevex], s.env, options=["--keys", "Super_L+Alt_L+c"])
    results.add("anywhere_keys", "HUEVEX", gui.times.get("keys"))
    s.xdotool("key", "Escape")
    gui.stop()


def proxy_rates(s, args, programs, results, log_dir):
    """Screen reads per second while picking, moving and held, through the proxy."""
    for program in programs:
        if not program.picker:
            continue
        log = os.path.join(log_dir, f"xproxy-{program.name}.log")
        proxy = s.spawn([sys.executable, os.path.join(HERE, "x11", "xproxy.py"),
                         s.display[1:], str(int(s.display[1:]) + 50), log],
                        stdout=subprocess.PIPE)
        display = proxy.stdout.readline().split()[1].decode()
        env = dict(s.env, DISPLAY=display, **(program.env or {}))
        run = Started(s, program.command, env)
        try:
            time.sleep(args.settle)
            end = program.picker(s, run)
            begin = time.monotonic()
            wiggle(s, args.rate_seconds, board_y())
            moved = time.monotonic()
            s.xdotool("mousemove", stripe_x(3), board_y())
            time.sleep(0.2)
            still = time.monotonic()
            time.sleep(args.rate_seconds)
            done = time.monotonic()
            end()
        finally:
            run.stop()
            proxy.terminate()
            proxy.wait(10)
        reads, replies, queries = count_reads(log, begin, moved)
        results.add("rate_moving", program.name, reads / (moved - begin))
        results.add("trips", program.name, replies / reads if reads else None)
        results.add("queries", program.name, queries / reads if reads else None)
        reads, _, _ = count_reads(log, still, done)
        results.add("rate_held", program.name, reads / (done - still))


# Wayland

MODULE = "huevex-wayland.so"
SWAY_REST = (1000, 300)  # over the background, clear of the program's windows


def module_presence(s, args, results, run):
    """Start-up and memory on X11 with the capture module beside the program
    and without it (a real X server loads none of it either way)."""
    programs = []
    for name in ("with the module", "without it"):
        folder = os.path.join(args.artifacts, name.replace(" ", "-"))
        os.makedirs(folder, exist_ok=True)
        shutil.copy(args.huevex, folder)
        if name == "with the module":
            shutil.copy(native_file(args, MODULE), folder)
        programs.append((name, os.path.join(folder, "huevex")))
    for name, program in programs[run % 2:] + programs[:run % 2]:
        started = Started(s, [program], s.env)
        time.sleep(args.settle)
        results.add("x11_startup", name, started.startup_ms)
        results.add("x11_memory", name, rss_mib(started.pid))
        with open(f"/proc/{started.pid}/maps") as f:
            results.add("x11_wayland_libraries", name, float("libwayland" in f.read()))
        started.stop()


def session_pid(s, name):
    """The process of the session's user whose command is `name`."""
    for pid in user_session.processes_of(s.uid):
        try:
            with open(f"/proc/{pid}/comm") as f:
                if f.read().strip() == name:
                    return pid
        except FileNotFoundError:
            pass
    return None


def board_background():
    width, height = sway_session.SIZE
    stripe = BOARD[2] // len(STRIPES)
    row = bytearray(bytes.fromhex("336699") * width)
    for i, color in enumerate(STRIPES):
        row[(BOARD[0] + i * stripe) * 3:(BOARD[0] + (i + 1) * stripe) * 3] = (
            bytes.fromhex(color) * stripe)
    plain = bytes.fromhex("336699") * width
    return [bytes(row) if BOARD[1] <= y < BOARD[1] + BOARD[3] else plain for y in range(height)]


def command_cover_ms(s, mapwatch, env=None):
    """Milliseconds from the exec of `huevex --pick` (huevex_mapwatch's clock)
    to the map of the screen's cover, with the desktop's permission stored:
    from then on the crosshair follows the pointer over every window and the
    desktop. The pick is then left with Esc, through the compositor's
    keyboard."""
    watcher = os.path.join(s.rundir, "huevex_mapwatch")  # where the session's user reaches it
    shutil.copy(mapwatch, watcher)
    os.chmod(watcher, 0o755)
    s.start_huevex(env, args=["--pick"], prefix=[watcher, "--unmanaged"])
    mapped = s.wait_for(lambda: next((line.split() for line in s.stdout().splitlines()
                                      if line.startswith(("mapped", "timeout"))), None),
                        "the screen covered", 40)
    time.sleep(0.5)  # the map comes before the compositor shows it and gives it the keys
    for key in ("Shift", "Escape"):
        s.hands().do("key", s.KEYS[key])
    s.wait_for(lambda: s.huevex.poll() is not None, "the pick to end")
    if mapped[0] != "mapped":
        raise session.Failure("no cover")
    return int(mapped[1]) / 1000


def mouse_wiggle(mouse, seconds, y):
    x = BOARD[0] + 40
    for _ in range(int(seconds / 0.02)):
        mouse.move(x, y)
        time.sleep(0.02)
        x = BOARD[0] + 40 + (x + 37) % (BOARD[2] - 80)


def wayland_run(args, results):
    """One run of HUEVEX on Xwayland in a headless sway, reading the screen
    through the compositor's capture."""
    with sway_session.SwaySession(args, board_background()) as s:
        s.start_huevex({"HUEVEX_SCREEN": "screencopy"})
        pids = {"program": session_pid(s, "huevex"), "sway": session_pid(s, "sway"),
                "xwayland": session_pid(s, "Xwayland")}
        time.sleep(args.settle)
        results.add("memory", "sway", rss_mib(pids["program"]))
        cpu, wakeups = at_rest({"program": pids["program"]}, args.idle)["program"]
        results.add("idle", "sway", cpu)
        results.add("idle_wakeups", "sway", wakeups)

        env = dict(os.environ, DISPLAY=s.display, XDG_RUNTIME_DIR=s.rundir,
                   WAYLAND_DISPLAY=s.wayland_socket(), HUEVEX_SCREEN="screencopy")
        env.pop("XAUTHORITY", None)
        probe = [native_file(args, "tests", "e2e", "huevex_capture_probe"),
                 native_file(args, MODULE), "open", "screencopy", "want", "1", "wait", "live",
                 "2000", "pump", "500"]
        mouse = virtual_pointer.for_session(s)
        try:
            start = s.screen_point(s.CROSSHAIR)
            mouse.move(*start)
            time.sleep(0.1)
            mouse.press()
            time.sleep(0.1)
            moving, held = during_pick(pids, args.pick,
                                       lambda seconds: mouse_wiggle(mouse, seconds, board_y()),
                                       lambda: mouse.move(stripe_x(3), board_y()))
            results.add("memory_capturing", "sway", rss_mib(pids["program"]))
            # The frames the compositor sends a capture like the program's while
            # the pick is held still over a still screen: a copy that waits for
            # damage is answered only when there is some.
            still = subprocess.run(probe + ["frames", "3000"], env=env, capture_output=True,
                                   text=True, timeout=60).stdout.split()
            if still[-2:-1] == ["frames"]:
                results.add("frames_still", "sway", int(still[-1]) / 3)
            mouse.release()
            time.sleep(WAYLAND_LINGER + 0.5)  # capturing has stopped and its buffers are gone
            results.add("memory_picks", "sway", rss_mib(pids["program"]))
            for what, values in (("moving", moving), ("held", held)):
                results.add(f"pick_{what}", "sway", values["program"])
                results.add(f"server_{what}", "sway", values["sway"] + values["xwayland"])

            mouse.move(*s.screen_point(MAGNIFIER_BAR))
            time.sleep(0.05)
            mouse.press()
            time.sleep(0.03)
            mouse.release()
            mouse.move(*SWAY_REST)
            time.sleep(0.5 + WAYLAND_LINGER)
            cpu, wakeups = at_rest({"program": pids["program"]}, args.idle)["program"]
            results.add("magnifier", "sway", cpu)
            results.add("magnifier_wakeups", "sway", wakeups)
        finally:
            mouse.close()

        # The frame's age at each sample: a window that changes every 4 ms
        # keeps a new frame coming at every refresh.
        flicker = s.spawn([native_file(args, "bench", "huevex_flicker"), "0", "0", "64", "64",
                           "4"], env=env)
        time.sleep(1)
        out = subprocess.run(probe + ["age", "3000", "frames", "3000"], env=env,
                             capture_output=True, text=True, timeout=60).stdout
        flicker.terminate()
        for line in out.splitlines():
            words = line.split()
            if words[:1] == ["age"] and len(words) == 4:
                results.add("age_median", "sway", int(words[2]) / 1000)
                results.add("age_max", "sway", int(words[3]) / 1000)
            elif words[:1] == ["frames"] and len(words) == 2:
                results.add("frames_changing", "sway", int(words[1]) / 3)
        # One sampling tick during a pick, the module beside the benchmark.
        folder = os.path.join(args.artifacts, "tick-bench")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(native_file(args, "bench", "huevex_x11_tick_bench"), folder)
        shutil.copy(native_file(args, MODULE), folder)
        out = subprocess.run([os.path.join(folder, "huevex_x11_tick_bench"),
                              "--benchmark_filter=BM_TickFollowingTheGrab$",
                              "--benchmark_min_time=0.3", "--benchmark_format=csv"],
                             env=env, capture_output=True, text=True, timeout=120).stdout
        for line in out.splitlines():
            fields = line.split(",")
            if fields[0].strip('"') == "BM_TickFollowingTheGrab":
                factor = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[fields[4]]
                results.add("tick", "sway", float(fields[2]) * factor)
                results.add("tick_cpu", "sway", float(fields[3]) * factor)
        s.stop_huevex()
        for _ in range(3):
            results.add("command_cover", "sway",
                        command_cover_ms(s, args.mapwatch, {"HUEVEX_SCREEN": "screencopy"}))


# How long the program keeps capturing after the last read (WaylandScreen::kLinger).
WAYLAND_LINGER = 0.5


def wayland_report(results, x11, bench_times):
    """The Wayland table beside X11's numbers of the same run, and its goals."""
    for measure in ("idle", "idle_wakeups", "pick_moving", "pick_held", "server_moving",
                    "server_held", "magnifier", "magnifier_wakeups", "memory", "memory_picks"):
        results.values[(measure, "X11")] = x11.get(measure, "HUEVEX")
    tick = bench_times.get("BM_TickFollowingTheGrab")
    if tick:
        results.values[("tick", "X11")] = tick["real"]
        results.values[("tick_cpu", "X11")] = tick["cpu"]
    rows = [
        ("resident memory after start-up (MiB)", "memory", 2),
        ("resident memory during a pick, two frames and the clean copy of a 1280 x 1024 "
         "output (MiB)", "memory_capturing", 2),
        ("resident memory at rest after the pick (MiB)", "memory_picks", 2),
        ("CPU idle, magnifier not loaded (% of a core)", "idle", 3),
        ("wake-ups per second meanwhile", "idle_wakeups", 1),
        ("CPU picking, pointer moving (%)", "pick_moving", 2),
        ("CPU picking, pointer held still (%)", "pick_held", 2),
        ("display server CPU meanwhile, moving (%): sway and Xwayland, or Xvfb",
         "server_moving", 2),
        ("display server CPU meanwhile, held (%)", "server_held", 2),
        ("CPU at rest, magnifier shown (%)", "magnifier", 3),
        ("wake-ups per second meanwhile", "magnifier_wakeups", 1),
        ("one sampling tick, pointer grabbed, after a move, wall (µs)", "tick", 2),
        ("the same, CPU (µs)", "tick_cpu", 2),
        ("age of the newest frame at a sample, median (ms)", "age_median", 1),
        ("the same, largest of 3000 (ms)", "age_max", 1),
        ("frames copied a second, a window changing every 4 ms", "frames_changing", 1),
        ("frames copied a second, a pick held still over a still screen", "frames_still", 1),
        ("`huevex --pick`: start to the screen covered, the crosshair following everywhere "
         "(ms, 3 a run)", "command_cover", 1),
    ]
    live = "reads the server's screen as it is at each sample"
    reasons = {("age_median", "X11"): live, ("age_max", "X11"): live,
               ("frames_changing", "X11"): live, ("frames_still", "X11"): live,
               ("memory_capturing", "X11"): "keeps no frames",
               ("command_cover", "X11"): "no cover: the grab follows the pointer everywhere"}
    text = [table(rows, ["sway", "X11"], results, reasons), ""]
    met = []
    age = stats(results.get("age_max", "sway"))
    if age:
        met.append(f"| a pick samples a frame no older than two display frames (33.3 ms) | "
                   f"largest {age[2]:.1f} ms (median of runs {age[0]:.1f}) | "
                   f"{'met' if age[2] <= 33.4 else 'MISSED'} |")
    for what in ("moving", "held"):
        ours, theirs = stats(results.get(f"pick_{what}", "sway")), stats(
            results.get(f"pick_{what}", "X11"))
        if ours and theirs:
            met.append(f"| CPU of a pick on sway at most twice that on X11 ({what}) | "
                       f"{ours[0]:.2f} % vs {theirs[0]:.2f} % (ratio {ours[0] / theirs[0]:.2f}) | "
                       f"{'met' if ours[0] <= 2 * theirs[0] else 'MISSED'} |")
    if met:
        text += ["| goal | measured | |", "|---|---|---|", *met, ""]
    presence = [
        ("start-up to the window mapped (ms)", "x11_startup", 1),
        ("resident memory after start-up (MiB)", "x11_memory", 2),
        ("libwayland mapped (1 yes, 0 no)", "x11_wayland_libraries", 0),
    ]
    text += ["On X11 (Xvfb), the program with the capture module beside it and without it:", "",
             table(presence, ["with the module", "without it"], results, {})]
    return "\n".join(text)


def google_benchmarks(s, args, program):
    """Wall and CPU time in microseconds of the X11 micro-benchmarks, one
    value per repetition: {name: {"real": [...], "cpu": [...]}}."""
    out = s.run([program, f"--benchmark_repetitions={args.runs}", "--benchmark_min_time=0.3",
                 "--benchmark_format=csv"], timeout=600, check=False).stdout.decode()
    times = {}
    for line in out.splitlines():
        fields = line.split(",")  # name, iterations, real_time, cpu_time, time_unit, ...
        if len(fields) < 5 or not fields[0].startswith('"BM_'):
            continue
        name = fields[0].strip('"')
        if name.endswith(("_mean", "_median", "_stddev", "_cv")):
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}.get(fields[4], 1e-3)
        entry = times.setdefault(name, {"real": [], "cpu": []})
        entry["real"].append(float(fields[2]) * scale)
        entry["cpu"].append(float(fields[3]) * scale)
    return times


def baseline_tick_bench(huevex):
    """The micro-benchmarks of the build tree an older huevex lies in, if
    that build made them."""
    folder = os.path.dirname(os.path.abspath(huevex))
    while folder != os.path.dirname(folder):
        if os.path.exists(os.path.join(folder, "CMakeCache.txt")):
            bench = os.path.join(folder, "bench", "huevex_x11_tick_bench")
            return bench if os.access(bench, os.X_OK) else None
        folder = os.path.dirname(folder)
    return None


# Wine

def wineserver_pid(prefix):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as f:
                if not f.read().startswith("wineserver"):
                    continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if f"WINEPREFIX={prefix}".encode() in f.read().split(b"\0"):
                    return int(entry)
        except (FileNotFoundError, ProcessLookupError, PermissionError):
            continue
    return None


def boot_prefix(args, prefix):
    """A prefix booted the way the Wine tests boot theirs (on a display of
    its own), once."""
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return
    print("booting a Wine prefix (once)", flush=True)
    work = os.path.join(args.win, "bench-compare")
    os.makedirs(work, exist_ok=True)
    subprocess.run([sys.executable, os.path.join(ROOT, "tests", "e2e", "wine", "prefix_boot.py"),
                    "--huevex", os.path.join(args.win, "HUEVEX.exe"), "--prefix", prefix,
                    "--artifacts", work],
                   env=dict(os.environ, PYTHONPATH=os.path.join(ROOT, "tests", "e2e")),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600, check=True)


def wine_pick_at(client):
    def begin(s, started):
        s.main_window = started.window
        start = s.screen_point(client)
        s.xdotool("mousemove", *start)
        time.sleep(0.1)
        s.xdotool("mousedown", 1)
        time.sleep(0.1)
        s.pointer_steps(start, (stripe_x(0), board_y()))

        def end():
            s.xdotool("mouseup", 1)
            time.sleep(0.3)
        return end
    return begin


# What the program measures inside itself (huevex_wine_bench.exe): the
# statistics of one line of its output, and the lines it writes.
INSIDE = [
    ("screen_read", "screen read, pointer at rest"),
    ("screen_read_cursor", "  of which the cursor position"),
    ("screen_read_pixel", "  of which context, pixel and release"),
    ("tick_new", "timSpy tick, new color every tick"),
    ("tick_same", "timSpy tick, same color"),
]
INSIDE_STATS = ("median", "p90", "max")


def inside_summary(line):
    """(median, p90, max) in µs from "median A us, p90 B us, max C us"."""
    found = re.search(r"median ([\d.]+) us, p90 ([\d.]+) us, max ([\d.]+) us", line)
    return [float(v) for v in found.groups()] if found else [None] * 3


def wine_inside(s, args, env, results):
    """One screen read and one timSpy tick, timed inside the program; then a
    pick held still and one moving, each timed tick by tick."""
    probe = os.path.join(args.win, "huevex_wine_bench.exe")
    s.xdotool("mousemove", stripe_x(1), board_y())
    out = ""
    for command in (["sample", "20000"],
                    ["tick", "2000", stripe_x(0), board_y(), stripe_x(2), board_y()]):
        out += subprocess.run(["wine", probe, *map(str, command)], env=env, timeout=120,
                              capture_output=True).stdout.decode(errors="replace")
    for line in out.replace("\r", "").splitlines():
        for measure, start in INSIDE:
            if line.startswith(start + ":") or line.startswith(start + " ("):
                for stat, value in zip(INSIDE_STATS, inside_summary(line)):
                    results.add(f"{measure}_{stat}", "HUEVEX.exe", value)

    log = os.path.join(args.artifacts, "wine-bench-run.log")
    with open(log, "wb") as out:
        program = s.spawn(["wine", probe, "run"], env=env, stdout=out, stderr=subprocess.DEVNULL)
    try:
        window = s.wait_for(lambda: s.find_window("^HUEVEX$", visible=True), "the probe's window",
                            60)
        time.sleep(args.settle)
        begin = wine_pick_at(session.Session.CROSSHAIR)
        end = begin(s, types.SimpleNamespace(window=window))
        s.xdotool("mousemove", stripe_x(3), board_y())
        time.sleep(args.pick)
        end()
        end = begin(s, types.SimpleNamespace(window=window))
        wiggle(s, args.pick, board_y())
        end()

        def picks():
            with open(log, errors="replace") as f:
                return [line for line in f if line.startswith("pick:")]
        reported = s.wait_for(lambda: len(picks()) >= 2 and picks(), "both picks reported", 10)
    finally:
        program.terminate()
        program.wait(10)
    for kind, line in zip(("held", "moving"), reported):
        rate = re.search(r"= ([\d.]+) ticks/s", line)
        results.add(f"ticks_{kind}", "HUEVEX.exe", float(rate.group(1)) if rate else None)
        for stat, value in zip(INSIDE_STATS, inside_summary(line)):
            results.add(f"handler_{kind}_{stat}", "HUEVEX.exe", value)


def wine_runs(s, args, results):
    prefix = os.path.join(os.path.abspath(args.win), "bench-compare", "prefix")
    env = dict(s.env, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    boot_prefix(args, prefix)
    floor = os.path.join(args.win, "huevex_floor.exe")
    programs = [
        Program("HUEVEX.exe", ["wine", os.path.join(args.win, "HUEVEX.exe")],
                picker=wine_pick_at(session.Session.CROSSHAIR)),
        Program("floor", ["wine", floor], picker=wine_pick_at((100, 40))),
    ]
    # Wine's own processes stay up between the measured starts.
    keeper = s.spawn(["wine", floor, "keep"], env=env, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
    try:
        time.sleep(5)
        server = wineserver_pid(prefix)
        for program in programs:  # unmeasured: files into the page cache
            Started(s, program.command, env, timeout=60).stop()
        for i in range(args.runs):
            order = programs[i % 2:] + programs[:i % 2]
            started = {}
            try:
                for program in order:
                    run = Started(s, program.command, env, timeout=60)
                    started[program.name] = run
                    time.sleep(args.settle + 1.0)
                    results.add("startup", program.name, run.startup_ms)
                    results.add("memory", program.name, rss_mib(run.pid))
                pids = {name: run.pid for name, run in started.items()}
                pids["wineserver"] = server
                idle = at_rest(pids, args.idle)
                for program in programs:
                    results.add("idle", program.name, idle[program.name][0])
                results.add("wineserver_idle", "both", idle["wineserver"][0])
                for program in programs:
                    run = started[program.name]
                    s.run(["xdotool", "windowraise", run.window])
                    end = program.picker(s, run)
                    moving, held = during_pick(
                        {"program": run.pid, "wineserver": server, "server": s.server.pid},
                        args.pick, lambda seconds: wiggle(s, seconds, board_y()),
                        lambda: s.xdotool("mousemove", stripe_x(3), board_y()))
                    end()
                    results.add("pick_moving", program.name, moving["program"])
                    results.add("pick_held", program.name, held["program"])
                    results.add("wineserver_moving", program.name, moving["wineserver"])
                    results.add("wineserver_held", program.name, held["wineserver"])
                    results.add("server_moving", program.name, moving["server"])
                    results.add("server_held", program.name, held["server"])
            finally:
                for run in started.values():
                    run.stop()
            wine_inside(s, args, env, results)
            print(f"wine run {i + 1} of {args.runs} done", flush=True)
    finally:
        keeper.terminate()
        subprocess.run(["wineserver", "-k"], env=env, timeout=60, check=False)
    return programs


# Results and the table

class Results:
    def __init__(self):
        self.values = {}

    def add(self, measure, program, value):
        self.values.setdefault((measure, program), []).append(value)

    def get(self, measure, program):
        return [v for v in self.values.get((measure, program), []) if v is not None]


def stats(values):
    if not values:
        return None
    return statistics.median(values), min(values), max(values)


def cell(values, digits):
    st = stats(values)
    if st is None:
        return None
    median, low, high = st
    if len(values) == 1 or low == high:
        return f"{median:.{digits}f}"
    return f"{median:.{digits}f} ({low:.{digits}f}–{high:.{digits}f})"


def ratio(ours, theirs):
    a, b = stats(ours), stats(theirs)
    if a is None or b is None:
        return "–"
    if b[0] == 0:
        return "both 0" if a[0] == 0 else "∞"
    return f"{a[0] / b[0]:.2f}"


def table(rows, names, results, reasons):
    """rows: (title, measure, digits). The first name is ours; each peer
    gets a ratio column (ours over theirs). A measure a program cannot take
    shows as n/a with a note under the table saying why."""
    ours = names[0]
    notes = []

    def missing(measure, name):
        reason = reasons.get((measure, name), "not measured")
        if not reason:
            return "–"
        note = f"{name}: {reason}"
        if note not in notes:
            notes.append(note)
        return f"n/a ({chr(ord('a') + notes.index(note))})"

    header = ["measure", ours] + [h for n in names[1:] for h in (n, f"{ours} ÷ {n}")]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for title, measure, digits in rows:
        mine = results.get(measure, ours)
        cells = [title, cell(mine, digits) or missing(measure, ours)]
        for name in names[1:]:
            theirs = results.get(measure, name)
            cells += [cell(theirs, digits) or missing(measure, name), ratio(mine, theirs)]
        lines.append("| " + " | ".join(cells) + " |")
    lines.append("")
    lines += [f"({chr(ord('a') + i)}) {note}  " for i, note in enumerate(notes)]
    return "\n".join(lines)


def inside_table(results):
    rows = [
        ("screen read, pointer at rest (cursor, context, pixel, release)", "screen_read"),
        ("- of which the cursor position", "screen_read_cursor"),
        ("- of which context, pixel and release", "screen_read_pixel"),
        ("timSpy tick, new color every tick (swatch, codes, repaint)", "tick_new"),
        ("timSpy tick, same color (codes rewritten, no repaint)", "tick_same"),
        ("tick handler during a pick held still", "handler_held"),
        ("tick handler during a moving pick", "handler_moving"),
    ]
    lines = ["| measure | median | p90 | max |", "|---|---|---|---|"]
    for title, measure in rows:
        cells = [cell(results.get(f"{measure}_{stat}", "HUEVEX.exe"), 0) or "–"
                 for stat in INSIDE_STATS]
        lines.append("| " + " | ".join([title, *cells]) + " |")
    return "\n".join(lines)


def machine():
    model = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        memory = int(f.readline().split()[1]) / 1024 / 1024
    distro = "?"
    if os.path.exists("/etc/os-release"):
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    distro = line.split("=", 1)[1].strip().strip('"')
    return (f"{os.cpu_count()} cores ({model}), {memory:.0f} GiB, {distro}, "
            f"kernel {platform.release()}")


def versions(names):
    packages = {"xmag": "x11-apps", "gpick": "gpick", "gcolor3": "gcolor3", "grabc": "grabc",
                "Xvfb": "xvfb", "wine": "wine"}
    out = []
    for name in names:
        package = packages.get(name)
        if not package:
            continue
        result = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package],
                                capture_output=True, text=True)
        if result.returncode == 0:
            out.append(f"{name} {result.stdout.strip()}")
    return ", ".join(out)


def goals(results, bench_times):
    met = []

    def line(goal, measured, ok):
        met.append(f"| {goal} | {measured} | {'met' if ok else 'MISSED'} |")

    hx = stats(results.get("startup", "HUEVEX"))
    xm = stats(results.get("startup", "xmag"))
    if hx and xm:
        line("start-up no slower than xmag", f"{hx[0]:.1f} ms vs {xm[0]:.1f} ms "
             f"(ratio {hx[0] / xm[0]:.2f})", hx[0] <= xm[0])
    memory = stats(results.get("memory", "HUEVEX"))
    if memory:
        line("resident memory at most 6 MB (5.72 MiB)",
             f"{memory[0]:.2f} MiB (max {memory[2]:.2f})", memory[2] * 1048576 <= 6e6)
    idle = stats(results.get("idle", "HUEVEX"))
    if idle:
        line("zero CPU while idle, magnifier not loaded",
             f"{idle[0]:.3f} % of a core (max {idle[2]:.3f})", idle[2] == 0)
    for measure, what, most in (("total_held", "held still over a still screen", 0.5),
                                ("total_moving", "moving", 1.0)):
        ours, theirs = stats(results.get(measure, "HUEVEX")), stats(results.get(measure, "gpick"))
        if ours and theirs:
            line(f"CPU of HUEVEX and the X server picking, {what}, at most {most:.1f} times "
                 "gpick's and the X server's",
                 f"{ours[0]:.2f} % vs {theirs[0]:.2f} % (ratio {ours[0] / theirs[0]:.2f})",
                 ours[0] <= most * theirs[0])
    change = stats(results.get("delay_change_max", "HUEVEX"))
    if change:
        line("from a change under a still pointer to the swatch at most two display frames "
             "(33 ms)", f"largest {change[2]:.1f} ms (median "
             f"{stats(results.get('delay_change', 'HUEVEX'))[0]:.2f})", change[2] <= 33.4)
    move, before = stats(results.get("delay_move", "HUEVEX")), stats(
        results.get("delay_move", "baseline"))
    if move:
        line("from a move to the swatch as before, about 1 ms (median at most 1.5 ms)",
             f"{move[0]:.2f} ms" + (f" vs {before[0]:.2f} ms before" if before else ""),
             move[0] <= 1.5)
    command = stats(results.get("anywhere_cursor", "HUEVEX"))
    if command and hx:
        line("a pick from the command: start to the crosshair at most the window's start-up "
             "+ 5 ms", f"{command[0]:.1f} ms (max {command[2]:.1f}) vs {hx[0]:.1f} + 5 ms",
             command[0] <= hx[0] + 5)
    keys = stats(results.get("anywhere_keys", "HUEVEX"))
    if keys:
        line("the shortcut: key press to the crosshair at most 20 ms",
             f"{keys[0]:.2f} ms (max {keys[2]:.2f})", keys[2] <= 20)
    served = stats(results.get("served_memory", "HUEVEX"))
    xclip = stats(results.get("served_memory", "xclip"))
    if served and memory:
        line("the clipboard's server: resident memory at most the program's after start-up",
             f"{served[0]:.2f} MiB (max {served[2]:.2f}) vs {memory[0]:.2f} MiB"
             + (f"; xclip serving the same: {xclip[0]:.2f} MiB" if xclip else ""),
             served[2] <= memory[0])
    served_idle = stats(results.get("served_idle", "HUEVEX"))
    if served_idle:
        line("the clipboard's server: no CPU while it waits",
             f"{served_idle[0]:.3f} % of a core (max {served_idle[2]:.3f})", served_idle[2] == 0)
    magnifier = stats(results.get("magnifier", "HUEVEX"))
    if magnifier:
        line("magnifier open at rest under 0.5 % of a core",
             f"{magnifier[0]:.3f} % (max {magnifier[2]:.3f})", magnifier[0] < 0.5)
    frame = bench_times.get("BM_MagnifierFrame")
    if frame:
        st = stats(frame["real"])
        line("one magnifier frame on X11 at most 250 µs",
             f"{st[0]:.0f} µs (max {st[2]:.0f})", st[0] <= 250)
    return "| goal | measured | |\n|---|---|---|\n" + "\n".join(met)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--native", default=os.path.join(ROOT, "build-bench"),
                        help="native build directory (configured with HUEVEX_BENCH=ON if new)")
    parser.add_argument("--win", default=os.path.join(ROOT, "build-win"),
                        help="cross build directory for HUEVEX.exe and the floor")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--idle", type=float, default=10.0, help="seconds of each idle stretch")
    parser.add_argument("--pick", type=float, default=5.0,
                        help="seconds of each picking stretch (moving, then held)")
    parser.add_argument("--rate-seconds", type=float, default=3.0)
    parser.add_argument("--delays", type=int, default=40,
                        help="changes and moves timed to the swatch in each run")
    parser.add_argument("--settle", type=float, default=1.5,
                        help="seconds from the map to the memory reading")
    parser.add_argument("--no-wine", dest="wine", action="store_false")
    parser.add_argument("--no-linux", dest="linux", action="store_false")
    parser.add_argument("--no-wayland", dest="wayland", action="store_false")
    parser.add_argument("--no-install", dest="install", action="store_false")
    parser.add_argument("--no-build", dest="build", action="store_false")
    parser.add_argument("--out", help="also write the report to this file")
    parser.add_argument("--baseline", metavar="OLD_HUEVEX",
                        help="an older build of the Linux program, measured as one more peer "
                        "(its frame and tick too, if its build tree has the benchmarks)")
    args = parser.parse_args()
    args.native = os.path.abspath(args.native)
    args.win = os.path.abspath(args.win)
    if args.baseline:
        args.baseline = os.path.abspath(args.baseline)
        if not os.access(args.baseline, os.X_OK):
            parser.error(f"--baseline: no program at {args.baseline}")
    wayland_skipped = sway_session.SwaySession.missing() if args.wayland else "--no-wayland"
    args.wayland = not wayland_skipped
    if args.install:
        install(args.wine)
    if args.build:
        build(args)
    args.huevex = native_file(args, "huevex")
    args.mapwatch = native_file(args, "bench", "huevex_mapwatch")
    args.colorboard = native_file(args, "tests", "e2e", "huevex_colorboard")
    args.wm = "none"
    work = tempfile.mkdtemp(prefix="huevex-compare-")
    args.artifacts = work
    home = os.path.join(work, "home")
    os.makedirs(home)

    results, wine_results, wayland_results = Results(), Results(), Results()
    wine_programs = []
    with session.XvfbSession(args) as s:
        s.colorboard(*BOARD, STRIPES, os.path.join(work, "board.log"))
        programs = linux_programs(args, home) if args.linux else []
        if programs:
            warm_up(s, programs)
        for i in range(args.runs if programs else 0):
            order = programs[i % len(programs):] + programs[:i % len(programs)]
            # grabc grabs the pointer as it starts: always the last one up.
            order = [p for p in order if p.window] + [p for p in order if not p.window]
            linux_run(s, args, programs, order, results, home)
            proxy_rates(s, args, programs, results, work)
            anywhere_run(s, args, programs, results)
            if args.wayland:
                module_presence(s, args, wayland_results, i)
            print(f"linux run {i + 1} of {args.runs} done", flush=True)
        bench_times, baseline_times = {}, {}
        if programs:
            bench_times = google_benchmarks(s, args, native_file(args, "bench",
                                                                 "huevex_x11_tick_bench"))
            if args.baseline and baseline_tick_bench(args.baseline):
                baseline_times = google_benchmarks(s, args, baseline_tick_bench(args.baseline))
        if args.wine:
            wine_programs = wine_runs(s, args, wine_results)
    # One compositor at a time: after the X11 runs, not beside them.
    for i in range(args.runs if args.wayland and programs else 0):
        wayland_run(args, wayland_results)
        print(f"wayland run {i + 1} of {args.runs} done", flush=True)
    load = ", ".join(f"{v:.2f}" for v in os.getloadavg())

    reasons = {}
    for p in programs:
        for measure in ("pick_moving", "pick_held", "server_moving", "server_held",
                        "total_moving", "total_held", "pick_wakeups_moving",
                        "pick_wakeups_held", "rate_moving", "rate_held", "trips", "queries"):
            if p.no_pick:
                reasons[(measure, p.name)] = p.no_pick
        for measure in ("anywhere_cursor", "anywhere_mapped", "anywhere_keys", "served_memory",
                        "served_idle", "served_wakeups"):
            reasons[(measure, p.name)] = ""  # HUEVEX's own, or no such thing
        for measure in ("delay_change", "delay_change_max", "delay_move", "delay_move_max"):
            if p.no_pick:
                reasons[(measure, p.name)] = p.no_pick
            elif not p.huevex:
                reasons[(measure, p.name)] = "its swatch's place is not known to the script"
        if p.no_magnifier:
            reasons[("magnifier", p.name)] = p.no_magnifier
            reasons[("magnifier_wakeups", p.name)] = p.no_magnifier
        if not p.window:
            reasons[("startup", p.name)] = "maps no window"
            for measure in ("memory_picks", "memory_end"):
                reasons[(measure, p.name)] = "stopped after the idle stretch (it holds the pointer)"
    for program, times_by_name in (("HUEVEX", bench_times), ("baseline", baseline_times)):
        for name, times in times_by_name.items():
            results.values[("bench_" + name, program)] = times["real"]
            results.values[("bench_cpu_" + name, program)] = times["cpu"]
    names = [p.name for p in programs]
    rows = [
        ("start-up to the window mapped (ms)", "startup", 1),
        ("resident memory after start-up (MiB)", "memory", 2),
        ("resident memory after three quick picks of HUEVEX's (MiB)", "memory_picks", 2),
        ("resident memory at the end, after the picks (MiB)", "memory_end", 2),
        (f"CPU idle, {args.idle:.0f} s (% of a core)", "idle", 3),
        ("wake-ups per second meanwhile", "idle_wakeups", 1),
        ("CPU picking, pointer moving (%)", "pick_moving", 2),
        ("CPU picking, pointer held still (%)", "pick_held", 2),
        ("X server CPU meanwhile, moving (%)", "server_moving", 2),
        ("X server CPU meanwhile, held (%)", "server_held", 2),
        ("the program and the X server, picking, moving (%)", "total_moving", 2),
        ("the program and the X server, picking, held still (%)", "total_held", 2),
        ("wake-ups per second, picking, moving", "pick_wakeups_moving", 0),
        ("wake-ups per second, picking, held still", "pick_wakeups_held", 0),
        ("from a change under a still pointer to the swatch, median (ms)", "delay_change", 2),
        ("the same, largest (ms)", "delay_change_max", 2),
        ("from a move to the swatch, median (ms)", "delay_move", 2),
        ("the same, largest (ms)", "delay_move_max", 2),
        ("screen reads per second, moving", "rate_moving", 0),
        ("screen reads per second, held", "rate_held", 0),
        ("round trips per screen read, moving", "trips", 2),
        ("pointer queries per screen read, moving", "queries", 2),
        ("a pick from the command: start to the crosshair (ms)", "anywhere_cursor", 1),
        ("- and to HUEVEX's window mapped beside the point (ms)", "anywhere_mapped", 1),
        ("the shortcut: key press to the crosshair (ms)", "anywhere_keys", 2),
        ("the clipboard's server left by the command: resident memory (MiB)",
         "served_memory", 2),
        (f"- its CPU while it waits, {args.idle:.0f} s (% of a core)", "served_idle", 3),
        ("- its wake-ups per second meanwhile", "served_wakeups", 1),
        ("CPU at rest, magnified view shown (%)", "magnifier", 3),
        ("wake-ups per second meanwhile", "magnifier_wakeups", 1),
        ("one magnifier frame on X11, wall (µs)", "bench_BM_MagnifierFrame", 0),
        ("one magnifier frame on X11, CPU (µs)", "bench_cpu_BM_MagnifierFrame", 0),
        ("the same with the pointer asked for after a move, wall (µs)",
         "bench_BM_MagnifierFrameAfterMove", 0),
        ("one sampling tick on X11, pointer grabbed, after a move, wall (µs)",
         "bench_BM_TickFollowingTheGrab", 0),
        ("the same, CPU (µs)", "bench_cpu_BM_TickFollowingTheGrab", 0),
        ("one sampling tick on X11, pointer grabbed and still, wall (µs)",
         "bench_BM_TickFollowingTheGrabAtRest", 2),
        ("the same, CPU (µs)", "bench_cpu_BM_TickFollowingTheGrabAtRest", 2),
        ("one sampling tick outside a pick, pointer moved, wall (µs)",
         "bench_BM_TickPointerMoved", 0),
        ("the same, CPU (µs)", "bench_cpu_BM_TickPointerMoved", 0),
        ("one sampling tick outside a pick, pointer at rest, wall (µs)",
         "bench_BM_TickPointerAtRest", 0),
        ("the same, CPU (µs)", "bench_cpu_BM_TickPointerAtRest", 0),
    ]
    for size in (15, 64, 256):
        rows += [(f"a {size} x {size} block read from the screen, wall (µs)",
                  f"bench_BM_ReadBlock/{size}", 0),
                 ("the same, CPU (µs)", f"bench_cpu_BM_ReadBlock/{size}", 0)]
    for name in names[1:]:
        for _, measure, _ in rows:
            if measure.startswith("bench_"):
                reasons[(measure, name)] = ""  # our own code: no peer, a baseline without them
    report = []
    if programs:
        report += [f"## Linux: HUEVEX and the peers ({args.runs} runs; median (min–max))", "",
                   table(rows, names, results, reasons), "", goals(results, bench_times), ""]
    if wine_programs:
        wine_rows = [
            ("start-up to the window mapped (ms)", "startup", 0),
            ("resident memory after start-up (MiB)", "memory", 2),
            (f"CPU idle, {args.idle:.0f} s (% of a core)", "idle", 3),
            ("CPU picking, pointer moving (%)", "pick_moving", 2),
            ("CPU picking, pointer held still (%)", "pick_held", 2),
            ("wineserver CPU meanwhile, moving (%)", "wineserver_moving", 2),
            ("wineserver CPU meanwhile, held (%)", "wineserver_held", 2),
            ("X server CPU meanwhile, moving (%)", "server_moving", 2),
            ("X server CPU meanwhile, held (%)", "server_held", 2),
            ("ticks per second, a pick held still (counted inside)", "ticks_held", 1),
            ("ticks per second, a pick moving (counted inside)", "ticks_moving", 1),
        ]
        wine_reasons = {(m, "floor"): "" for m in ("ticks_held", "ticks_moving")}
        report += [f"## Wine: HUEVEX.exe and the floor ({args.runs} runs)", "",
                   table(wine_rows, [p.name for p in wine_programs], wine_results,
                         wine_reasons), "",
                   f"wineserver while both idle: "
                   f"{cell(wine_results.get('wineserver_idle', 'both'), 3)} % of a core", "",
                   "Inside HUEVEX.exe (huevex_wine_bench.exe), in µs; each column the median "
                   "over the runs of that statistic:", "",
                   inside_table(wine_results), "",
                   f"HUEVEX.exe: {os.path.getsize(os.path.join(args.win, 'HUEVEX.exe'))} bytes.",
                   ""]
    if args.wayland and programs:
        report += [f"## Wayland: HUEVEX on Xwayland in a headless sway, beside X11 ({args.runs} "
                   "runs)", "", wayland_report(wayland_results, results, bench_times), ""]
    elif wayland_skipped != "--no-wayland":
        report += [f"Wayland: not measured ({wayland_skipped}).", ""]
    if args.baseline:
        report += [f"baseline: {args.baseline}"
                   + ("" if baseline_times else " (its build has no micro-benchmarks)") + ".", ""]
    report += [f"Machine: {machine()}.",
               f"Versions: {versions(names + ['Xvfb'] + (['wine'] if args.wine else []))}.",
               f"Load average at the end: {load}."]
    text = "\n".join(report)
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text + "\n")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
