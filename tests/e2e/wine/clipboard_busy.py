#!/usr/bin/env python3
"""Another Windows program keeps the clipboard open during a pick. The pick
copies nothing and the program goes on, with "NOT COPIED" in its title and
the user's clipboard untouched; letting the clipboard go copies nothing late;
the next pick copies again and the title is plain once more."""

import subprocess
import time

from harness import session, wine

COLORS = ["2E8B57", "B22222"]


class ClipboardHolder:
    """The probe holding the Windows clipboard open until a line arrives on
    its stdin, a pipe kept open here."""

    def __init__(self, s):
        self.s, self.log = s, s.artifact("holder.log")
        with open(self.log, "wb") as out, open(s.artifact("holder.err"), "wb") as errors:
            self.process = s.start_winprobe("hold-clipboard", stdin=subprocess.PIPE, stdout=out,
                                            stderr=errors)
        try:
            s.wait_for(lambda: self._said("holding"), "the holder to open the clipboard", 30,
                       step=0.05)
        except session.Failure:
            raise session.Failure(f"the holder could not open the clipboard: {self._text()}")

    def release(self):
        self.process.stdin.write(b"release\n")
        self.process.stdin.flush()
        try:
            self.s.wait_for(lambda: self._said("released"), "the holder to close the clipboard",
                            10, step=0.05)
        except session.Failure:
            raise session.Failure("the holder did not let go")

    def _text(self):
        with open(self.log, errors="replace") as f:
            return f.read().replace("\r", "")

    def _said(self, word):
        return any(line.startswith(word) for line in self._text().splitlines())


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        board = s.start(winprobe=True, board=(40, 760, 600, 160, COLORS))

        def title():
            return s.window_title(s.main_window)

        with checks.case("a pick while another program holds the clipboard open",
                         s.on_failed_case):
            s.clear_clipboard()
            holder = ClipboardHolder(s)
            x, y = board.stripe_x(0), board.middle_y()
            checks.equal("color under the pointer's target", s.pixel(x, y), COLORS[0])
            s.press_and_drag(1, x, y)
            s.release(1)
            checks.soon("title once the copy is given up", title, "HUEVEX - NOT COPIED")
            checks.equal("the user's clipboard", s.clipboard(), s.cleared)
            checks.equal("swatch", s.pixel(*s.at(s.SWATCH)), COLORS[0])
            checks.true("program still running", s.huevex_running())

        with checks.case("freeing the clipboard copies nothing late", s.on_failed_case):
            holder.release()
            time.sleep(0.5)
            checks.equal("title", title(), "HUEVEX - NOT COPIED")
            checks.equal("the user's clipboard", s.clipboard(), s.cleared)

        with checks.case("the next pick copies and the title is plain again", s.on_failed_case):
            s.pick_and_check(checks, 1, board.stripe_x(1), board.middle_y(), COLORS[1])
            checks.soon("title", title, "HUEVEX")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
