#!/bin/sh
# Renders the program's icon into the PNG sizes of the hicolor theme; run it after changing pelmor.svg
# (needs rsvg-convert from librsvg2-bin). The PNGs are committed, so a build needs no SVG renderer.
set -e
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w $size -h $size pelmor.svg -o icons/pelmor-$size.png
done
