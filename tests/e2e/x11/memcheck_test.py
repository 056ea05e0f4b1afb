#!/usr/bin/env python3
"""One whole session of the real program under valgrind's memcheck.

The program starts, opens the help panel and the magnifier, picks a color
from another program's window with the magnifier following, serves the code
to xclip, and is closed by its close box's message. Memcheck must report no
error and no block definitely lost (its exit status says so), and the
program must have done its work on the way.
"""

import os
import time

from harness import session

QUESTION = (150, 85)
BOARD = (0, 0, 300, 200)
SLOW = 30.0  # memcheck runs the program many times slower


def test():
    args = session.arguments(lambda p: p.add_argument("--valgrind", required=True))
    args.wm = "none"
    checks = session.Checks()
    log = os.path.join(args.artifacts, "huevex-memcheck.log")
    memcheck = [args.valgrind, "--tool=memcheck", "--leak-check=full",
                "--errors-for-leak-kinds=definite", "--error-exitcode=99", "--num-callers=30",
                "--track-origins=yes", f"--log-file={log}"]
    with session.XvfbSession(args) as s:
        huevex = s.start_huevex(prefix=memcheck, timeout=SLOW * 4)
        s.colorboard(*BOARD, ["050AC8"], "/dev/null")
        s.click_client(QUESTION)  # the help panel
        time.sleep(0.5)
        s.toggle_magnifier()
        checks.true("the magnifier opened",
                    s.wait_for(s.magnifier_shown, "the magnifier shown", SLOW))
        s.clear_clipboard()
        # The release copies what the last tick sampled: rest at the target
        # long enough for a slowed-down tick to come.
        s.pick((BOARD[2] // 2, BOARD[3] // 2), hold=lambda: time.sleep(1.5))
        checks.equal("picked", s.wait_clipboard("#050AC8", timeout=SLOW), "#050AC8")
        checks.true("the pick closed the magnifier",
                    s.wait_for(lambda: s.magnifier() is None,
                               "the magnifier to close", SLOW))
        s.run([args.tool, "close", s.main_window])
        try:
            status = huevex.wait(SLOW * 4)
        except session.subprocess.TimeoutExpired:
            status = "still running"
    with open(log) as f:
        report = f.read()
    summary = [line for line in report.splitlines()
               if "ERROR SUMMARY" in line or "definitely lost" in line]
    print("\n".join(summary), flush=True)
    checks.equal("exit status under memcheck (99: errors or leaks)", status, 0)
    checks.true("memcheck reported its summary", any("ERROR SUMMARY: 0 errors" in line
                                                     for line in summary))
    if checks.failed:
        print(report, flush=True)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
