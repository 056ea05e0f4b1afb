#!/usr/bin/env bash
# The Win32 backend's own checks (backend_test.cpp, built beside HUEVEX.exe)
# against Wine's user32 and gdi32, on a private display.
source "$(dirname "$0")/lib.sh"
require_prefix

TESTS="$(dirname "$HUEVEX_EXE")/huevex_win32_tests.exe"
[ -f "$TESTS" ] || die "no $TESTS: build the Windows build's huevex_win32_tests target"

start_display
start_window_manager
WINE_STARTED=1
begin_case "Win32 backend checks"
timeout 120 wine "$TESTS" >"$WORK/backend.log" 2>&1
status=$?
sed 's/^/    /' "$WORK/backend.log"
check "exit status" 0 "$status"
end_case
finish
