#!/usr/bin/env bash
# The Windows .zip as CPack makes it from the Windows build (cmake/packaging.cmake):
# it holds HUEVEX.exe at its top, the very file the build made, and nothing
# else. Needs no Wine.
source "$(dirname "$0")/lib.sh"

BUILD=$(dirname "$HUEVEX_EXE")
[ -f "$BUILD/CPackConfig.cmake" ] || die "no CPack configuration in $BUILD"

begin_case "cpack -G ZIP in the Windows build"
# The package goes to this script's work folder; CPack brings the build up
# to date first.
timeout 240 cpack -G ZIP --config "$BUILD/CPackConfig.cmake" -B "$WORK/package" \
  >"$WORK/cpack.log" 2>&1
check "cpack's exit status" 0 "$?"
zips=$(cd "$WORK/package" 2>/dev/null && ls -- *.zip 2>/dev/null)
check "the package" "HUEVEX-1.0-windows-x64.zip" "$zips"
end_case

begin_case "the zip's content"
zip="$WORK/package/HUEVEX-1.0-windows-x64.zip"
check "unzip -l: the files" "HUEVEX.exe" \
  "$(unzip -l "$zip" 2>&1 | awk 'NR > 3 && $4 != "" && $1 ~ /^[0-9]+$/ {print $4}')"
check "unzip -t" yes "$(unzip -tq "$zip" >/dev/null 2>&1 && echo yes || echo no)"
check "HUEVEX.exe is the program the build made" yes \
  "$(unzip -p "$zip" HUEVEX.exe | cmp -s - "$HUEVEX_EXE" && echo yes || echo no)"
end_case

finish
