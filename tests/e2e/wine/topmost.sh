#!/usr/bin/env bash
# The main window stays above a window mapped after it, also when that window
# is raised and clicked, and a pick over that window still works.
source "$(dirname "$0")/lib.sh"
require_prefix

start_display
start_window_manager
start_huevex

CROSS_X=$((CLIENT_X + CROSSHAIR_X))
CROSS_Y=$((CLIENT_Y + CROSSHAIR_Y))

begin_case "the main window asks to stay above"
check "_NET_WM_STATE_ABOVE" yes \
  "$(xprop -id "$HUEVEX_WINDOW" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE && echo yes || echo no)"
end_case

# A green window mapped after the main window, larger than it and over it.
start_colorboard $((CLIENT_X - 100)) $((CLIENT_Y - 100)) 400 320 00FF00

begin_case "a window mapped later stays below"
covers=no
if ((BOARD_X < CLIENT_X && BOARD_Y < CLIENT_Y && BOARD_X + BOARD_W > CLIENT_X + CLIENT_W &&
  BOARD_Y + BOARD_H > CLIENT_Y + CLIENT_H)); then
  covers=yes
fi
check "the later window spans the main window" yes "$covers"
check "the later window shows around it" 00FF00 "$(pixel $((BOARD_X + 5)) $((BOARD_Y + 5)))"
# Wine may repaint the main window a moment after the other window maps;
# what matters is that the main window, not the later one, then shows.
check_soon "the swatch still shows" FFFFFF pixel $((CLIENT_X + SWATCH_X)) $((CLIENT_Y + SWATCH_Y))
check_soon "the crosshair still shows" 000000 pixel "$CROSS_X" "$CROSS_Y"
end_case

begin_case "raised and clicked, the later window still stays below"
xdotool windowraise "$BOARD_WINDOW"
move_to $((BOARD_X + 5)) $((BOARD_Y + 5))
xdotool click 1
sleep 0.5
check "the later window took the click" "press 1 5 5
release 1 5 5" "$(cat "$BOARD_LOG")"
check_soon "the swatch still shows" FFFFFF pixel $((CLIENT_X + SWATCH_X)) $((CLIENT_Y + SWATCH_Y))
check_soon "the crosshair still shows" 000000 pixel "$CROSS_X" "$CROSS_Y"
end_case

begin_case "a pick over the later window"
: >"$BOARD_LOG"
pick_and_check 1 $((BOARD_X + 20)) $((BOARD_Y + BOARD_H - 20)) 00FF00
check "button events logged by the board" "" "$(cat "$BOARD_LOG")"
end_case

finish
