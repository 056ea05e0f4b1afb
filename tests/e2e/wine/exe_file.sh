#!/usr/bin/env bash
# The program file as shipped: small, self-contained, stripped, a GUI
# program, and carrying its manifest, icon group and version block.
source "$(dirname "$0")/lib.sh"

HERE=$(dirname "$0")
OBJDUMP=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
MAX_BYTES=$((300 * 1024))

begin_case "size"
size=$(stat -c %s "$HUEVEX_EXE")
check "at most $MAX_BYTES bytes" yes "$( ((size <= MAX_BYTES)) && echo yes || echo "no ($size)")"
log "    ($size bytes)"
end_case

begin_case "a self-contained GUI program without symbols"
headers=$("$OBJDUMP" -p "$HUEVEX_EXE")
check "subsystem" "(Windows GUI)" "$(awk '/^Subsystem/ {print $3, $4}' <<<"$headers")"
# Only DLLs every Windows has: no libstdc++, libgcc or winpthread beside it.
foreign=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" |
  grep -v -E '^(kernel32|user32|gdi32|msvcrt|advapi32|shell32|ole32|shcore|dwmapi|comctl32|imm32|winmm|ucrtbase|api-ms-win-.*)\.dll$')
check "DLLs beyond the system's" "" "$foreign"
check "symbols" "no symbols" \
  "$(x86_64-w64-mingw32-nm "$HUEVEX_EXE" 2>&1 | sed -n 's/.*: \(no symbols\)$/\1/p')"
end_case

begin_case "resources"
# type, name, language of each resource, in the file's order
listing=$(wrestool -l "$HUEVEX_EXE" | sed -n 's/^--type=\([0-9]*\) --name=\([0-9]*\) --language=\([0-9]*\).*/\1 \2 \3/p')
check "resource list" "3 30001 0
3 30002 0
3 30003 0
14 1 0
16 1 1033
24 1 0" "$listing"

# The icon group's directory: reserved, type, count, then per image width,
# height, colors, reserved, planes, bits per pixel, bytes, resource id.
group=$(wrestool -x --raw --type=14 --name=1 "$HUEVEX_EXE" | python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
reserved, kind, count = struct.unpack_from("<HHH", data)
print(reserved, kind, count)
for i in range(count):
    print(*struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i))')
check "icon group directory" "0 1 3
32 32 2 0 1 1 304 30001
32 32 16 0 1 4 744 30002
16 16 16 0 1 4 296 30003" "$group"
# The group read back as an icon file is the one made from the pixel maps.
icon=$(mktemp)
wrestool -x --type=14 --name=1 "$HUEVEX_EXE" > "$icon"
check "icon images listed by icotool" "--icon --index=1 --width=32 --height=32 --bit-depth=1 --palette-size=2
--icon --index=2 --width=32 --height=32 --bit-depth=4 --palette-size=16
--icon --index=3 --width=16 --height=16 --bit-depth=4 --palette-size=16" "$(icotool -l "$icon")"
rm -f "$icon"
# Each image, read back raw, is the one made from the pixel maps.
for id in 30001 30002 30003; do
  check "icon image $id as generated" same "$(cmp -s <(wrestool -x --raw --type=3 --name="$id" \
    "$HUEVEX_EXE") "$(dirname "$HUEVEX_EXE")/icons/icon_$id.bin" && echo same || echo differs)"
done
for image in "30001 304" "30002 744" "30003 296"; do
  read -r id bytes <<<"$image"
  check "icon image $id bytes" "$bytes" \
    "$(wrestool -x --raw --type=3 --name="$id" "$HUEVEX_EXE" | wc -c)"
done

check "version block" "VS_VERSION_INFO
  fixed file=1.0.0.0 product=1.0.0.0 mask=0 flags=0 os=4 type=1 subtype=0 date=0.0
  VarFileInfo
    Translation = 0x0409 0x04B0
  StringFileInfo
    040904B0
      CompanyName = HUEVEX Project
      ProductName = HUEVEX
      FileVersion = 1.00
      ProductVersion = 1.00
      InternalName = HUEVEX
      OriginalFilename = HUEVEX.exe" \
  "$(wrestool -x --raw --type=16 --name=1 "$HUEVEX_EXE" | python3 "$HERE/version_block.py")"

# The manifest: well-formed, per-monitor aware (v2, with the older fallback).
awareness=$(wrestool -x --raw --type=24 --name=1 "$HUEVEX_EXE" | python3 -c '
import sys, xml.etree.ElementTree as tree
root = tree.fromstring(sys.stdin.buffer.read())
for element in root.iter():
    name = element.tag.split("}")[-1]
    if name in ("dpiAware", "dpiAwareness"):
        print(name, element.text.strip())')
check "manifest DPI awareness" "dpiAware true/pm
dpiAwareness PerMonitorV2, PerMonitor" "$awareness"
end_case

finish
