#!/usr/bin/env bash
# Installs what the tests need, builds HUEVEX for Linux and for Windows, and
# runs every test: unit, simulated desktop, and end to end under Xvfb and Wine.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake pkg-config googletest libgtest-dev libbenchmark-dev
  libx11-dev libxext-dev libxi-dev libxtst-dev libxfixes-dev libfreetype-dev libfontconfig-dev fonts-liberation fonts-dejavu-core
  g++-mingw-w64-x86-64-win32 wine wine64 xvfb xdotool xclip xsel openbox
  x11-xserver-utils x11-utils x11-apps imagemagick icoutils python3 valgrind
  lintian appstream desktop-file-utils dpkg-dev unzip procps
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  # With their recommendations: Wine's X11 driver loads several of them (XRender,
  # XRandR, Xcursor, XInput) at run time.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

jobs=$(nproc)
exe_option=()
if [ -f cmake/mingw-w64-x86_64.cmake ]; then
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release
  cmake --build build-win -j "$jobs"
  exe_option=(-DHUEVEX_WINDOWS_EXE="$PWD/build-win/HUEVEX.exe")
fi
# The unit and simulated-desktop tests once more under the sanitizers.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHUEVEX_SANITIZE=ON
cmake --build build-asan -j "$jobs" --target huevex_tests

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "${exe_option[@]}" \
  -DHUEVEX_SANITIZED_TESTS="$PWD/build-asan/tests/huevex_tests"
cmake --build build -j "$jobs"
cd build
ctest --output-on-failure --timeout 600
