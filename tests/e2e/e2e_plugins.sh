#!/usr/bin/env bash
# Decoder plug-ins end to end: PNG, GIF, WebP and TIFF pictures are listed
# and shown through the bundled plug-ins; a broken one gives the plug-ins'
# error and is named in the previous picture's place.
source "$(dirname "$0")/lib.sh"
start_xvfb

PICS="$SANDBOX/pics"
picture 'rgb(220,0,0)' "$PICS/a.png"
picture 'rgb(0,200,0)' "$PICS/b.gif"
picture 'rgb(0,0,230)' "$PICS/c.webp" -quality 90
picture 'rgb(230,230,0)' "$PICS/d.tiff"
head -c 4000 /dev/urandom >"$PICS/e.png"
printf '[ACTION]\nDispSize=1\nProportional=1\n' >"$VELMO_INI_DIR/Velmo.ini"

start_velmo "$PICS"
check "PNG shown" wait_for shows 'rgb(220,0,0)'
key n
check "GIF shown" wait_for shows 'rgb(0,200,0)'
key n
check "WebP shown" wait_for shows 'rgb(0,0,230)'
key n
check "TIFF shown" wait_for shows 'rgb(230,230,0)'
key n
check "broken PNG raises the error box" wait_for bash -c '[ -n "$(xdotool search --onlyvisible --name "^ヴェルモ！\$" 2>/dev/null)" ]'
tiff_gone() { ! shows 'rgb(230,230,0)'; }
check "TIFF left the screen" wait_for tiff_gone
key Return
xdotool windowfocus "$WINDOW" 2>/dev/null
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
finish
