#!/usr/bin/env bash
# Installs the Debian or Ubuntu packages one or more groups need, with
# apt-get (through sudo when not root), skipping what is installed already.
#
#   tools/packages.sh GROUP...
#
#   build    what the Linux program needs to build and run
#   test     the tests: the Windows cross build, Wine, Xvfb and the tools
#            that drive and look at the programs, the package checks
#   wayland  the Wayland sessions the end-to-end tests start
#   bench    the benchmarks and the programs they are measured beside
set -euo pipefail

build=(build-essential cmake pkg-config libx11-dev libxext-dev libxi-dev libxrandr-dev
       libxinerama-dev libfreetype-dev libfontconfig-dev fonts-liberation fonts-dejavu-core
       libwayland-dev wayland-protocols libsystemd-dev libpng-dev)
test=(googletest libgtest-dev libbenchmark-dev libxtst-dev libxfixes-dev
      g++-mingw-w64-x86-64-win32 wine wine64 xvfb xdotool xclip xsel openbox
      x11-xserver-utils x11-utils x11-apps xserver-xorg-video-dummy imagemagick icoutils
      python3 valgrind lintian appstream desktop-file-utils dpkg-dev unzip procps)
wayland=(sway xwayland swaybg grim xdg-desktop-portal xdg-desktop-portal-wlr
         xdg-desktop-portal-gtk pipewire dbus-user-session dbus-bin libglib2.0-bin
         x11-xserver-utils x11-utils xdotool xclip python3)
bench=(libbenchmark-dev xvfb xdotool x11-utils x11-apps gpick gcolor3 grabc python3)

# Wine's X11 driver loads several of its recommendations (XRender, XRandR,
# Xcursor, XInput) at run time, so the test group takes recommendations.
recommends=--no-install-recommends
wanted=()
for group in "$@"; do
  case $group in
    build) wanted+=("${build[@]}") ;;
    test) wanted+=("${test[@]}"); recommends= ;;
    wayland) wanted+=("${wayland[@]}") ;;
    bench) wanted+=("${bench[@]}") ;;
    *) echo "tools/packages.sh: no group called '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq $recommends "${missing[@]}"
