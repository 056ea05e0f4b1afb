#!/usr/bin/env bash
# Installs what the Linux program needs to build, builds it in Release and
# starts it on your X display.
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake pkg-config libx11-dev libxext-dev libxi-dev libfreetype-dev
          libfontconfig-dev fonts-liberation fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DHUEVEX_TESTS=OFF > /dev/null
cmake --build build-run -j "$(nproc)" --target huevex

if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<'MESSAGE'
HUEVEX is built (build-run/shell/platform/x11/huevex), but there is no X display
to show it on: the DISPLAY variable is not set. Run ./run.sh from a terminal in
your desktop session, or try it on a virtual display:

  sudo apt-get install xvfb x11vnc      # or any VNC server
  Xvfb :99 -screen 0 1280x1024x24 &
  DISPLAY=:99 build-run/shell/platform/x11/huevex &
  x11vnc -display :99 -localhost        # then look with a VNC viewer
MESSAGE
  exit 1
fi
exec build-run/shell/platform/x11/huevex
