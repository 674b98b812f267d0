#!/bin/bash
# cmake --install into a temp folder: the files are all there and valid, and the installed program
# finds its decoder plug-ins and keeps its downloads in the user's data folder (even as root).
# Usage: StagedInstall.sh BUILD_DIR
set -eu
here=$(dirname "$0")
. "$here/InstalledFiles.sh"
build=$1
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill $server; rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/stage" >/dev/null || fail "cmake --install"
check_installed "$work/stage"

# An AVIF picture served over HTTP, which Qt cannot read and only the installed plug-in decodes.
mkdir -p "$work/www" "$work/data"
{ printf 'YUV4MPEG2 W16 H16 F25:1 Ip A1:1 C444\nFRAME\n'; head -c 768 /dev/zero; } > "$work/picture.y4m"
avifenc --lossless "$work/picture.y4m" "$work/www/picture.avif" >/dev/null || fail "avifenc"
printf '[Data]\r\nSize20KB=0\r\n' > "$work/pelmor.ini"
(cd "$work/www" && exec /usr/bin/python3 -u -m http.server 0 --bind 127.0.0.1 >"$work/server.log" 2>&1) &
server=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the test server did not start"

cd "$work"
XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen timeout 60 "$work/stage/bin/pelmor" --batch --ini "$work/pelmor.ini" \
  --interval 10 --add "http://127.0.0.1:$port/picture.avif" --catalogue "$work/out.pel" >"$work/run.log" 2>&1 \
  || { cat "$work/run.log"; fail "the batch run failed"; }
grep -q "1 icons" "$work/run.log" || { cat "$work/run.log"; fail "the installed plug-in did not decode the picture"; }
ls "$work/data/pelmor/tmp/" | grep -q 'picture\.avif$' || fail "the download is not in the user's data folder"
[ ! -e "$work/stage/bin/tmp" ] || fail "the installed program wrote beside itself"
echo "staged install: ok"
