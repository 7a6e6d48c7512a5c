#!/bin/sh
# Draws the program's pictures from scratch: the splash/about picture, the
# question dialog's picture and the small recycling icon of the about box.
# Needs ImageMagick 6 ("convert") and the DejaVu fonts. Run from anywhere;
# the JPEG files are written next to this script.
set -eu
cd "$(dirname "$0")"

FONT_BOLD=${FONT_BOLD:-DejaVu-Sans-Bold}
FONT=${FONT:-DejaVu-Sans}

# Splash: 491x242, a dark blue diagonal ground with soft rings and a few
# frame-like bands on the right. The lower left (24..360, 112..225) stays
# dark and calm because the about box writes white text there.
convert -size 491x242 gradient:'#0a1428'-'#16324f' -rotate 0 \
    \( -size 491x242 xc:none -fill none \
       -stroke '#2f6f9a' -strokewidth 2 -draw 'circle 430,70 430,170' \
       -stroke '#24587d' -strokewidth 2 -draw 'circle 430,70 430,140' \
       -stroke '#3d86b3' -strokewidth 1 -draw 'circle 430,70 430,112' \
       -stroke '#1c4566' -strokewidth 6 -draw 'circle 470,230 470,330' \
       -blur 0x0.6 \) -composite \
    \( -size 491x242 xc:none -stroke none \
       -fill '#e0a33a40' -draw 'roundrectangle 372,20 412,48 4,4' \
       -fill '#e0a33a30' -draw 'roundrectangle 418,20 458,48 4,4' \
       -fill '#e0a33a20' -draw 'roundrectangle 464,20 504,48 4,4' \
       -fill '#5fb3e020' -draw 'polygon 300,0 380,0 200,242 120,242' \) -composite \
    -fill '#f2f5f8' -font "$FONT_BOLD" -pointsize 44 -annotate +22+64 'Tarnel' \
    -fill '#e0a33a' -draw 'rectangle 24,76 176,78' \
    -fill '#b9cde0' -font "$FONT" -pointsize 14 -annotate +24+98 'video codec manager' \
    -quality 92 splash.jpg

# Question picture for the 57-pixel-wide side panel: a large question mark
# over a blue gradient.
convert -size 57x46 gradient:'#2d6fa3'-'#0f2d4d' \
    -fill '#ffffff30' -stroke none -draw 'circle 28,23 28,3' \
    -fill '#ffffff' -font "$FONT_BOLD" -pointsize 34 -gravity center -annotate +0+1 '?' \
    -quality 92 question.jpg

# Recycling icon, 32x32: three green arrows chasing each other round a
# ring, drawn at four times the size and scaled down. The ground matches
# the splash picture where the about box shows the icon.
convert -size 128x128 xc:'#102640' -fill none -stroke '#5cc46a' -strokewidth 14 \
    -draw 'arc 22,22 106,106 -60,25' \
    -draw 'arc 22,22 106,106 60,145' \
    -draw 'arc 22,22 106,106 180,265' \
    -stroke none -fill '#5cc46a' \
    -draw 'polygon 117,89 87,75 94,100' \
    -draw 'polygon 16,98 44,78 18,72' \
    -draw 'polygon 59,5 62,39 80,20' \
    -resize 32x32 -quality 95 recycled.jpg
