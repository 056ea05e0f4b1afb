"""The capture module's portal source against a stand-in desktop portal.

Runs under dbus-run-session with private_bus.conf (a bus that activates no
service). Each case starts the stand-in in one mode, drives the module with
the probe as the program would (open, root size, wanted on and off, reads)
and checks what it answers, the state and reason the user would be told,
what was asked of the portal, and which snapshot files are left.
"""

import argparse
import os
import subprocess
import sys
import tempfile

parser = argparse.ArgumentParser()
parser.add_argument("--probe", required=True)
parser.add_argument("--module", required=True)
parser.add_argument("--fake", required=True)
args = parser.parse_args()

failed = []


def check(what, actual, expected):
    if actual != expected:
        failed.append(what)
        print(f"FAIL {what}: expected {expected!r}, got {actual!r}", flush=True)


def run(mode, steps, timeout_ms=None):
    """Runs the probe's steps with the stand-in in mode; returns its lines,
    the stand-in's lines and the files left in the snapshot folder."""
    with tempfile.TemporaryDirectory(prefix="huevex-portal-") as folder:
        fake = None
        if mode:
            fake = subprocess.Popen([args.fake, mode, folder], stdout=subprocess.PIPE, text=True)
            if fake.stdout.readline().strip() != "ready":
                raise SystemExit(f"the stand-in portal did not start in mode {mode}")
        options = ["--timeout", str(timeout_ms)] if timeout_ms else []
        probe = subprocess.run([args.probe, args.module, *options, "open", "portal", *steps],
                               capture_output=True, text=True, timeout=60)
        fake_lines = []
        if fake:
            if fake.poll() is None:
                fake.terminate()
            fake_lines = fake.communicate(timeout=10)[0].splitlines()
        return probe.stdout.splitlines(), fake_lines, sorted(os.listdir(folder))


# The snapshot is read at the root's scale (a 4 x 2 picture over a 2 x 1
# root), asked for without interaction, and its file goes once read.
out, fake, left = run("ok", ["root", "2", "1", "want", "1", "wait", "live", "5000",
                             "read", "0", "0", "read", "1", "0", "read", "2", "0", "read", "-1", "0"])
check("ok: state", out[1], "state live ")
check("ok: pixels", out[2:], ["pixel 0 0 FF0000 current", "pixel 1 0 0000FF current",
                              "pixel 2 0 000000 current", "pixel -1 0 000000 current"])
check("ok: request", fake[:1], ["request 1 token=huevex1 interactive=0 modal=0"])
check("ok: files left", left, [])

# One snapshot per time capturing is wanted; while the next is awaited the
# last one is read, marked stale; then the new one, current.
out, fake, left = run("late:600", ["want", "1", "wait", "live", "5000", "read", "0", "1",
                                   "want", "0", "want", "1", "state", "read", "0", "1",
                                   "wait", "live", "5000", "read", "0", "1"])
check("late: steps", out[1:], ["state live ", "pixel 0 1 282828 current", "state waiting ",
                               "pixel 0 1 282828 stale", "state live ", "pixel 0 1 505050 current"])
check("late: requests", [line.split()[0:2] for line in fake], [["request", "1"], ["request", "2"]])

# A file the portal did not make for this request is read and left alone.
out, fake, left = run("old-file", ["want", "1", "wait", "live", "5000", "read", "0", "0"])
check("old file: read", out[2:], ["pixel 0 0 FF0000 current"])
check("old file: kept", left, ["user.png"])

# Answers that give no snapshot: each a state and a reason for the user, and
# reads that fail rather than show anything as live.
for mode, timeout, state in [
        ("refuse", None, "state refused the desktop portal refused to share the screen"),
        ("fail", None, "state failed the desktop portal could not take a screenshot"),
        ("never", 500, "state failed the desktop portal did not answer in time"),
        ("vanish", None, "state failed the desktop portal stopped before it answered"),
        ("no-screenshot", None, "state failed the desktop portal offers no screenshots"),
        (None, None, "state failed the desktop portal is not running")]:
    wanted = state.split()[1]
    # The pump leaves the stand-in time to see what is sent after the state.
    out, fake, left = run(mode, ["want", "1", "wait", wanted, "5000", "read", "0", "0",
                                 "pump", "300"], timeout)
    check(f"{mode}: state", out[1:], [state, "pixel 0 0 failed"])
    if mode == "never":
        check("never: the request is closed", [line.split()[0] for line in fake],
              ["request", "close"])

print(f"{len(failed)} failed", flush=True)
sys.exit(1 if failed else 0)
