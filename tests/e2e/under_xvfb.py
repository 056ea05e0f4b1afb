#!/usr/bin/env python3
"""Runs a command on a private Xvfb (and openbox, with --wm openbox) and
returns its exit status:  under_xvfb.py [--wm openbox] -- COMMAND [ARGS...]"""

import argparse
import signal
import sys

sys.dont_write_bytecode = True  # it runs at build time too: nothing left in the source tree
from harness import session  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wm", choices=["none", "openbox"], default="none")
    parser.add_argument("--screen", default="1280x1024x24")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    args.huevex = None
    # Terminated (a test's time is up): end the command and the server too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    with session.XvfbSession(args, screen=args.screen) as s:
        return s.spawn(command).wait()


if __name__ == "__main__":
    sys.exit(main())
