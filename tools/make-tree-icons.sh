#!/bin/bash
# Draws the eight 16x16 navigation-tree images into res/tree (or the folder given).
# The PNGs are committed; run this only to change the artwork.
set -euo pipefail
out=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../res/tree" && pwd)}
png() { convert -size 16x16 xc:none "${@:1:$#-1}" -strip -define png:exclude-chunks=date,time "PNG32:$out/${@: -1}"; }

# Record kinds (and the top node): a closed folder; selected: opened.
png -fill '#e0a830' -stroke '#8a6010' -strokewidth 1 \
    -draw 'path "M 1.5,3.5 L 6.5,3.5 L 7.5,4.5 L 14.5,4.5 L 14.5,13.5 L 1.5,13.5 Z"' \
    -stroke '#f5d27a' -draw 'line 2.5,6.5 13.5,6.5' kind.png
png -fill '#c08820' -stroke '#8a6010' -strokewidth 1 \
    -draw 'path "M 1.5,3.5 L 6.5,3.5 L 7.5,4.5 L 13.5,4.5 L 13.5,13.5 L 1.5,13.5 Z"' \
    -fill '#ffd860' -draw 'path "M 4.5,7.5 L 15.5,7.5 L 12.5,13.5 L 1.5,13.5 Z"' kind_selected.png

# Station: a substation building with a lightning bolt.
png -fill '#6f8296' -stroke '#34404e' -strokewidth 1 -draw 'path "M 1.5,7.5 L 8,2 L 14.5,7.5 Z"' \
    -fill '#c2ccd6' -draw 'rectangle 2.5,7.5 13.5,14.5' \
    -fill '#e8b800' -stroke '#7a5a00' -draw 'path "M 9.5,8.5 L 6,12 L 8,12 L 7,14.5 L 10.5,11 L 8.5,11 Z"' station.png
png -fill '#2f6fc0' -stroke '#1a3a66' -strokewidth 1 -draw 'path "M 1.5,7.5 L 8,2 L 14.5,7.5 Z"' \
    -fill '#e4efff' -draw 'rectangle 2.5,7.5 13.5,14.5' \
    -fill '#ff9a00' -stroke '#8a4a00' -draw 'path "M 9.5,8.5 L 6,12 L 8,12 L 7,14.5 L 10.5,11 L 8.5,11 Z"' station_selected.png

# Switch: a breaker between two terminals; selected: closed and energised.
png -stroke '#303030' -strokewidth 1.6 -fill none \
    -draw 'line 8,0.5 8,4.5' -draw 'line 8,11.5 8,15.5' -draw 'line 8,4.5 12.5,10' \
    -fill '#303030' -strokewidth 1 -draw 'circle 8,4.5 9.3,4.5' -draw 'circle 8,11.5 9.3,11.5' switch.png
png -stroke '#c01818' -strokewidth 1.8 -fill none \
    -draw 'line 8,0.5 8,15.5' \
    -fill '#c01818' -strokewidth 1 -draw 'circle 8,4.5 9.5,4.5' -draw 'circle 8,11.5 9.5,11.5' switch_selected.png

# Tag: a small trend display.
png -fill '#fafafa' -stroke '#4a5a4a' -strokewidth 1 -draw 'rectangle 1.5,2.5 14.5,13.5' \
    -fill none -stroke '#1e8c1e' -strokewidth 1.4 -draw 'polyline 3,10.5 6,6.5 9,9.5 13,4.5' tag.png
png -fill '#dcecff' -stroke '#1a3a66' -strokewidth 1 -draw 'rectangle 1.5,2.5 14.5,13.5' \
    -fill none -stroke '#e05000' -strokewidth 1.6 -draw 'polyline 3,10.5 6,6.5 9,9.5 13,4.5' tag_selected.png
