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
#   gnome    the GNOME Shell session: the shell headless, GNOME's portal,
#            PipeWire and its session manager, Python's GObject bindings
#   kde      the KDE Plasma (KWin) session its end-to-end test starts
#   bench    the benchmarks and the programs they are measured beside
set -euo pipefail

build=(build-essential cmake pkg-config libx11-dev libxext-dev libxi-dev libxrandr-dev
       libxinerama-dev libxdamage-dev libfreetype-dev libfontconfig-dev fonts-liberation
       fonts-dejavu-core libwayland-dev wayland-protocols libsystemd-dev libpng-dev
       libpipewire-0.3-dev libspa-0.2-dev)
test=(googletest libgtest-dev libbenchmark-dev libxtst-dev libxfixes-dev
      g++-mingw-w64-x86-64-win32 wine wine64 xvfb xdotool xclip xsel openbox
      x11-xserver-utils x11-utils x11-apps xserver-xorg-video-dummy imagemagick icoutils
      python3 valgrind lintian appstream desktop-file-utils dpkg-dev unzip procps)
wayland=(sway xwayland swaybg grim xdg-desktop-portal xdg-desktop-portal-wlr
         xdg-desktop-portal-gtk pipewire wireplumber dbus-user-session dbus-bin libglib2.0-bin
         x11-xserver-utils x11-utils xdotool xclip python3)
gnome=(gnome-shell xwayland xdg-desktop-portal xdg-desktop-portal-gnome pipewire wireplumber
       dbus-user-session dbus-bin libglib2.0-bin python3-gi gir1.2-glib-2.0 util-linux
       imagemagick xdotool xclip x11-utils python3)
# KDE's portal back end drops its calls without Qt's Wayland platform,
# plasma-workspace and the QML modules of its dialogs (the ScreenCast dialog's
# previews need the PipeWire one); breeze draws KWin's window frames.
kde=(kwin-wayland xwayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5 plasma-workspace
     qml-module-qtquick-controls2 qml-module-qtquick-layouts qml-module-org-kde-kirigami2
     qml-module-org-kde-pipewire breeze pipewire wireplumber dbus-user-session dbus-bin
     libglib2.0-bin x11-xserver-utils x11-utils x11-apps xdotool xclip python3)
bench=(libbenchmark-dev libxfixes-dev libxtst-dev xvfb xdotool xclip x11-utils x11-apps gpick
       gcolor3 grabc python3)

# Wine's X11 driver loads several of its recommendations (XRender, XRandR,
# Xcursor, XInput) at run time, so the test group takes recommendations; the
# others do not (the desktops' would bring whole desktops along).
plain=()
recommended=()
for group in "$@"; do
  case $group in
    build) plain+=("${build[@]}") ;;
    test) recommended+=("${test[@]}") ;;
    wayland) plain+=("${wayland[@]}") ;;
    gnome) plain+=("${gnome[@]}") ;;
    kde) plain+=("${kde[@]}") ;;
    bench) plain+=("${bench[@]}") ;;
    *) echo "tools/packages.sh: no group called '$group'" >&2; exit 2 ;;
  esac
done

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t missing_plain < <(missing "${plain[@]}")
mapfile -t missing_recommended < <(missing "${recommended[@]}")
((${#missing_plain[@]} + ${#missing_recommended[@]})) || exit 0
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
"${sudo[@]}" apt-get update -qq
install=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq)
if ((${#missing_recommended[@]})); then
  "${install[@]}" "${missing_recommended[@]}"
fi
if ((${#missing_plain[@]})); then
  "${install[@]}" --no-install-recommends "${missing_plain[@]}"
fi
