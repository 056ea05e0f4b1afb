#!/usr/bin/env python3
"""The Win32 backend's own checks (backend_test.cpp, built beside HUEVEX.exe)
against Wine's user32 and gdi32, on a private display."""

import os

from harness import session, wine


def test():
    args = wine.arguments()
    checks = session.Checks()
    tests = os.path.join(os.path.dirname(args.huevex), "huevex_win32_tests.exe")
    with wine.WineSession(args) as s:
        s.require_prefix()
        if not os.path.isfile(tests):
            raise session.Failure(f"no {tests}: build the Windows build's "
                                  "huevex_win32_tests target")
        with checks.case("Win32 backend checks", s.on_failed_case):
            status = s.wine(tests, timeout=120, log="backend.log")
            with open(s.artifact("backend.log"), errors="replace") as f:
                for line in f:
                    print("    " + line.rstrip(), flush=True)
            checks.equal("exit status", status, 0)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
