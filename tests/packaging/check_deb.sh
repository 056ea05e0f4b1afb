#!/usr/bin/env bash
# Builds the .deb from a build tree and checks it as Debian would: lintian
# finds no error, and the package holds the program, its manual page, its
# capture module for Wayland sessions, its menu entry, its icons and a valid
# AppStream description that tells of the command and the shortcut.
#   check_deb.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log") || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/huevex ./usr/share/applications/org.huevex.huevex.desktop \
  ./usr/share/metainfo/org.huevex.huevex.metainfo.xml \
  ./usr/share/icons/hicolor/16x16/apps/huevex.png ./usr/share/icons/hicolor/32x32/apps/huevex.png \
  ./usr/share/doc/huevex/copyright ./usr/share/doc/huevex/changelog.gz \
  ./usr/share/man/man1/huevex.1.gz; do
  grep -q " $path\$" <<< "$contents" || { echo "missing from the package: $path"; exit 1; }
done
# The screen capture module for Wayland sessions, where the program looks: ../lib*/huevex/.
if [ -e "$build/huevex-wayland.so" ]; then
  grep -Eq " \./usr/lib(/[^/]+)?/huevex/huevex-wayland\.so\$" <<< "$contents" ||
    { echo "missing from the package: the capture module in /usr/lib*/huevex/"; exit 1; }
fi
for library in libx11 libfontconfig1 libfreetype6 libxi6 libxrandr2 libxinerama1 libxdamage1; do
  dpkg-deb -f "$deb" Depends | grep -q "$library" || { echo "no dependency on $library"; exit 1; }
done
lintian --fail-on error "$deb"
mkdir "$out/tree"
dpkg-deb -x "$deb" "$out/tree"
metainfo=$out/tree/usr/share/metainfo/org.huevex.huevex.metainfo.xml
appstreamcli validate --no-net "$metainfo"
for words in "huevex --pick" "Super+Alt+C"; do
  grep -q "$words" "$metainfo" || { echo "the AppStream description does not tell of $words"; exit 1; }
done
desktop-file-validate "$out/tree/usr/share/applications/org.huevex.huevex.desktop"
echo "package ok: $(basename "$deb")"
