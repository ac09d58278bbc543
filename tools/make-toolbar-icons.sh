#!/usr/bin/env bash
# Draws the toolbar icons (27x27) and the program icon into res/toolbar with
# ImageMagick. The PNGs are committed; run this only to change the artwork.
set -euo pipefail
out=$(cd "$(dirname "${BASH_SOURCE[0]}")/../res/toolbar" && pwd)
draw() { # name size draw-commands...
  local name=$1 size=$2; shift 2
  convert -size "${size}x${size}" xc:none -strokewidth 2 "$@" "PNG32:$out/$name.png"
}
# A database cylinder.
draw datasource 27 -fill '#4a7fc1' -stroke '#1f4f8a' \
  -draw 'rectangle 5,7 21,20' -draw 'ellipse 13,20 8,3 0,180' -draw 'ellipse 13,7 8,3 0,360' \
  -fill none -draw 'ellipse 13,13 8,3 0,180'
# A magnifier.
draw query 27 -fill '#dfeefc' -stroke '#1f4f8a' -draw 'circle 11,11 11,4' \
  -strokewidth 4 -draw 'line 16,16 23,23'
# A green plus.
draw add 27 -fill '#3c9a3c' -stroke '#226622' -draw 'roundrectangle 11,4 16,23 1,1' \
  -draw 'roundrectangle 4,11 23,16 1,1'
# A pencil.
draw modify 27 -fill '#f0b030' -stroke '#805a10' -draw 'polygon 6,18 18,6 21,9 9,21' \
  -fill '#805a10' -draw 'polygon 6,18 9,21 4,23'
# A red cross.
draw delete 27 -stroke '#c03030' -strokewidth 5 -draw 'line 6,6 21,21' -draw 'line 21,6 6,21'
# An "i" in a circle.
draw about 27 -fill '#4a7fc1' -stroke '#1f4f8a' -draw 'circle 13,13 13,2' \
  -fill white -stroke none -draw 'rectangle 12,11 15,21' -draw 'circle 13,7 13,5'
# A door with an arrow.
draw exit 27 -fill '#b08050' -stroke '#604020' -draw 'rectangle 4,3 15,24' \
  -stroke '#c03030' -strokewidth 3 -draw 'line 12,13 23,13' -draw 'line 19,9 23,13' -draw 'line 19,17 23,13'
# The program icon: tiles of a mosaic.
draw tessera 48 -stroke white -strokewidth 2 \
  -fill '#4a7fc1' -draw 'rectangle 2,2 23,23' -fill '#3c9a3c' -draw 'rectangle 25,2 46,23' \
  -fill '#f0b030' -draw 'rectangle 2,25 23,46' -fill '#c03030' -draw 'rectangle 25,25 46,46'
