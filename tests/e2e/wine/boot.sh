#!/usr/bin/env bash
# Setup for the Wine tests: a fresh Wine prefix in the build tree, booted once
# per test run, with Wine's crash dialog turned off so that a crash fails a
# test instead of waiting for a click.
source "$(dirname "$0")/lib.sh"

begin_case "boot a fresh Wine prefix"
rm -rf "$WINEPREFIX"
start_display
start_window_manager
WINE_STARTED=1
timeout 240 wineboot -i >"$WORK/wineboot.log" 2>&1
timeout 120 wineserver -w
timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  >"$WORK/reg.log" 2>&1
timeout 120 wineserver -w
check "prefix created" yes "$([ -f "$WINEPREFIX/system.reg" ] && echo yes || echo no)"
check "crash dialog off" yes \
  "$(grep -qi 'ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" && echo yes || echo no)"
end_case
finish
