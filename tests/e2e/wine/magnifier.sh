#!/usr/bin/env bash
# The magnifier under Wine: its box is, pixel for pixel, the frame the
# simulated desktop paints for the same picture and cursor (huevex_sim_frame):
# the enlarged squares, the checkered grid and the marker. And its toggle on
# the main window's bar: shown, hidden, shown again where it first opened.
source "$(dirname "$0")/lib.sh"
require_prefix
: "${HUEVEX_SIM_FRAME:?}"

start_display
start_window_manager
start_huevex

# Stripes 3 pixels wide, so that the 14 screen pixels across the magnifier's
# copy take in five or six colors and the squares' order shows; two of them
# are the grid's own gray and silver.
COLORS=(FF0000 00A000 0000FF FFFF00 808080 00FFFF FF00FF C0C0C0 102030 F0E0D0 7F7F00 007F7F
  400080 FF8000 80FF00 0080FF 000000 FFFFFF 5A5A5A A5A5A5 123456 654321 ABCDEF FEDCBA)
BOARD_LIST=$(IFS=,; echo "${COLORS[*]}")
start_colorboard 100 200 $((3 * ${#COLORS[@]})) 120 "$BOARD_LIST"
STRIPE=3

# The magnifier's box inside its window: 139 x 71 at (17, 17).
BOX_X=17
BOX_Y=17
BOX_W=139
BOX_H=71

ZOOM_WINDOW=""
zoom_shown() { xwininfo -id "$ZOOM_WINDOW" 2>/dev/null | grep -q 'Map State: IsViewable'; }
zoom_hidden() { xwininfo -id "$ZOOM_WINDOW" 2>/dev/null | grep -q 'Map State: IsUnMapped'; }

# Rests the cursor at a point of the board, then compares the box on screen
# with the simulated desktop's frame for that point.
check_frame_at() {  # X Y NAME
  local x=$1 y=$2 name=$3
  move_to "$x" "$y"
  sleep 0.4  # more than the 250 ms after which a resting cursor's frame is repainted
  local shot
  shot=$(grab_screen "$name")
  local zx zy zw zh
  read -r zx zy zw zh < <(window_geometry "$ZOOM_WINDOW")
  shot_crop "$shot" $((zx + BOX_X)) $((zy + BOX_Y)) "$BOX_W" "$BOX_H" "$WORK/$name-wine.ppm"
  "$HUEVEX_SIM_FRAME" "$BOARD_X" "$BOARD_Y" "$BOARD_W" "$BOARD_H" "$BOARD_LIST" "$x" "$y" \
    "$WORK/$name-sim.ppm" || die "huevex_sim_frame failed"
  check "pixels unlike the simulated desktop's frame" 0 \
    "$(pixels_differing "$WORK/$name-wine.ppm" "$WORK/$name-sim.ppm" "$WORK/$name-diff.png")"

  # Some of what the comparison covers, checked on its own, so that a fault
  # the simulated desktop shares does not pass unseen. The cursor's pixel is
  # the square at (60, 30); the marker's bars, 5 pixels thick, frame it from
  # (55, 25), so the squares beside it show only their outer parts.
  local box="$WORK/$name-wine.ppm"
  check "the cursor's square inside its grid lines" "$(pixel "$x" "$y")" \
    "$(shot_colors "$box" 61 31 9 9)"
  check "the square to its left, beside the marker" "$(pixel $((x - 1)) "$y")" \
    "$(shot_colors "$box" 51 31 4 9)"
  check "the square to its right, beside the marker" "$(pixel $((x + 1)) "$y")" \
    "$(shot_colors "$box" 75 31 5 9)"
  check "the first square" "$(pixel $((x - 6)) $((y - 3)))" "$(shot_colors "$box" 1 1 9 9)"
  check "the last whole row's last square" "$(pixel $((x + 6)) $((y + 3)))" \
    "$(shot_colors "$box" 121 61 9 9)"
  check "grid dots at (0, 0), (1, 0), (10, 1), (10, 2)" "808080 C0C0C0 C0C0C0 808080" \
    "$(shot_pixel "$box" 0 0) $(shot_pixel "$box" 1 0) $(shot_pixel "$box" 10 1) $(shot_pixel "$box" 10 2)"
  check "the marker's top bar, (55, 25) 18 x 5" "808080
C0C0C0" "$(shot_colors "$box" 55 25 18 5)"
  check "the marker's unpainted corner (73, 43)" "$(pixel $((x + 1)) $((y + 1)))" \
    "$(shot_pixel "$box" 73 43)"
  check "colors in the box" yes \
    "$(n=$(shot_colors "$box" 0 0 "$BOX_W" "$BOX_H" | wc -l); ((n >= 6)) && echo yes || echo "no ($n)")"
}

begin_case "the first click on the bar opens the magnifier below the main window"
click_magnifier_bar
ZOOM_WINDOW=$(visible_window "Screen Zoom") || ZOOM_WINDOW=""
[ -n "$ZOOM_WINDOW" ] || die "the magnifier did not open"
read -r ZOOM_X ZOOM_Y ZOOM_W ZOOM_H < <(window_geometry "$ZOOM_WINDOW")
check "size" "175x106" "${ZOOM_W}x${ZOOM_H}"
# As wide as the main window's frame, whose left edge lies as far out as its right.
check "left edge under the main window's" $((CLIENT_X - (ZOOM_W - CLIENT_W) / 2)) "$ZOOM_X"
check "top below the main window" yes "$( ((ZOOM_Y >= CLIENT_Y + CLIENT_H)) && echo yes || echo no)"
end_case

begin_case "the box at rest over the stripes"
check_frame_at $((BOARD_X + 11 * STRIPE + 1)) $((BOARD_Y + 60)) rest-1
end_case

begin_case "the box follows the cursor"
check_frame_at $((BOARD_X + 15 * STRIPE)) $((BOARD_Y + 30)) rest-2
check_frame_at $((BOARD_X + 6 * STRIPE + 2)) $((BOARD_Y + 90)) rest-3
end_case

begin_case "the second click hides it"
click_magnifier_bar
wait_for "the magnifier to hide" 3 zoom_hidden
check "the magnifier's window" hidden "$(zoom_hidden && echo hidden || echo shown)"
end_case

begin_case "the third click shows it where it was, though the main window moved"
xdotool windowmove "$HUEVEX_WINDOW" 300 150
wait_for "the main window to move" 5 bash -c \
  "[ \"\$(xwininfo -id $HUEVEX_WINDOW | awk '/Absolute upper-left Y/ {print \$NF}')\" != $CLIENT_Y ]"
read -r CLIENT_X CLIENT_Y CLIENT_W CLIENT_H < <(window_geometry "$HUEVEX_WINDOW")
log "    (main window's client now at $CLIENT_X,$CLIENT_Y)"
click_magnifier_bar
wait_for "the magnifier to show" 3 zoom_shown
check "the magnifier's window" shown "$(zoom_shown && echo shown || echo hidden)"
check "its place" "$ZOOM_X $ZOOM_Y" "$(window_geometry "$ZOOM_WINDOW" | cut -d' ' -f1,2)"
check_frame_at $((BOARD_X + 9 * STRIPE + 1)) $((BOARD_Y + 40)) rest-4
end_case

finish
