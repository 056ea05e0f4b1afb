# Shared by the Wine end-to-end scripts: a private Xvfb with openbox, the
# program under Wine, the color board, and how a person acts and looks.
# Everything started here is stopped by the EXIT trap, also on failure.
#
# Environment (set by CTest, see tests/e2e/wine.cmake): HUEVEX_EXE,
# HUEVEX_COLORBOARD, HUEVEX_XPROBE, HUEVEX_WINE_WORK, WINEPREFIX.
set -uo pipefail

: "${HUEVEX_EXE:?}" "${HUEVEX_WINE_WORK:?}" "${WINEPREFIX:?}"
export WINEDEBUG=-all
# No downloads or dialogs for .NET and HTML engines nobody uses here.
export WINEDLLOVERRIDES="mscoree,mshtml="

# The crosshair's centre and a pixel inside the swatch, client pixels at 96 DPI.
CROSSHAIR_X=23
CROSSHAIR_Y=55
SWATCH_X=24
SWATCH_Y=16

mkdir -p "$HUEVEX_WINE_WORK"
WORK=$(mktemp -d "$HUEVEX_WINE_WORK/$(basename "$0" .sh).XXXXXX")
PIDS=()
WINE_STARTED=0
FAILURES=0
CASE=""
ON_EXIT=()  # commands a script needs run before Wine is stopped

# Everything the script says also goes to its work folder, which is kept
# when the script fails.
exec > >(tee -a "$WORK/output.log") 2>&1

log() { printf '%s\n' "$*"; }

cleanup() {
  local status=$?
  trap - EXIT
  local command
  for command in "${ON_EXIT[@]}"; do
    eval "$command" >/dev/null 2>&1
  done
  if ((WINE_STARTED)); then
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
  fi
  local i
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    kill "${PIDS[i]}" 2>/dev/null
  done
  for pid in "${PIDS[@]}"; do
    wait "$pid" 2>/dev/null
  done
  if ((status == 0)); then
    rm -rf "$WORK"
  else
    log "kept for a look: $WORK"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs a command every 50 ms until it succeeds or the seconds are up.
wait_for() {
  local what=$1 seconds=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    if ((SECONDS >= deadline)); then
      log "timed out after ${seconds}s waiting for $what"
      return 1
    fi
    sleep 0.05
  done
}

die() {
  log "FATAL: $*"
  exit 1
}

# Cases: each reports PASS or FAIL with its checks; the script fails at the
# end if any case failed.
begin_case() {
  CASE=$1
  CASE_FAILED=0
  log "--- $CASE"
}

# A value as one line: the first line of a longer text, and how many follow.
brief() {
  local first=${1%%$'\n'*}
  if [ "$first" == "$1" ]; then
    printf '%s' "$1"
  else
    printf '%s [+%d lines]' "$first" "$(($(printf '%s\n' "$1" | wc -l) - 1))"
  fi
}

check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    log "    ok: $1 = $(brief "$3")"
  else
    log "    FAILED: $1"
    log "      expected: $2"
    log "      got:      $3"
    CASE_FAILED=1
  fi
}

check_not() {  # check_not WHAT UNWANTED ACTUAL
  if [ "$2" != "$3" ]; then
    log "    ok: $1 = $(brief "$3") (not $(brief "$2"))"
  else
    log "    FAILED: $1: should not be $2"
    CASE_FAILED=1
  fi
}

# Like check and check_not, for what the screen shows a moment after an
# action: the command's output is polled for up to three seconds.
check_soon() {  # check_soon WHAT EXPECTED COMMAND...
  local what=$1 expected=$2
  shift 2
  local actual deadline=$((SECONDS + 3))
  while actual=$("$@"); [ "$actual" != "$expected" ] && ((SECONDS < deadline)); do
    sleep 0.05
  done
  check "$what" "$expected" "$actual"
}

check_soon_not() {  # check_soon_not WHAT UNWANTED COMMAND...
  local what=$1 unwanted=$2
  shift 2
  local actual deadline=$((SECONDS + 3))
  while actual=$("$@"); [ "$actual" == "$unwanted" ] && ((SECONDS < deadline)); do
    sleep 0.05
  done
  check_not "$what" "$unwanted" "$actual"
}

end_case() {
  if ((CASE_FAILED)); then
    log "FAIL: $CASE"
    FAILURES=$((FAILURES + 1))
    screenshot "failed-${CASE// /_}"
  else
    log "PASS: $CASE"
  fi
}

finish() {
  if ((FAILURES)); then
    log "$FAILURES case(s) failed"
    exit 1
  fi
  log "all cases passed"
  exit 0
}

# The display: Xvfb on a free display number, then openbox.
start_display() {
  local number_file="$WORK/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp \
    3>"$number_file" >"$WORK/xvfb.log" 2>&1 &
  PIDS+=($!)
  wait_for "Xvfb's display number" 20 test -s "$number_file" || die "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$number_file")"
  log "display $DISPLAY"
}

start_window_manager() {
  openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
  PIDS+=($!)
  wait_for "openbox" 20 bash -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    die "openbox did not start"
}

# The program under Wine (with any arguments given); sets HUEVEX_PID (Wine's loader, which lives as long
# as the program), HUEVEX_WINDOW and the client origin CLIENT_X, CLIENT_Y.
start_huevex() {
  WINE_STARTED=1
  wine "$HUEVEX_EXE" "$@" >"$WORK/huevex.log" 2>&1 &
  HUEVEX_PID=$!
  PIDS+=("$HUEVEX_PID")
  wait_for "the HUEVEX window" 60 xdotool search --onlyvisible --name '^HUEVEX$' ||
    die "no HUEVEX window"
  HUEVEX_WINDOW=$(xdotool search --onlyvisible --name '^HUEVEX$' | head -n 1)
  read -r CLIENT_X CLIENT_Y CLIENT_W CLIENT_H < <(window_geometry "$HUEVEX_WINDOW")
  # Painted once the crosshair's centre dot is on screen.
  wait_for "the crosshair" 20 pixel_is "$((CLIENT_X + CROSSHAIR_X))" "$((CLIENT_Y + CROSSHAIR_Y))" \
    000000 || die "the main window was never painted"
  log "HUEVEX window $HUEVEX_WINDOW, client ${CLIENT_W}x${CLIENT_H} at $CLIENT_X,$CLIENT_Y"
}

huevex_running() { [ -n "${HUEVEX_PID:-}" ] && kill -0 "$HUEVEX_PID" 2>/dev/null; }

# "X Y WIDTH HEIGHT" of a window's inside on the screen.
window_geometry() {
  xwininfo -id "$1" | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF}
    END {print x, y, w, h}'
}

# Another program: a window of colored stripes that logs the button events
# it receives (one board at a time). Sets BOARD_PID, BOARD_LOG, BOARD_WINDOW
# and where the window manager put its inside: BOARD_X BOARD_Y BOARD_W BOARD_H.
start_colorboard() {  # X Y WIDTH HEIGHT COLORS
  BOARD_LOG="$WORK/colorboard-$RANDOM.log"
  : >"$BOARD_LOG"
  local out="$WORK/colorboard.out"
  "$HUEVEX_COLORBOARD" "$1" "$2" "$3" "$4" "$5" "$BOARD_LOG" >"$out" 2>&1 &
  BOARD_PID=$!
  PIDS+=("$BOARD_PID")
  wait_for "the color board" 20 grep -q ready "$out" || die "the color board did not start"
  BOARD_WINDOW=$(xdotool search --onlyvisible --name '^colorboard$' | head -n 1)
  [ -n "$BOARD_WINDOW" ] || die "no color board window"
  read -r BOARD_X BOARD_Y BOARD_W BOARD_H < <(window_geometry "$BOARD_WINDOW")
  wait_for "the board's first stripe" 20 pixel_is "$((BOARD_X + 2))" "$((BOARD_Y + 2))" "${5%%,*}" ||
    die "the color board is not painted"
}

# The screen as a person sees it.
pixel() {  # pixel X Y -> RRGGBB
  import -silent -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n 1 | tr 'a-f' 'A-F'
}

pixel_is() { [ "$(pixel "$1" "$2")" == "$3" ]; }

screenshot() {
  import -silent -window root "$WORK/$1.png" 2>/dev/null
}

cursor_image() { "$HUEVEX_XPROBE" cursor; }

# The mouse, with a few milliseconds between steps as a hand would leave.
move_to() {
  xdotool mousemove "$1" "$2"
  sleep 0.03
}

# Press on the crosshair with a button, drag in steps to (X, Y) and stay there.
press_and_drag() {  # BUTTON X Y
  local button=$1 x=$2 y=$3
  local from_x=$((CLIENT_X + CROSSHAIR_X)) from_y=$((CLIENT_Y + CROSSHAIR_Y))
  move_to "$from_x" "$from_y"
  xdotool mousedown "$button"
  sleep 0.05
  local step
  for step in 1 2 3 4; do
    move_to $((from_x + (x - from_x) * step / 4)) $((from_y + (y - from_y) * step / 4))
  done
  # Let the sampling timer tick there for a while.
  sleep 0.3
}

release() {  # BUTTON
  xdotool mouseup "$1"
  sleep 0.05
}

# The clipboard, read through X while the program still runs. Clearing it
# hands the CLIPBOARD to a holder of a fresh text. Wine brings every new X
# clipboard into the Windows clipboard; the pick's copy must come after that,
# or Wine's late import would replace it, so the clearing waits until Wine
# has asked the holder what it offers.
CLEAR_SERIAL=0
clear_clipboard() {
  CLEAR_SERIAL=$((CLEAR_SERIAL + 1))
  CLEARED="cleared-$CLEAR_SERIAL"
  local holder_log="$WORK/holder-$CLEAR_SERIAL.log"
  "$HUEVEX_XPROBE" hold "$CLEARED" >"$holder_log" 2>&1 &
  PIDS+=($!)
  wait_for "the clipboard holder" 5 grep -q '^holding' "$holder_log" ||
    die "could not take the clipboard"
  if huevex_running; then
    wait_for "Wine to take in the cleared clipboard" 5 grep -q '^request TARGETS' "$holder_log" ||
      die "Wine never looked at the cleared clipboard"
  fi
  wait_for "the cleared clipboard" 5 clipboard_is "$CLEARED" || die "could not clear the clipboard"
}

clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }

clipboard_is() { [ "$(clipboard)" == "$1" ]; }

# The clipboard once it no longer holds the cleared text (or after 5 s).
clipboard_after_pick() {
  wait_for "a new clipboard" 5 bash -c "[ \"\$(timeout 5 xclip -o -selection clipboard)\" != '$CLEARED' ]"
  clipboard
}

# The crosshair as the pointer shows it: 15 x 15, hot spot at its centre dot.
CROSSHAIR_CURSOR="15x15 7,7
.......#.......
.......#.......
.......#.......
.....#####.....
....#.....#....
...#.......#...
...#.......#...
####...#...####
...#.......#...
...#.......#...
....#.....#....
.....#####.....
.......#.......
.......#.......
.......#......."

# One pick as a person makes it, checked the way a person would check it:
# the pointer and the empty crosshair box while the button is down; the
# clipboard (read while the program runs), the swatch, the crosshair back in
# its box and the pointer after the release.
pick_and_check() {  # BUTTON X Y RRGGBB
  local button=$1 x=$2 y=$3 color=$4
  local cross_x=$((CLIENT_X + CROSSHAIR_X)) cross_y=$((CLIENT_Y + CROSSHAIR_Y))
  local swatch_x=$((CLIENT_X + SWATCH_X)) swatch_y=$((CLIENT_Y + SWATCH_Y))
  check "color under the pointer's target" "$color" "$(pixel "$x" "$y")"
  clear_clipboard
  press_and_drag "$button" "$x" "$y"
  check_soon "pointer while picking" "$CROSSHAIR_CURSOR" cursor_image
  check_soon_not "crosshair box while picking" 000000 pixel "$cross_x" "$cross_y"
  check_soon "swatch while picking" "$color" pixel "$swatch_x" "$swatch_y"
  release "$button"
  check "clipboard" "#$color" "$(clipboard_after_pick)"
  check "swatch after the pick" "$color" "$(pixel "$swatch_x" "$swatch_y")"
  check_soon "crosshair back in its box" 000000 pixel "$cross_x" "$cross_y"
  check_soon_not "pointer after the pick" "$CROSSHAIR_CURSOR" cursor_image
  check "program still running" yes "$(huevex_running && echo yes || echo no)"
}

# The centre of stripe INDEX of the board.
stripe_x() { echo $((BOARD_X + $1 * STRIPE + STRIPE / 2)); }
stripe_y() { echo $((BOARD_Y + BOARD_H / 2)); }

# One Wine prefix, booted by the setup test; the others refuse to run without it.
require_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] || die "no Wine prefix at $WINEPREFIX (run wine_prefix_boot)"
}

# The Windows helper built beside the program (winprobe.cpp), run in the same
# Wine session: what only a Windows program can see or do.
WINPROBE="$(dirname "$HUEVEX_EXE")/huevex_winprobe.exe"
require_winprobe() {
  [ -f "$WINPROBE" ] || die "no $WINPROBE: build the Windows build's huevex_winprobe target"
}
winprobe() {
  WINE_STARTED=1
  timeout 60 wine "$WINPROBE" "$@" 2>>"$WORK/winprobe.log" | tr -d '\r'
}

# A top-level window by its exact title, once it shows (empty if it never does).
visible_window() {  # TITLE [SECONDS]
  wait_for "the window \"$1\"" "${2:-10}" xdotool search --onlyvisible --name "^$1\$" || return 1
  xdotool search --onlyvisible --name "^$1\$" | head -n 1
}

window_title() { xdotool getwindowname "$1" 2>/dev/null; }

# The whole screen at one moment, kept in the work folder: screenshots are
# read from the file, so that every check of a case sees the same picture.
grab_screen() {  # NAME -> the file's path
  local file="$WORK/$1.ppm"
  import -silent -window root -depth 8 "ppm:$file" 2>/dev/null || die "no screenshot"
  printf '%s' "$file"
}

shot_pixel() {  # FILE X Y -> RRGGBB
  convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n 1 | tr 'a-f' 'A-F'
}

# The distinct colors of a rectangle of a screenshot, one RRGGBB a line.
shot_colors() {  # FILE X Y WIDTH HEIGHT
  convert "$1" -crop "$4x$5+$2+$3" +repage -depth 8 -unique-colors txt:- 2>/dev/null |
    sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | tr 'a-f' 'A-F' | sort -u
}

shot_crop() {  # FILE X Y WIDTH HEIGHT OUT
  convert "$1" -crop "$4x$5+$2+$3" +repage -depth 8 "ppm:$6" 2>/dev/null
}

# How many pixels of two pictures of one size differ; a picture of the
# differences goes to DIFF.
pixels_differing() {  # A B DIFF
  compare -metric AE "$1" "$2" "$3" 2>&1 >/dev/null | head -n 1
}

# A click on the main window's magnifier bar, on the word "MAGNiFIER".
MAGNIFIER_BAR_X=60
MAGNIFIER_BAR_Y=85
click_magnifier_bar() {
  move_to $((CLIENT_X + MAGNIFIER_BAR_X)) $((CLIENT_Y + MAGNIFIER_BAR_Y))
  xdotool mousedown 1
  sleep 0.03
  xdotool mouseup 1
  sleep 0.1
}
