#!/bin/sh
# Draws the wizard's two pictures (480x350 JPEG) with ImageMagick:
#   make-artwork.sh <output-folder>
# The splash carries the product name; the page background leaves the
# middle calm for the texts that stand on it.
set -eu
out=$1
mkdir -p "$out"
convert -size 480x350 gradient:'#0b3d5c'-'#5fa8d3' \
    -fill '#ffffff33' -draw 'polygon 0,350 180,120 300,250 480,60 480,350' \
    -fill '#ffffff22' -draw 'circle 400,70 440,70' \
    -fill white -font DejaVu-Sans-Bold -pointsize 30 -gravity center -annotate +0-20 'Brantlow Project Tessal' \
    -fill '#e8f1f8' -font DejaVu-Sans -pointsize 15 -gravity center -annotate +0+22 'Setup is getting ready...' \
    -quality 88 "$out/splash.jpg"
convert -size 480x350 gradient:'#f4f8fb'-'#d6e6f2' \
    -fill '#0b3d5c' -draw 'rectangle 0,0 480,54' \
    -fill '#5fa8d3' -draw 'rectangle 0,54 480,58' \
    -fill white -font DejaVu-Sans-Bold -pointsize 18 -gravity northwest -annotate +16+16 'Brantlow Project Tessal' \
    -fill '#0b3d5c22' -draw 'polygon 0,350 160,300 320,330 480,280 480,350' \
    -quality 88 "$out/page.jpg"
