#!/usr/bin/env bash
# The picture handed to Velmo is the one shown: on the command line and by a
# later start ("Open with"); a file no decoder takes opens the folder's first.
# A start without one shows the picture on show at the last close.
source "$(dirname "$0")/lib.sh"
start_xvfb

PICS="$SANDBOX/pics"
mkdir -p "$PICS"
convert -size 400x300 xc:'rgb(220,0,0)' "BMP3:$PICS/a.bmp"
convert -size 400x300 xc:'rgb(0,200,0)' "BMP3:$PICS/b.bmp"
convert -size 400x300 xc:'rgb(0,0,230)' "BMP3:$PICS/c.bmp"
printf 'notes' >"$PICS/n.txt"
printf '[ACTION]\nDispSize=1\nProportional=1\n' >"$VELMO_INI_DIR/Velmo.ini"

start_velmo "$PICS/c.bmp"
check "the picture on the command line is shown" wait_for shows 'rgb(0,0,230)'
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/startpicture.png"
check "a later start with a picture ends" timeout 10 "$VELMO" "$PICS/b.bmp"
check "the running copy shows that picture" wait_for shows 'rgb(0,200,0)'
check "a later start with a file no decoder takes ends" timeout 10 "$VELMO" "$PICS/n.txt"
check "its folder opens on the first picture" wait_for shows 'rgb(220,0,0)'
xdotool windowfocus --sync "$WINDOW" 2>/dev/null
key n
check "N goes on from there" wait_for shows 'rgb(0,200,0)'
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
check "the picture on show is remembered" [ "$(ini_value PATH CurrentFile)" = "$PICS/b.bmp" ]
start_velmo
check "a start without a picture shows the one on show at the close" wait_for shows 'rgb(0,200,0)'
finish
