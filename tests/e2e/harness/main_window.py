"""What the main window shows where no text lies: the client pixels every
platform's main window is checked at, read from the one table the simulated
desktop's test uses too (tests/scenario/main_window_pixels.inc), with colors
as RRGGBB or a system color's name, which each platform's test resolves with
its own table of system colors."""

import pathlib
import re

WHITE, GRAY, BLACK = "FFFFFF", "A0A0A0", "000000"

_TABLE = pathlib.Path(__file__).resolve().parents[2] / "scenario" / "main_window_pixels.inc"

# (what, client x, client y, RRGGBB or a system color's name)
KNOWN_PIXELS = [
    (what, int(x), int(y), color)
    for what, x, y, color in re.findall(r'^PIXEL\("([^"]*)", (\d+), (\d+), "(\w+)"\)$',
                                        _TABLE.read_text(), re.MULTILINE)
]

if len(KNOWN_PIXELS) != _TABLE.read_text().count("\nPIXEL("):
    raise SystemExit(f"{_TABLE} has lines that are not PIXEL(what, x, y, color)")


def resolve(color, system):
    """RRGGBB for a color of the table: a system color's name looked up."""
    return system.get(color, color)
