#!/usr/bin/env bash
# Installs what the tests need, builds HUEVEX for Linux and for Windows, and
# runs every test: unit, simulated desktop (also under the sanitizers), and
# end to end under Xvfb, in a headless Wayland session and under Wine.
set -euo pipefail
cd "$(dirname "$0")"
tools/packages.sh build test wayland gnome kde

cmake --workflow --preset windows-cross
cmake --workflow --preset asan
cmake --workflow --preset all
