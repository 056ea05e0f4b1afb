#!/usr/bin/env bash
# At 144 DPI (150 %) the window is laid out larger, and the pick still reads
# the pixel under the crosshair's centre: cursor, screen and windows are all
# in physical pixels.
source "$(dirname "$0")/lib.sh"
require_prefix

set_dpi() {
  WINE_STARTED=1
  timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >>"$WORK/reg.log" 2>&1
  timeout 60 wineserver -w
}

start_display
start_window_manager
ON_EXIT+=("wineserver -k; wineserver -w; set_dpi 96")
set_dpi 144

# Layout positions scale with the DPI; the crosshair picture keeps its 15 x 15
# pixels, so its centre is its box's corner plus 7.
CROSSHAIR_X=$((240 * 144 / 1440 + 7))
CROSSHAIR_Y=$((720 * 144 / 1440 + 7))
SWATCH_X=$(((120 + 495 / 2) * 144 / 1440))
SWATCH_Y=$(((120 + 255 / 2) * 144 / 1440))
start_huevex

COLORS=(050AC8 FFFFFF 100F01)
start_colorboard 40 700 1200 200 "$(IFS=,; echo "${COLORS[*]}")"
STRIPE=$((BOARD_W / ${#COLORS[@]}))

begin_case "layout at 144 DPI"
check "client size" "254x158" "${CLIENT_W}x${CLIENT_H}"
end_case

for index in "${!COLORS[@]}"; do
  begin_case "pick of #${COLORS[index]} at 144 DPI"
  pick_and_check 1 "$(stripe_x "$index")" "$(stripe_y)" "${COLORS[index]}"
  end_case
done

finish
