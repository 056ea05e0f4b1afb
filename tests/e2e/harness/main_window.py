"""What the main window shows where no text lies: the client pixels every
platform's main window is checked at (the simulated desktop's KnownPixels in
tests/scenario/main_window_test.cpp holds the same points), with colors as
RRGGBB or a system color's name, which each platform's test resolves with its
own table of system colors."""

WHITE, GRAY, BLACK = "FFFFFF", "A0A0A0", "000000"

# (what, client x, client y, RRGGBB or a system color's name)
KNOWN_PIXELS = [
    ("swatch inside", 20, 15, "WINDOW"),
    ("swatch border", 8, 8, "WINDOWFRAME"),
    ("swatch border, right", 40, 15, "WINDOWFRAME"),
    ("code table inside", 120, 40, WHITE),
    ("table top line", 100, 16, GRAY),
    ("table HEX/DEC line", 100, 32, GRAY),
    ("table DEC/RGB line", 100, 48, GRAY),
    ("table bottom line", 100, 64, GRAY),
    ("table left line", 80, 40, GRAY),
    ("table right line", 152, 40, GRAY),
    ("white line beside the table", 153, 40, WHITE),
    ("white line under the table", 100, 65, WHITE),
    ("under the white line", 100, 66, "BTNFACE"),
    ("beside the white line", 154, 40, "BTNFACE"),
    ("question mark stroke", 150, 81, BLACK),
    ("question picture, transparent", 146, 80, "BTNFACE"),
    ("question picture over the frame's edge", 144, 80, "BTNSHADOW"),
    ("magnifier lens", 24, 81, BLACK),
    ("magnifier picture, transparent", 16, 80, "BTNFACE"),
    ("caret edge", 115, 85, BLACK),
    ("caret picture, transparent", 112, 80, "BTNFACE"),
    ("crosshair tick", 23, 48, BLACK),
    ("crosshair centre dot", 23, 55, BLACK),
    ("crosshair, transparent", 16, 48, "BTNFACE"),
    ("picker box shadow edge", 8, 30, "BTNSHADOW"),
    ("swatch over the picker box", 8, 24, "WINDOWFRAME"),
    ("picker box light edge", 9, 30, "BTNHIGHLIGHT"),
    ("window face", 2, 2, "BTNFACE"),
]


def resolve(color, system):
    """RRGGBB for a color of the table: a system color's name looked up."""
    return system.get(color, color)
