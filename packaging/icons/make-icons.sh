#!/usr/bin/env bash
# Draws the program icon (four tiles of a mosaic, as tessera.svg and
# res/toolbar/tessera.png) at the hicolor theme's usual sizes beside this
# script with ImageMagick: the 48-pixel design scaled to 256 pixels, then
# scaled down. The PNGs are committed; run this only to change the artwork.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
scale='affine 5.3333,0,0,5.3333,0,0'
convert -size 256x256 xc:none -stroke white -strokewidth 2 \
  -fill '#4a7fc1' -draw "$scale rectangle 2,2 23,23" -fill '#3c9a3c' -draw "$scale rectangle 25,2 46,23" \
  -fill '#f0b030' -draw "$scale rectangle 2,25 23,46" -fill '#c03030' -draw "$scale rectangle 25,25 46,46" \
  PNG32:tessera-256.png
for size in 16 24 32 48 64 128; do
  convert tessera-256.png -filter Lanczos -resize "${size}x${size}" PNG32:"tessera-$size.png"
done
