#!/usr/bin/env bash
# The main window as Wine shows it, read from one screenshot at known client
# pixels: the points the simulated desktop's main window is checked at
# (KnownPixels in tests/scenario/main_window_test.cpp), so that both show the
# same geometry and colors. Text is left out: fonts differ between platforms.
# Then the swatch after a pick, inside its border.
source "$(dirname "$0")/lib.sh"
require_prefix
require_winprobe

start_display
start_window_manager
start_huevex

# The colors the forms are drawn with, as Wine's user32 gives them to the
# program. The simulated desktop and the X11 program take theirs from the
# table in shell/platform/soft/soft_gdi.cpp, which must say the same.
begin_case "system colors are those of the simulated desktop"
check "GetSysColor" "WINDOW FFFFFF
WINDOWFRAME 9E9E9E
WINDOWTEXT 000000
BTNFACE F5F5F5
BTNSHADOW A6A6A6
BTNTEXT 000000
BTNHIGHLIGHT FFFFFF
3DDKSHADOW 6A6A6A
3DLIGHT E3E3E3" "$(winprobe colors)"
end_case

WINDOW=FFFFFF FRAME=9E9E9E FACE=F5F5F5 SHADOW=A6A6A6 HIGHLIGHT=FFFFFF
WHITE=FFFFFF GRAY=A0A0A0 BLACK=000000

begin_case "known pixels of the client area"
check "client size at 96 DPI" "169x105" "${CLIENT_W}x${CLIENT_H}"
shot=$(grab_screen main-window)
# what, client x, client y, color
while IFS='|' read -r what x y want; do
  check "$what ($x, $y)" "$want" "$(shot_pixel "$shot" $((CLIENT_X + x)) $((CLIENT_Y + y)))"
done <<TABLE
swatch inside|20|15|$WINDOW
swatch border|8|8|$FRAME
swatch border, right|40|15|$FRAME
code table inside|120|40|$WHITE
table top line|100|16|$GRAY
table HEX/DEC line|100|32|$GRAY
table DEC/RGB line|100|48|$GRAY
table bottom line|100|64|$GRAY
table left line|80|40|$GRAY
table right line|152|40|$GRAY
white line beside the table|153|40|$WHITE
white line under the table|100|65|$WHITE
under the white line|100|66|$FACE
beside the white line|154|40|$FACE
question mark stroke|150|81|$BLACK
question picture, transparent|146|80|$FACE
question picture over the frame's edge|144|80|$SHADOW
magnifier lens|24|81|$BLACK
magnifier picture, transparent|16|80|$FACE
caret edge|115|85|$BLACK
caret picture, transparent|112|80|$FACE
crosshair tick|23|48|$BLACK
crosshair centre dot|23|55|$BLACK
crosshair, transparent|16|48|$FACE
picker box shadow edge|8|30|$SHADOW
swatch over the picker box|8|24|$FRAME
picker box light edge|9|30|$HIGHLIGHT
window face|2|2|$FACE
TABLE
end_case

COLORS=(050AC8 3C9E1F)
start_colorboard 40 760 600 160 "$(IFS=,; echo "${COLORS[*]}")"
STRIPE=$((BOARD_W / ${#COLORS[@]}))

for index in "${!COLORS[@]}"; do
  color=${COLORS[index]}
  begin_case "the swatch after a pick of #$color"
  pick_and_check 1 "$(stripe_x "$index")" "$(stripe_y)" "$color"
  shot=$(grab_screen "swatch-$color")
  # The swatch box is 33 x 17 at (8, 8): a one-pixel border round the color.
  check "inside, every pixel" "$color" "$(shot_colors "$shot" $((CLIENT_X + 9)) $((CLIENT_Y + 9)) 31 15)"
  check "top border" "$FRAME" "$(shot_colors "$shot" $((CLIENT_X + 8)) $((CLIENT_Y + 8)) 33 1)"
  check "bottom border" "$FRAME" "$(shot_colors "$shot" $((CLIENT_X + 8)) $((CLIENT_Y + 24)) 33 1)"
  check "left border" "$FRAME" "$(shot_colors "$shot" $((CLIENT_X + 8)) $((CLIENT_Y + 8)) 1 17)"
  check "right border" "$FRAME" "$(shot_colors "$shot" $((CLIENT_X + 40)) $((CLIENT_Y + 8)) 1 17)"
  check "face beside it" "$FACE" "$(shot_pixel "$shot" $((CLIENT_X + 41)) $((CLIENT_Y + 9)))"
  end_case
done

finish
