#!/bin/sh
# Draws the program's artwork: banner, icon and the three button pictures.
# Needs ImageMagick (Debian's imagemagick); the results are committed.
set -e
cd "$(dirname "$0")"
IM=/usr/bin/convert
FONT=DejaVu-Sans-Bold
# Banner 608 x 67: a dark blue band fading to light, the name on the left.
$IM -size 608x67 gradient:'#12306a'-'#5f8fd0' -rotate 0 \
    \( -size 608x67 xc:none -fill '#ffffff22' -draw 'circle 560,-40 660,60' \) -composite \
    -font $FONT -pointsize 26 -fill white -annotate +16+32 'Talvero' \
    -font DejaVu-Sans -pointsize 14 -fill '#dbe6ff' -annotate +18+54 'Liveupdate für Mirado 2019' \
    -quality 92 banner.jpg
# The program shows the banner as a bitmap: a picture decoder would have to
# load COM and an image codec before the window could show.
$IM banner.jpg -type TrueColor BMP3:banner.bmp
# Icon 48 x 48: a rounded blue tile with a white arrow pointing down into a tray.
$IM -size 48x48 xc:none -fill '#1f4f9c' -draw 'roundrectangle 2,2 45,45 9,9' \
    -fill white -draw 'polygon 24,38 12,24 19,24 19,8 29,8 29,24 36,24' \
    -fill '#9fc3ff' -draw 'rectangle 10,40 38,42' \
    -define icon:auto-resize=48,32,16 update.ico
# Button pictures 32 x 32: a right arrow in a circle, normal, hot and disabled.
arrow() { # $1 fill, $2 arrow colour, $3 file
    $IM -size 32x32 xc:'#c0c0c0' -fill "$1" -draw 'circle 16,16 16,2' \
        -fill "$2" -draw 'polygon 11,9 11,23 24,16' -type TrueColor BMP3:"$3"
}
arrow '#2e7d32' white next.bmp
arrow '#43a047' '#fffde7' next_hot.bmp
arrow '#8a8a8a' '#d8d8d8' next_disabled.bmp
