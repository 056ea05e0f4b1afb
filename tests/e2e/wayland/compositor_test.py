"""The capture module's compositor capture against a stand-in compositor.

For ext-image-copy-capture and wlr-screencopy (whose stand-in stores rows
bottom up), the probe loads the module as the program does and must read
the output's pixels at its scale, follow frames while capturing is wanted,
follow an output that grows, get over a capture session that stops, and end
in a clear state, with reads that fail, when every capture fails or the
compositor dies. A compositor without a capture protocol is refused at once; one with
wlr-screencopy version 2 is used as well, and an output turned a quarter
without xdg-output is placed by its mode.
"""

import argparse
import os
import subprocess
import sys
import tempfile

from harness import session

parser = argparse.ArgumentParser()
parser.add_argument("--probe", required=True)
parser.add_argument("--module", required=True)
parser.add_argument("--fake", required=True)
args = parser.parse_args()

checks = session.Checks()
check = checks.equal


def run(protocol, mode, steps):
    with tempfile.TemporaryDirectory(prefix="huevex-compositor-") as runtime:
        os.chmod(runtime, 0o700)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
        fake = subprocess.Popen([args.fake, protocol, mode], stdout=subprocess.PIPE, text=True,
                                env=env)
        try:
            words = fake.stdout.readline().split()
            if words[:1] != ["ready"]:
                raise SystemExit(f"the stand-in compositor did not start ({protocol} {mode})")
            env["WAYLAND_DISPLAY"] = words[1]
            probe = subprocess.run([args.probe, args.module, "open", "screencopy", *steps],
                                   capture_output=True, text=True, timeout=60, env=env)
            return probe.stdout.splitlines()
        finally:
            if fake.poll() is None:
                fake.terminate()
            fake.wait(timeout=10)


def colors(lines):
    """Each read's red and green (blue counts the frames), or how it failed."""
    return [line.split()[3][:4] if len(line.split()[3]) == 6 else line.split()[3]
            for line in lines if line.startswith("pixel")]


def blues(lines):
    return [line.split()[3][4:] for line in lines if line.startswith("pixel")]


for protocol in ["ext", "wlr"]:
    # Logical (1, 1) at scale 2 is buffer pixel (2, 2): red and green 0x50;
    # (5, 2) is off the 4 x 2 output. Frames keep coming while wanted; at
    # rest there is nothing to read.
    out = run(protocol, "ok", ["want", "1", "wait", "live", "3000", "read", "1", "1", "read", "5",
                               "2", "pump", "200", "read", "1", "1", "state", "want", "0", "state",
                               "read", "1", "1"])
    check(f"{protocol} ok: reads", colors(out), ["5050", "0000", "5050", "noframe"])
    check(f"{protocol} ok: states", [l for l in out if l.startswith("state")],
          ["state live ", "state live ", "state idle "])
    b = blues(out)
    check(f"{protocol} ok: later frames read", b[0] != b[2], True)

    # The output grows under the capture: (5, 2) is then buffer (10, 4).
    out = run(protocol, "resize", ["want", "1", "wait", "live", "3000", "read", "5", "2", "pump",
                                   "400", "state", "read", "5", "2", "read", "1", "1"])
    check(f"{protocol} resize", colors(out), ["0000", "90A0", "5050"])
    check(f"{protocol} resize: states", [l for l in out if l.startswith("state")],
          ["state live ", "state live "])

    # Every capture fails: given up, said why, reads fail.
    out = run(protocol, "fail", ["want", "1", "wait", "failed", "3000", "read", "1", "1"])
    check(f"{protocol} fail", out[1:], ["state failed the compositor failed to capture the screen",
                                        "pixel 1 1 failed"])

    # The compositor dies: the last frame is not read as live.
    out = run(protocol, "die", ["want", "1", "wait", "live", "3000", "pump", "400", "state",
                                "read", "1", "1"])
    check(f"{protocol} die", out[2:], ["state failed the connection to the Wayland compositor "
                                       "was lost", "pixel 1 1 failed"])

# Constraints told again, and the capture waiting refused for them: the
# next capture follows them, and frames keep coming.
out = run("ext", "constraints", ["want", "1", "wait", "live", "3000", "pump", "100", "read", "1",
                                 "1", "pump", "300", "read", "1", "1"])
b = blues(out)
check("ext constraints", colors(out) + [len(b) == 2 and b[0] != b[1]], ["5050", "5050", True])

# The output moves and the screen stays still: captures that wait for a
# change would wait for ever, so the module asks afresh and reads the
# output at its new place.
for protocol in ["ext", "wlr"]:
    out = run(protocol, "move", ["want", "1", "wait", "live", "3000", "pump", "400", "state",
                                 "read", "11", "1", "read", "1", "1"])
    check(f"{protocol} move", [l for l in out if l.startswith("state")] + colors(out),
          ["state live ", "state live ", "5050", "0000"])

# A session that stops is started again.
out = run("ext", "stop", ["want", "1", "wait", "live", "3000", "pump", "400", "state", "read", "1",
                          "1"])
check("ext stop", [l for l in out if l.startswith("state")] + colors(out),
      ["state live ", "state live ", "5050"])

# wlr-screencopy as older compositors offer it: version 2, which tells a
# buffer in one event.
out = run("wlr", "v2", ["want", "1", "wait", "live", "3000", "read", "1", "1"])
check("wlr version 2", colors(out), ["5050"])

# An output turned a quarter and no xdg-output to tell its logical size: the
# 8 x 4 mode at scale 2 shows 2 across and 4 down, so (1, 3) lies on it and
# (3, 1) does not.
out = run("wlr", "turned", ["want", "1", "wait", "live", "3000", "read", "1", "3", "read", "3",
                            "1"])
check("wlr turned without xdg-output", colors(out), ["F028", "0000"])

out = run("none", "ok", [])
check("no capture protocol", out, ["unavailable the compositor offers no screen capture to "
                                   "programs"])

sys.exit(checks.finish())
