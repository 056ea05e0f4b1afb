#!/usr/bin/env python3
"""The program on Xwayland in a headless sway with no way to the screen, each
case in a session of its own: the desktop portal forced (HUEVEX_SCREEN=portal)
in a session without a session bus, so no portal can answer; and the X root
forced (HUEVEX_SCREEN=x11), which Xwayland refuses to read on every tick.

It must say so once: the main window's title while it lasts, a message box
the first time (at start-up or at the first pick), never a line per tick on
stderr; and it must go on running through picks and the magnifier's ticks.
From the command line (`huevex --pick`) no picture can come to cover the
screen with: the pick ends at once, with status 2 and the reason.
"""

import time

import sway_session
from harness import session

TITLE = "HUEVEX - SCREEN NOT READABLE"
MESSAGE = "cannot read the screen"
TICKS = 1.0  # seconds of the magnifier's and the sampler's ticks


def boxes(s):
    """Message boxes: windows titled like the program that are not its main window."""
    return [w for w in s.windows("^HUEVEX$") if w != s.main_window and s.viewable(w)]


def dismiss(s, box):
    width, height = s.client_size(box)
    s.click_client((width // 2, height - 24), box)  # its OK button
    s.wait_for(lambda: box not in boxes(s), "the message box to close", 5)


CASES = [("portal without a session bus", "portal"), ("the X root forced", "x11")]


def test():
    args = session.arguments()
    checks = session.Checks()
    for name, source in CASES:
        with sway_session.SwaySession(args) as s:
            checks.run(name, told_once, s, checks, source)
            if s.huevex:
                stderr = s.stderr()
                checks.equal("the reason on stderr once", stderr.count(MESSAGE), 1)
                # The message box's text, and a line or two besides.
                checks.equal("stderr beyond five lines", stderr.splitlines()[5:8], [])
                checks.equal("still running", s.huevex.poll(), None)
            checks.run(f"{name}, from the command line", command_told, s, checks, source)
            if checks.failed:
                s.save_screenshot(f"huevex-wayland-no-source-{source}.png")
    return checks.finish()


def told_once(s, checks, source):
    s.start_huevex({"HUEVEX_SCREEN": source})
    first = session.poll(lambda: boxes(s), 3)
    if not first:
        # Not at start-up: the first pick's reads find out.
        s.clear_clipboard()
        s.pick((100, 100))
        first = session.poll(lambda: boxes(s), 5)
    checks.equal("one message box the first time", len(first), 1)
    checks.equal("the title says so", s.title(), TITLE)
    for box in first:
        dismiss(s, box)

    # More reads: a pick held for a while, the magnifier open meanwhile.
    s.toggle_magnifier()
    s.pick((300, 300), hold=lambda: time.sleep(TICKS))
    time.sleep(TICKS)
    checks.equal("no message box again", boxes(s), [])
    checks.equal("the title still says so", s.title(), TITLE)


def command_told(s, checks, source):
    s.stop_huevex()
    s.start_huevex({"HUEVEX_SCREEN": source}, args=["--pick"])
    s.wait_for(lambda: s.huevex.poll() is not None, "the command to end", 10)
    checks.equal("the command's status", s.huevex.poll(), 2)
    checks.true("the command says why", "the screen could not be read" in s.stderr())


if __name__ == "__main__":
    sway_session.SwaySession.main(test)
