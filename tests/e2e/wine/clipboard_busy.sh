#!/usr/bin/env bash
# Another Windows program holds the clipboard open: a pick then copies
# nothing, keeps the program running, says so in the main window's title and
# leaves the user's clipboard as it was. Once the clipboard is free again the
# next pick copies and the title is plain again.
source "$(dirname "$0")/lib.sh"
require_prefix
require_winprobe

start_display
start_window_manager
start_huevex

COLORS=(2E8B57 B22222)
start_colorboard 40 760 600 160 "$(IFS=,; echo "${COLORS[*]}")"
STRIPE=$((BOARD_W / ${#COLORS[@]}))

# The holder reads its stdin from a pipe kept open here; a line on it makes
# the holder close the clipboard.
HOLDER_LOG="$WORK/holder.log"
hold_clipboard() {
  local fifo="$WORK/holder.fifo"
  mkfifo "$fifo"
  exec {HOLDER_FD}<>"$fifo"
  : >"$HOLDER_LOG"
  WINE_STARTED=1
  wine "$WINPROBE" hold-clipboard <"$fifo" >"$HOLDER_LOG" 2>"$WORK/holder.err" &
  PIDS+=($!)
  wait_for "the holder to open the clipboard" 30 grep -q '^holding' "$HOLDER_LOG" ||
    die "the holder could not open the clipboard: $(tr -d '\r' <"$HOLDER_LOG")"
}
release_clipboard() {
  echo release >&"$HOLDER_FD"
  wait_for "the holder to close the clipboard" 10 grep -q '^released' "$HOLDER_LOG" ||
    die "the holder did not let go"
}

program_running() { huevex_running && echo yes || echo no; }
title() { window_title "$HUEVEX_WINDOW"; }

begin_case "a pick while another program holds the clipboard open"
clear_clipboard
hold_clipboard
x=$(stripe_x 0)
y=$(stripe_y)
check "color under the pointer's target" "${COLORS[0]}" "$(pixel "$x" "$y")"
press_and_drag 1 "$x" "$y"
release 1
check_soon "title once the copy is given up" "HUEVEX - NOT COPIED" title
check "the user's clipboard" "$CLEARED" "$(clipboard)"
check "swatch" "${COLORS[0]}" "$(pixel $((CLIENT_X + SWATCH_X)) $((CLIENT_Y + SWATCH_Y)))"
check "program still running" yes "$(program_running)"
end_case

begin_case "freeing the clipboard copies nothing late"
release_clipboard
sleep 0.5
check "title" "HUEVEX - NOT COPIED" "$(title)"
check "the user's clipboard" "$CLEARED" "$(clipboard)"
end_case

begin_case "the next pick copies and the title is plain again"
pick_and_check 1 "$(stripe_x 1)" "$(stripe_y)" "${COLORS[1]}"
check_soon "title" "HUEVEX" title
end_case

finish
