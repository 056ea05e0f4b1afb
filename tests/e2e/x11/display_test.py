#!/usr/bin/env python3
"""The program without a usable display, and when the display goes away.

- DISPLAY unset, or naming a display nobody serves: a plain message on stderr
  that says how to try it under Xvfb, and a non-zero status;
- the X server ending under a running program: a message and status 1, not a
  crash or a core dump.
"""

import os
import subprocess

from harness import session


def run_without(args, checks, display):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    if display is not None:
        env["DISPLAY"] = display
    result = subprocess.run([args.huevex], env=env, capture_output=True, timeout=20)
    what = "DISPLAY unset" if display is None else f"DISPLAY={display}"
    message = result.stderr.decode(errors="replace")
    checks.true(f"{what}: non-zero status", result.returncode not in (0, None))
    checks.true(f"{what}: not a crash", result.returncode > 0)
    checks.true(f"{what}: says which display", "DISPLAY" in message or display in message)
    checks.true(f"{what}: says how to try it under Xvfb", "Xvfb" in message)


def display_lost(args, checks):
    with session.XvfbSession(args) as s:
        huevex = s.start_huevex()
        s.server.kill()
        s.server.wait(10)
        try:
            status = huevex.wait(10)
        except subprocess.TimeoutExpired:
            status = "still running"
        stderr = huevex.stderr.read().decode(errors="replace")
        checks.equal("display lost: exit status", status, 1)
        checks.true("display lost: says so", "connection to the X display was lost" in stderr)


def test():
    args = session.arguments()
    checks = session.Checks()
    run_without(args, checks, None)
    run_without(args, checks, ":4711")
    display_lost(args, checks)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
