#!/usr/bin/env python3
"""Benchmarks of the Linux program against peer programs, all on one private
Xvfb (no window manager) in the same run:

- start-up until the first window is mapped, against xmag (median of runs);
- resident memory once started and after picks, against xmag;
- CPU time and wake-ups over an idle stretch (magnifier not loaded), against xmag;
- screen samples per second while picking and X round trips per sample,
  counted by a protocol proxy, against gpick's floating picker (when gpick
  is installed);
- one sampling tick against the X server (Google Benchmark).

Prints a report; nothing here passes or fails.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e", "x11"))
import session  # noqa: E402

STRIPES = ["FF0000", "00FF00", "0000FF", "FFFFFF", "000000", "050AC8", "100F01", "808080"]
HZ = os.sysconf("SC_CLK_TCK")


def proc_status(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            values[key] = rest.split()
    return values


def rss_kib(pid):
    return int(proc_status(pid)["VmRSS"][0])


def cpu_and_wakeups(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime + stime
    status = proc_status(pid)
    switches = int(status["voluntary_ctxt_switches"][0]) + int(
        status["nonvoluntary_ctxt_switches"][0])
    return ticks, switches


def startup(s, args, command, runs):
    times = []
    for _ in range(runs):
        watch = s.spawn([args.mapwatch, *command], stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)
        pid = int(watch.stdout.readline().split()[1])
        line = watch.stdout.readline().split()
        if line and line[0] == b"mapped":
            times.append(int(line[1]) / 1000.0)
        os.kill(pid, 15)
        watch.wait(10)
        time.sleep(0.2)
    return statistics.median(times) if times else float("nan")


def count_window(log_path, begin, end):
    """Screen samples, replies and pointer queries between begin and end. A
    sample is a read of the screen: GetImage, MIT-SHM's ShmGetImage, or a
    CopyArea (a server-side copy of the screen, as GTK pickers do). Pointer
    queries are QueryPointer and XInput2's XIQueryPointer."""
    with open(log_path) as f:
        lines = [line.split() for line in f]
    majors = {}
    for parts in lines:
        if parts[1] == "e":
            majors[" ".join(parts[2:-1])] = parts[-1]
    shm, xinput = majors.get("MIT-SHM"), majors.get("XInputExtension")
    samples = replies = queries = 0
    for parts in lines:
        if not begin <= float(parts[0]) <= end:
            continue
        if parts[1] == "r":
            replies += 1
        elif parts[1] == "q":
            request = (parts[2], parts[3])
            if parts[2] in ("73", "62") or request == (shm, "4"):
                samples += 1
            elif parts[2] == "38" or request == (xinput, "40"):
                queries += 1
    return samples, replies, queries


def wiggle(s, seconds):
    """Moves over the stripes for a while, a step every 20 ms."""
    end = time.monotonic() + seconds
    x = 40
    while time.monotonic() < end:
        s.xdotool("mousemove", x, 100)
        x = 40 + (x + 37) % 1200
        time.sleep(0.02)


def picking_rate(s, args, proxy_display):
    log = os.path.join(args.artifacts, "huevex-xproxy-huevex.log")
    proxy = s.spawn([sys.executable, os.path.join(HERE, "xproxy.py"), s.display[1:],
                     proxy_display[1:], log], stdout=subprocess.PIPE)
    proxy_display = proxy.stdout.readline().split()[1].decode()
    s.start_huevex(env=dict(s.env, DISPLAY=proxy_display))
    start = s.screen_point(s.CROSSHAIR)
    s.xdotool("mousemove", *start)
    time.sleep(0.1)
    s.xdotool("mousedown", 1)
    time.sleep(0.2)
    begin = time.monotonic()
    wiggle(s, args.seconds)
    end = time.monotonic()
    s.xdotool("mouseup", 1)
    time.sleep(0.3)
    s.huevex.terminate()
    s.huevex.wait(10)
    proxy.terminate()
    proxy.wait(10)
    samples, replies, queries = count_window(log, begin, end)
    return samples / (end - begin), replies / max(1, samples), queries / max(1, samples)


def gpick_rate(s, args, proxy_display):
    if not args.gpick:
        return None
    log = os.path.join(args.artifacts, "huevex-xproxy-gpick.log")
    proxy = s.spawn([sys.executable, os.path.join(HERE, "xproxy.py"), s.display[1:],
                     proxy_display[1:], log], stdout=subprocess.PIPE)
    proxy_display = proxy.stdout.readline().split()[1].decode()
    s.xdotool("mousemove", 640, 100)
    gpick = s.spawn([args.gpick, "-s", "-o"],
                    env=dict(s.env, DISPLAY=proxy_display, HOME=args.artifacts),
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(3)  # its floating picker comes up and follows the pointer
    begin = time.monotonic()
    wiggle(s, args.seconds)
    end = time.monotonic()
    s.xdotool("click", 1)
    time.sleep(0.3)
    if gpick.poll() is None:
        gpick.terminate()
    gpick.wait(10)
    proxy.terminate()
    proxy.wait(10)
    samples, replies, queries = count_window(log, begin, end)
    return samples / (end - begin), replies / max(1, samples), queries / max(1, samples)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--huevex", required=True)
    parser.add_argument("--mapwatch", required=True)
    parser.add_argument("--tick-bench")
    parser.add_argument("--colorboard")
    parser.add_argument("--xmag", default="xmag")
    parser.add_argument("--gpick", default=None)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--idle", type=float, default=5.0)
    parser.add_argument("--artifacts", default="/tmp")
    args = parser.parse_args()
    if args.gpick is None:
        for path in os.environ.get("PATH", "").split(":"):
            if os.access(os.path.join(path, "gpick"), os.X_OK):
                args.gpick = os.path.join(path, "gpick")
                break
    args.wm = "none"
    xmag = [args.xmag, "-source", "64x64+0+0"]
    report = []

    with session.Session(args) as s:
        if args.colorboard:
            s.colorboard(0, 0, 1280, 200, STRIPES, os.path.join(args.artifacts, "bench-board.log"))

        huevex_start = startup(s, args, [args.huevex], args.runs)
        xmag_start = startup(s, args, xmag, args.runs)
        report.append(("start-up to mapped (ms, median)", huevex_start, xmag_start))

        huevex = s.start_huevex()
        peer = s.spawn(xmag, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.5)
        report.append(("resident memory at start (MiB)", rss_kib(huevex.pid) / 1024,
                       rss_kib(peer.pid) / 1024))
        before = {p.pid: cpu_and_wakeups(p.pid) for p in (huevex, peer)}
        time.sleep(args.idle)
        after = {p.pid: cpu_and_wakeups(p.pid) for p in (huevex, peer)}
        cpu = {pid: (after[pid][0] - before[pid][0]) * 1000 / HZ for pid in before}
        wake = {pid: after[pid][1] - before[pid][1] for pid in before}
        report.append((f"CPU while idle {args.idle:.0f} s (ms)", cpu[huevex.pid], cpu[peer.pid]))
        report.append((f"wake-ups while idle {args.idle:.0f} s", wake[huevex.pid],
                       wake[peer.pid]))
        for i in range(3):
            s.pick((80 + 160 * i, 100), 1)
        time.sleep(0.3)
        report.append(("resident memory after 3 picks (MiB)", rss_kib(huevex.pid) / 1024,
                       rss_kib(peer.pid) / 1024))
        huevex.terminate()
        huevex.wait(10)
        peer.terminate()
        peer.wait(10)

        proxy_display = f":{int(s.display[1:]) + 50}"
        rate, trips, queries = picking_rate(s, args, proxy_display)
        peer_rate = gpick_rate(s, args, proxy_display)
        report.append(("screen samples per second while picking", rate,
                       peer_rate[0] if peer_rate else None))
        report.append(("X round trips per sample", trips, peer_rate[1] if peer_rate else None))
        report.append(("pointer queries per sample", queries,
                       peer_rate[2] if peer_rate else None))

        tick = None
        if args.tick_bench:
            tick = subprocess.run([args.tick_bench, "--benchmark_min_time=0.5"], env=s.env,
                                  capture_output=True, timeout=300).stdout.decode()

    print(f"{'measure':44} {'huevex':>10} {'peer':>10} {'ratio':>8}")
    for name, ours, theirs in report:
        ratio = f"{ours / theirs:8.2f}" if theirs else "       -"
        theirs_text = f"{theirs:10.2f}" if theirs is not None else "         -"
        print(f"{name:44} {ours:10.2f} {theirs_text} {ratio}")
    print("peers: xmag for start-up, memory and idle; gpick -s (floating picker) for sampling")
    load = ", ".join(f"{v:.2f}" for v in os.getloadavg())
    print(f"load average at the end: {load} on {os.cpu_count()} cores")
    if tick:
        print()
        print(tick)


if __name__ == "__main__":
    main()
