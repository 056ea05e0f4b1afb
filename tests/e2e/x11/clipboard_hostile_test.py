#!/usr/bin/env python3
"""Other clients asking for the program's CLIPBOARD in wrong and hostile ways.

After a pick the program owns the clipboard. huevex_hostile_requestor then
asks for it with unknown targets, without a property, from before the
ownership, from windows that vanish before the answer and connections that
close with requests pending, in floods of thousands, with broken, nested and
oversized MULTIPLE lists, and with forged requests and a forged
SelectionClear; it checks every answer itself. Afterwards the program must
still run, still hold the picked code (xclip and xsel read it), and still
pick and copy. Its stderr may hold only the X errors it ignored, each kind once.
"""

import os
import re

import session

BOARD = (0, 0, 300, 200)


def test():
    args = session.arguments(lambda p: p.add_argument("--hostile", required=True))
    checks = session.Checks()
    errors = os.path.join(args.artifacts, f"huevex-hostile-{args.wm}.stderr")
    with session.Session(args) as s, open(errors, "w") as stderr:
        huevex = s.start_huevex(stderr=stderr)
        s.colorboard(*BOARD, ["050AC8", "100F01"], "/dev/null")
        s.clear_clipboard()
        s.pick((75, 100))
        checks.equal("picked", s.wait_clipboard("#050AC8"), "#050AC8")

        result = s.run([args.hostile, "#050AC8"], timeout=240, check=False)
        report = result.stdout.decode(errors="replace")
        print(report, end="", flush=True)
        for line in report.splitlines():
            checks.true(line, line.startswith("ok "))
        checks.true("the hostile client ran every case", report.count("\n") >= 15)
        checks.equal("the hostile client's status", result.returncode, 0)

        checks.equal("still running", huevex.poll(), None)
        checks.equal("xclip reads the code", s.clipboard("xclip"), "#050AC8")
        checks.equal("xsel reads the code", s.clipboard("xsel"), "#050AC8")
        listed = (s.clipboard("xclip", "TARGETS") or "").split()
        checks.true("TARGETS still lists UTF8_STRING", "UTF8_STRING" in listed)
        s.clear_clipboard()
        s.pick((225, 100))
        checks.equal("a pick still copies", s.wait_clipboard("#100F01"), "#100F01")
        checks.equal("still running at the end", huevex.poll(), None)
    with open(errors) as f:
        logged = f.read().splitlines()
    print(f"the program logged {len(logged)} lines; the first: {logged[:2]}", flush=True)
    checks.true("nothing but ignored X errors on stderr",
                all("X error ignored" in line for line in logged))
    # Each cause (the error with the request's codes) is told once, however often it came.
    causes = [re.search(r"ignored: (.*) \(request (\d+\.\d+),", line) for line in logged]
    causes = [match.groups() for match in causes if match]
    checks.equal("each kind of X error told once", len(causes), len(set(causes)))
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
