#!/usr/bin/env bash
# Frame age and read cost of the compositor capture, measured inside a
# running Wayland session with Xwayland (WAYLAND_DISPLAY and DISPLAY set):
# a window that changes color every 4 ms keeps the compositor showing a new
# frame at every refresh, and the probe reads one pixel every millisecond, as
# a pick's ticks do, noting how old the frame it read was.
#
#   bench/wayland/frame_age.sh BUILD_DIR [SAMPLES]
set -euo pipefail
build=$1
samples=${2:-2000}
probe=("$build/tests/e2e/huevex_capture_probe" "$build/huevex-wayland.so")
"$build/bench/huevex_flicker" 0 0 64 64 4 &
flicker=$!
trap 'kill $flicker' EXIT
sleep 1
echo "still screen elsewhere, animated window at 0,0:"
"${probe[@]}" open screencopy want 1 wait live 2000 pump 500 age "$samples" \
  cost 100000 1 1 cost 20000 14 8
