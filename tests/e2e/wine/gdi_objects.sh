#!/usr/bin/env bash
# The program's GDI objects stay level over two minutes of the magnifier
# repainting at every tick while the pointer moves over a board of stripes.
#
# The count is read from outside by the Windows probe (winprobe.cpp), which
# opens the program's process. GetGuiResources on another process is a stub
# in Wine (0, ERROR_CALL_NOT_IMPLEMENTED), so the probe counts the entries in
# use in the program's GDI handle table instead, which is what GetGuiResources
# reports on Windows; if GetGuiResources does answer, it is checked as well.
source "$(dirname "$0")/lib.sh"
require_prefix
require_winprobe

RUN_SECONDS=120

start_display
start_window_manager
start_huevex

COLORS=(FF0000 00A000 0000FF FFFF00 808080 00FFFF FF00FF C0C0C0 102030 F0E0D0 7F7F00 007F7F)
start_colorboard 40 80 1200 300 "$(IFS=,; echo "${COLORS[*]}")"
STRIPE=$((BOARD_W / ${#COLORS[@]}))

begin_case "the handle table count follows objects made and deleted"
read -r before with after < <(winprobe gdi-selfcheck | awk '{print $NF}' | paste -sd' ')
check "50 brushes more, then none" "+50 +0" "+$((with - before)) +$((after - before))"
end_case

# Sets GDI_TABLE and GDI_GUI: the least of 20 readings of each, since a
# reading may fall inside a frame, which holds a memory context, a bitmap and
# a brush for a moment.
gdi_count() {
  local out
  out=$(winprobe gdi-objects HUEVEX 20) || die "the probe could not read the count: $out"
  log "    ($(tr '\n' ';' <<<"$out"))"
  GDI_TABLE=$(awk '/^table/ {print $2}' <<<"$out")
  GDI_GUI=$(awk '/^GetGuiResources/ {print $2}' <<<"$out")
  [[ "$GDI_TABLE" =~ ^[0-9]+$ && "$GDI_GUI" =~ ^[0-9]+$ ]] || die "unreadable count: $out"
}

begin_case "the count is the program's"
gdi_count
idle_table=$GDI_TABLE
click_magnifier_bar
ZOOM_WINDOW=$(visible_window "Screen Zoom") || die "the magnifier did not open"
move_to "$(stripe_x 5)" $((BOARD_Y + 150))
sleep 1
gdi_count
start_table=$GDI_TABLE start_gui=$GDI_GUI
check "opening the magnifier adds its objects" yes \
  "$( ((start_table > idle_table)) && echo yes || echo "no ($idle_table, then $start_table)")"
if ((start_gui == 0)); then
  log "    GetGuiResources answers 0 here: only the handle table is checked"
fi
end_case

# The pointer moves every 20 ms along a path that never stands still, so
# every 50 ms tick finds it moved and paints a frame.
wander() {
  local i=0 x y
  while :; do
    x=$((BOARD_X + 20 + (i * 7) % (BOARD_W - 40)))
    y=$((BOARD_Y + 20 + (i * 3) % (BOARD_H - 40)))
    xdotool mousemove "$x" "$y"
    sleep 0.02
    i=$((i + 1))
  done
}

begin_case "level over $RUN_SECONDS seconds of frames"
wander &
WANDER_PID=$!
PIDS+=("$WANDER_PID")
sleep $((RUN_SECONDS / 2))
gdi_count
mid_table=$GDI_TABLE mid_gui=$GDI_GUI
sleep $((RUN_SECONDS / 2))
kill "$WANDER_PID"
wait "$WANDER_PID" 2>/dev/null
sleep 0.5
gdi_count
end_table=$GDI_TABLE end_gui=$GDI_GUI
check "handle table: at the start, midway, at the end" \
  "$start_table $start_table $start_table" "$start_table $mid_table $end_table"
if ((start_gui != 0)); then
  check "GetGuiResources: at the start, midway, at the end" \
    "$start_gui $start_gui $start_gui" "$start_gui $mid_gui $end_gui"
fi
check "program still running" yes "$(huevex_running && echo yes || echo no)"
end_case

begin_case "the magnifier still paints what lies under the pointer"
read -r zx zy _ _ < <(window_geometry "$ZOOM_WINDOW")
for index in 2 9; do
  x=$(stripe_x "$index")
  y=$((BOARD_Y + 100))
  move_to "$x" "$y"
  sleep 0.4
  shot=$(grab_screen "after-$index")
  # The cursor's square: (60, 30) in the box, which lies at (17, 17).
  check "the cursor's square over #${COLORS[index]}" "${COLORS[index]}" \
    "$(shot_colors "$shot" $((zx + 17 + 61)) $((zy + 17 + 31)) 9 9)"
done
end_case

finish
