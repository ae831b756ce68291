#!/usr/bin/env bash
# Draws the pictures of the splash, about and web-link windows and of the
# main window's toolbar with ImageMagick. Run once after changing a picture;
# the PNG files it writes are committed under src/windows/images/.
set -euo pipefail
out="${1:-$(dirname "$0")/../src/windows/images}"
mkdir -p "$out"
# Same bytes on every run: no time stamps in the files.
common=(-define png:exclude-chunks=date,time +set date:create +set date:modify -strip)

# The maker's logo: a red disc with a white flame and the name beside it.
convert -size 250x54 xc:none \
    -fill '#b3261e' -draw 'circle 27,27 27,3' \
    -fill white -draw 'path "M 27,10 C 37,20 37,28 33,36 C 31,41 23,41 21,36 C 18,30 23,25 25,20 C 26,26 29,28 30,28 C 31,22 29,16 27,10 Z"' \
    -fill '#b3261e' -draw 'circle 27,36 27,33' \
    -font Liberation-Sans-Bold -pointsize 30 -fill '#3a3a3a' -annotate +60+38 'VELMORA' \
    -fill '#b3261e' -draw 'rectangle 60,43 238,45' \
    "${common[@]}" "$out/logo.png"

# Splash background, 394 x 264: a warm gradient with a thermometer at the left.
convert -size 394x264 gradient:'#fdf6ee'-'#f1c9a5' \
    -fill none -stroke '#e3b08a' -strokewidth 2 \
    -draw 'path "M 0,220 C 80,190 160,250 240,215 C 300,190 350,205 394,190"' \
    -draw 'path "M 0,240 C 90,215 170,262 250,232 C 310,210 360,228 394,214"' \
    -stroke '#7a7a7a' -strokewidth 2 -fill white \
    -draw 'roundrectangle 30,30 52,190 11,11' -draw 'circle 41,205 41,186' \
    -stroke none -fill '#c62828' \
    -draw 'rectangle 37,95 45,195' -draw 'circle 41,205 41,190' \
    -stroke '#7a7a7a' -strokewidth 1 \
    -draw 'line 54,50 62,50' -draw 'line 54,70 59,70' -draw 'line 54,90 62,90' \
    -draw 'line 54,110 59,110' -draw 'line 54,130 62,130' -draw 'line 54,150 59,150' \
    -draw 'line 54,170 62,170' \
    -stroke '#b3261e' -strokewidth 3 -draw 'line 80,24 80,240' \
    "${common[@]}" "$out/splash.png"

# Toolbar pictures, 20 x 20, keys A to E.
# A: open a .hex file (a folder).
convert -size 20x20 xc:none -stroke '#8d6e00' -strokewidth 1 \
    -fill '#f2c94c' -draw 'path "M 1.5,4.5 L 7.5,4.5 L 9.5,6.5 L 18.5,6.5 L 18.5,16.5 L 1.5,16.5 Z"' \
    -fill '#f7dc82' -draw 'path "M 1.5,16.5 L 4.5,9.5 L 19.5,9.5 L 16.5,16.5 Z"' \
    "${common[@]}" "$out/tb_a.png"
# B: software update (a chip with a green arrow into it).
convert -size 20x20 xc:none -fill '#424242' -draw 'rectangle 5,8 15,18' \
    -stroke '#9e9e9e' -draw 'line 3,10 5,10' -draw 'line 3,13 5,13' -draw 'line 3,16 5,16' \
    -draw 'line 15,10 17,10' -draw 'line 15,13 17,13' -draw 'line 15,16 17,16' \
    -stroke none -fill '#2e7d32' -draw 'polygon 10,8 5,3 8,3 8,0 12,0 12,3 15,3' \
    "${common[@]}" "$out/tb_b.png"
# C: the web site (a globe).
convert -size 20x20 xc:none -fill '#1e88e5' -stroke '#0d47a1' -draw 'circle 10,10 10,1.5' \
    -fill none -stroke white -draw 'ellipse 10,10 4,8.5 0,360' -draw 'line 1.5,10 18.5,10' \
    -draw 'line 10,1.5 10,18.5' -draw 'line 3,5.5 17,5.5' -draw 'line 3,14.5 17,14.5' \
    "${common[@]}" "$out/tb_c.png"
# D: about (an "i" in a blue disc).
convert -size 20x20 xc:none -fill '#1565c0' -draw 'circle 10,10 10,1' \
    -fill white -draw 'circle 10,5 10,3.4' -draw 'rectangle 8.5,8.5 11.5,16' \
    "${common[@]}" "$out/tb_d.png"
# E: quit (a door with a red arrow leaving it).
convert -size 20x20 xc:none -fill '#8d6e63' -stroke '#4e342e' -draw 'rectangle 2,1 11,19' \
    -stroke none -fill '#ffd54f' -draw 'circle 9,10 9,9' \
    -fill '#c62828' -draw 'polygon 19,10 14,5 14,8 8,8 8,12 14,12 14,15' \
    "${common[@]}" "$out/tb_e.png"
