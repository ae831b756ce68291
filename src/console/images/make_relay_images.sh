#!/usr/bin/env bash
# Draws the two relay-state pictures shown in the "Etat du relais" frame:
# relay_c_no.png with the common contact closed on C-NO, relay_c_nc.png
# with it closed on C-NC. Needs ImageMagick; the results are committed.
set -euo pipefail
cd "$(dirname "$0")"
FONT=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf

draw() {   # $1 output, $2 y of the closed contact
    convert -size 128x112 xc:white -font "$FONT" -pointsize 11 \
        -stroke black -strokewidth 2 -fill none \
        -draw "rectangle 8,34 32,74" -draw "line 8,74 32,34" \
        -draw "line 20,34 20,14" -draw "line 20,74 20,98" \
        -stroke gray50 -strokewidth 1 -draw "stroke-dasharray 3 3 line 32,54 66,54" \
        -stroke black -strokewidth 2 \
        -draw "line 56,60 56,98" \
        -draw "line 104,28 124,28" -draw "line 104,84 124,84" \
        -fill white -draw "circle 56,60 60,60" -draw "circle 100,28 104,28" -draw "circle 100,84 104,84" \
        -stroke '#C00000' -strokewidth 4 -draw "line 56,60 96,$2" \
        -stroke none -fill black \
        -draw "text 60,108 'C'" -draw "text 86,16 'NO'" -draw "text 86,104 'NC'" \
        -fill '#008000' -draw "circle 100,$2 103,$2" \
        "$1"
}

draw relay_c_no.png 30
draw relay_c_nc.png 82
