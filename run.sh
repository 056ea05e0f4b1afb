#!/usr/bin/env bash
# Installs what the Linux program needs to build, builds it in Release and
# starts it on your desktop (X11, or Xwayland in a Wayland session).
set -euo pipefail
cd "$(dirname "$0")"
tools/packages.sh build
cmake --workflow --preset run > /dev/null

if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<'MESSAGE'
HUEVEX is built (build-run/huevex), but there is no X display to show it on:
the DISPLAY variable is not set. Run ./run.sh from a terminal in your desktop
session, or try it on a virtual display:

  sudo apt-get install xvfb x11vnc      # or any VNC server
  Xvfb :99 -screen 0 1280x1024x24 &
  DISPLAY=:99 build-run/huevex &
  x11vnc -display :99 -localhost        # then look with a VNC viewer
MESSAGE
  exit 1
fi
exec build-run/huevex
