#!/usr/bin/env python3
"""The program's GDI objects stay level over two minutes of the magnifier
repainting at every tick while the pointer moves over a board of stripes.

The count is read from outside by the Windows probe (winprobe.cpp), which
opens the program's process. GetGuiResources on another process is a stub
in Wine (0, ERROR_CALL_NOT_IMPLEMENTED), so the probe counts the entries in
use in the program's GDI handle table instead, which is what GetGuiResources
reports on Windows; if GetGuiResources does answer, it is checked as well.
"""

import threading
import time

from harness import session, wine

RUN_SECONDS = 120
COLORS = ["FF0000", "00A000", "0000FF", "FFFF00", "808080", "00FFFF", "FF00FF", "C0C0C0",
          "102030", "F0E0D0", "7F7F00", "007F7F"]


class Wander:
    """The pointer moving every 20 ms along a path that never stands still,
    so that every 50 ms tick finds it moved and paints a frame."""

    def __init__(self, s, board):
        self.s, self.board = s, board
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        b, i = self.board, 0
        while not self.stop.is_set():
            self.s.xdotool("mousemove", b.x + 20 + (i * 7) % (b.width - 40),
                           b.y + 20 + (i * 3) % (b.height - 40))
            time.sleep(0.02)
            i += 1

    def end(self):
        self.stop.set()
        self.thread.join(10)


def test():
    args = wine.arguments()
    checks = session.Checks()
    with wine.WineSession(args) as s:
        board = s.start(winprobe=True, board=(40, 80, 1200, 300, COLORS))

        with checks.case("the handle table count follows objects made and deleted",
                         s.on_failed_case):
            counts = [int(line.split()[-1]) for line in s.winprobe("gdi-selfcheck").splitlines()]
            before, with_brushes, after = (counts + [0, 0, 0])[:3]
            checks.equal("50 brushes more, then none",
                         (with_brushes - before, after - before), (50, 0))

        with checks.case("the count is the program's", s.on_failed_case):
            idle_table, _ = s.gdi_count()
            s.click_magnifier_bar()
            try:
                zoom = s.wait_for(lambda: s.find_window("^Screen Zoom$", visible=True),
                                  "the magnifier", 10, step=0.05)
            except session.Failure:
                raise session.Failure("the magnifier did not open")
            s.move_to(board.stripe_x(5), board.y + 150)
            time.sleep(1)
            start_table, start_gui = s.gdi_count()
            checks.true(f"opening the magnifier adds its objects ({idle_table}, then "
                        f"{start_table})", start_table > idle_table)
            if start_gui == 0:
                print("    GetGuiResources answers 0 here: only the handle table is checked",
                      flush=True)

        with checks.case(f"level over {RUN_SECONDS} seconds of frames", s.on_failed_case):
            wander = Wander(s, board)
            try:
                time.sleep(RUN_SECONDS / 2)
                mid_table, mid_gui = s.gdi_count()
                time.sleep(RUN_SECONDS / 2)
            finally:
                wander.end()
            time.sleep(0.5)
            end_table, end_gui = s.gdi_count()
            checks.equal("handle table: at the start, midway, at the end",
                         (start_table, mid_table, end_table), (start_table,) * 3)
            if start_gui != 0:
                checks.equal("GetGuiResources: at the start, midway, at the end",
                             (start_gui, mid_gui, end_gui), (start_gui,) * 3)
            checks.true("program still running", s.huevex_running())

        with checks.case("the magnifier still paints what lies under the pointer",
                         s.on_failed_case):
            zx, zy = s.client_origin(zoom)
            for index in (2, 9):
                s.move_to(board.stripe_x(index), board.y + 100)
                time.sleep(0.4)
                shot = s.screenshot()
                # The cursor's square: (60, 30) in the box, which lies at (17, 17).
                checks.equal(f"the cursor's square over #{COLORS[index]}",
                             session.colors_in(shot.block(zx + 17 + 61, zy + 17 + 31, 9, 9)),
                             COLORS[index])
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
