#!/bin/bash
# The .deb that make deb builds, made here into a temp folder: its files, its Debian dependencies,
# and the program started from the unpacked package.
# Usage: DebPackage.sh BUILD_DIR
set -eu
here=$(dirname "$0")
. "$here/InstalledFiles.sh"
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pelmor_*_amd64.deb 2>/dev/null || ls "$work"/pelmor_*.deb)
[ -f "$deb" ] || fail "no pelmor_*.deb"

listing=$(dpkg-deb -c "$deb")
for f in $INSTALLED_FILES; do
  echo "$listing" | grep -q " \./usr/$f\$" || fail "$f is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in qt6-qpa-plugins libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6multimedia6 libqt6svg6 libssl3 libsqlite3-0 libavif15 libjxl0.7; do
  echo "$depends" | grep -qE "(^|, )$p( |,|$)" || fail "Depends lacks $p: $depends"
done
# The package's own library is no dependency of it.
! echo "$depends" | grep -q pelmor || fail "Depends names pelmor's own library: $depends"

dpkg -x "$deb" "$work/root"
check_installed "$work/root/usr"
version=$(QT_QPA_PLATFORM=offscreen timeout 30 "$work/root/usr/bin/pelmor" --version) || fail "the unpacked program does not start"
[ "$version" = "$(QT_QPA_PLATFORM=offscreen "$build/bin/pelmor" --version)" ] || fail "--version printed $version"
echo "deb package: ok"
