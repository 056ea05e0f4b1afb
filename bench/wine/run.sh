#!/usr/bin/env bash
# Measures the Windows program under Wine in Xvfb: one screen read, one
# sampling tick of the real program, and the ticks per second while a pick
# is held still and while it moves over changing colors. Prints the numbers
# recorded in docs/benchmarks-wine.md.
#
#   bench/wine/run.sh [NATIVE_BUILD_DIR]
#
# Builds build-win (the cross build) with HUEVEX_BENCH=ON for the benchmark
# program, and takes the color board from the native build (default: build).
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
NATIVE=$(cd "${1:-$ROOT/build}" && pwd) || exit 1
WIN=$ROOT/build-win

cmake -S "$ROOT" -B "$WIN" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DHUEVEX_BENCH=ON >/dev/null || exit 1
cmake --build "$WIN" -j 2 --target huevex_wine_bench >/dev/null || exit 1
cmake --build "$NATIVE" -j 2 --target huevex_colorboard >/dev/null || exit 1

export HUEVEX_EXE=$WIN/huevex_wine_bench.exe
export HUEVEX_COLORBOARD=$NATIVE/tests/e2e/huevex_colorboard
export HUEVEX_XPROBE=false
export HUEVEX_WINE_WORK=$WIN/bench-wine/work
export WINEPREFIX=$WIN/bench-wine/prefix

# A fresh prefix, booted the way the tests boot theirs.
bash "$ROOT/tests/e2e/wine/boot.sh" >/dev/null || { echo "could not boot a Wine prefix"; exit 1; }

source "$ROOT/tests/e2e/wine/lib.sh"
start_display
start_window_manager
COLORS=(FF0000 00FF00 0000FF FFFFFF 000000 050AC8 100F01 808080)
start_colorboard 40 700 1200 200 "$(IFS=,; echo "${COLORS[*]}")"
STRIPE=$((BOARD_W / ${#COLORS[@]}))
WINE_STARTED=1

log "## Wine benchmark"
log ""
log "- $(wine --version), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
log "- $(stat -c %s "$ROOT/build-win/HUEVEX.exe" 2>/dev/null || echo '?') bytes: HUEVEX.exe"
log ""
move_to "$(stripe_x 1)" "$(stripe_y)"
timeout 120 wine "$HUEVEX_EXE" sample 20000 2>/dev/null | sed 's/^/- /'

timeout 120 wine "$HUEVEX_EXE" tick 2000 "$(stripe_x 0)" "$(stripe_y)" "$(stripe_x 2)" "$(stripe_y)" \
  2>/dev/null | sed 's/^/- /'
timeout 60 wineserver -w

start_huevex run

# Held still over one color for five seconds.
press_and_drag 1 "$(stripe_x 3)" "$(stripe_y)"
sleep 5
release 1
# Moving over the stripes for five seconds, a step every 20 ms.
press_and_drag 1 "$(stripe_x 0)" "$(stripe_y)"
end=$((SECONDS + 5))
x=$BOARD_X
while ((SECONDS < end)); do
  x=$((x + 7))
  ((x >= BOARD_X + BOARD_W)) && x=$BOARD_X
  xdotool mousemove "$x" "$(stripe_y)"
  sleep 0.02
done
release 1
wait_for "both picks reported" 10 bash -c "[ \$(grep -c '^pick:' '$WORK/huevex.log') -ge 2 ]"
grep '^pick:' "$WORK/huevex.log" | sed -e '1s/^pick:/- pick held still:/' -e '2s/^pick:/- pick moving:/'
exit 0
