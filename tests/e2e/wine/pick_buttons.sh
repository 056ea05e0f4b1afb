#!/usr/bin/env bash
# The right and the middle button pick exactly as the left one does, and a
# left pick after them still works: nothing stays captured.
source "$(dirname "$0")/lib.sh"
require_prefix

start_display
start_window_manager
start_huevex

COLORS=(0000FF FFFFFF 050AC8 000000 808080)
start_colorboard 40 700 1200 200 "$(IFS=,; echo "${COLORS[*]}")"
STRIPE=$((BOARD_W / ${#COLORS[@]}))

# Button numbers as X counts them: 1 left, 2 middle, 3 right.
PICKS=("3 0 right" "2 1 middle" "3 2 right" "2 3 middle" "1 4 left")
for pick in "${PICKS[@]}"; do
  read -r button index name <<<"$pick"
  begin_case "$name-button pick of #${COLORS[index]}"
  pick_and_check "$button" "$(stripe_x "$index")" "$(stripe_y)" "${COLORS[index]}"
  end_case
done

begin_case "the board saw none of the picks"
check "button events logged by the board" "" "$(cat "$BOARD_LOG")"
end_case

finish
