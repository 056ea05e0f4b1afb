#!/usr/bin/env bash
# The close box ends the program: the window manager's close (what its close
# box does: WM_DELETE_WINDOW to the program) ends the process, when idle and
# in the middle of a pick.
source "$(dirname "$0")/lib.sh"
require_prefix

start_display
start_window_manager

# Closes the main window as the window manager's close box does and checks
# that the process ends with status 0 and takes its window along.
close_and_check() {
  "$HUEVEX_XPROBE" close "$HUEVEX_WINDOW"
  wait_for "the program to end" 15 bash -c "! kill -0 $HUEVEX_PID"
  check "program ended" yes "$(huevex_running && echo no || echo yes)"
  if ! huevex_running; then
    wait "$HUEVEX_PID"
    check "exit status" 0 "$?"
  fi
  check "windows left" "" "$(xdotool search --onlyvisible --name '^HUEVEX$' 2>/dev/null)"
}

begin_case "close box while idle"
start_huevex
close_and_check
end_case

begin_case "close box in the middle of a pick"
start_huevex
press_and_drag 1 100 100
check "picking" "$CROSSHAIR_CURSOR" "$(cursor_image)"
close_and_check
release 1
end_case

finish
