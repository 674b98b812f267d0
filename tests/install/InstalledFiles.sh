# Shared by the install tests: what an installed pelmor is made of, below its prefix.
INSTALLED_FILES="bin/pelmor
lib/pelmor/libpelmor_localmem.so
lib/pelmor/pelmor_avif.spi
lib/pelmor/pelmor_jxl.spi
share/applications/example.pelmor.Pelmor.desktop
share/metainfo/example.pelmor.Pelmor.metainfo.xml
share/man/man1/pelmor.1.gz
share/icons/hicolor/scalable/apps/pelmor.svg"
for size in 16 24 32 48 64 128 256; do
  INSTALLED_FILES="$INSTALLED_FILES
share/icons/hicolor/${size}x${size}/apps/pelmor.png"
done

fail() { echo "FAIL: $*" >&2; exit 1; }

# check_installed PREFIX: every file is there, each PNG has the size its folder names, the menu entry
# and the AppStream file pass their validators, and the program, the AppStream file and the manual
# page name one version.
check_installed() {
  for f in $INSTALLED_FILES; do
    [ -f "$1/$f" ] || fail "$1/$f is missing"
  done
  for size in 16 24 32 48 64 128 256; do
    png="$1/share/icons/hicolor/${size}x${size}/apps/pelmor.png"
    # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
  done
  desktop-file-validate "$1/share/applications/example.pelmor.Pelmor.desktop" || fail "desktop-file-validate"
  appstreamcli validate --no-net "$1/share/metainfo/example.pelmor.Pelmor.metainfo.xml" || fail "appstreamcli validate"
  gzip -dc "$1/share/man/man1/pelmor.1.gz" | grep -qF -- '\-\-batch' || fail "the manual page lacks --batch"
  # One version everywhere: the program's "VerX.Ya", the AppStream release and the manual page.
  version=$(QT_QPA_PLATFORM=offscreen timeout 30 "$1/bin/pelmor" --version | sed -n 's/^Ver\([0-9.]*\)a$/\1/p')
  [ -n "$version" ] || fail "the installed program prints no version"
  grep -qF "<release version=\"$version\"" "$1/share/metainfo/example.pelmor.Pelmor.metainfo.xml" \
    || fail "the AppStream release is not $version"
  gzip -dc "$1/share/man/man1/pelmor.1.gz" | head -1 | grep -qF "\"pelmor $version\"" || fail "the manual page is not of $version"
}
