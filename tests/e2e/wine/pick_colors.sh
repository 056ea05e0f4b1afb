#!/usr/bin/env bash
# Picks every stripe of the color board with the left button, in an order in
# which no two picks in a row give the same code, so that a copy that did not
# happen cannot pass with the previous value. At the end the board must have
# received none of the presses and releases, although every release happened
# over it.
source "$(dirname "$0")/lib.sh"
require_prefix

start_display
start_window_manager
start_huevex

COLORS=(FF0000 00FF00 0000FF FFFFFF 000000 050AC8 100F01 808080)
start_colorboard 40 700 1200 200 "$(IFS=,; echo "${COLORS[*]}")"
STRIPE=$((BOARD_W / ${#COLORS[@]}))

begin_case "before any pick"
check "client size at 96 DPI" "169x105" "${CLIENT_W}x${CLIENT_H}"
check "swatch shows the window color" FFFFFF \
  "$(pixel $((CLIENT_X + SWATCH_X)) $((CLIENT_Y + SWATCH_Y)))"
end_case

for index in "${!COLORS[@]}"; do
  begin_case "left-button pick of #${COLORS[index]}"
  pick_and_check 1 "$(stripe_x "$index")" "$(stripe_y)" "${COLORS[index]}"
  end_case
done

begin_case "the board saw none of the picks"
check "button events logged by the board" "" "$(cat "$BOARD_LOG")"
# The log does work: a click straight on the board is logged.
move_to $((BOARD_X + 10)) $((BOARD_Y + 10))
xdotool click 1
wait_for "the board's log" 5 test -s "$BOARD_LOG"
check "a direct click on the board" "press 1 10 10
release 1 10 10" "$(cat "$BOARD_LOG")"
end_case

finish
