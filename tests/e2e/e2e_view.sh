#!/usr/bin/env bash
# The picture view: a folder of JPEG, BMP and ICO pictures is listed sorted,
# the first is shown, N and P walk the list, a broken file reports its error
# and the view then names it instead of keeping the previous picture.
source "$(dirname "$0")/lib.sh"
start_xvfb

PICS="$SANDBOX/pics"
picture 'rgb(220,0,0)' "$PICS/a.jpg"
picture 'rgb(0,200,0)' "BMP3:$PICS/b.bmp"
convert -size 64x64 xc:'rgb(0,0,230)' "$PICS/c.ico"
head -c 3000 /dev/urandom >"$PICS/d_broken.jpg"
printf 'not a picture' >"$PICS/e.txt"
cat >"$VELMO_INI_DIR/Velmo.ini" <<INI
[ACTION]
DispSize=1
Proportional=1
INI

start_velmo "$PICS"
check "first picture (JPEG) shown" wait_for shows 'rgb(220,0,0)'
key n
check "N shows the bitmap" wait_for shows 'rgb(0,200,0)'
key n
check "N shows the icon" wait_for shows 'rgb(0,0,230)'
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/view.png"
key p
check "P goes back to the bitmap" wait_for shows 'rgb(0,200,0)'
key n
check "N shows the icon again" wait_for shows 'rgb(0,0,230)'
key n
check "a broken picture raises the error box" wait_for bash -c '[ -n "$(xdotool search --onlyvisible --name "^ヴェルモ！\$" 2>/dev/null)" ]'
[ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/view-error.png"
key Return
check "the error box closes" wait_for bash -c '[ -z "$(xdotool search --onlyvisible --name "^ヴェルモ！\$" 2>/dev/null)" ]'
[ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/view-notice.png"
icon_gone() { ! shows 'rgb(0,0,230)'; }
check "the previous picture has left the screen" wait_for icon_gone
xdotool windowfocus "$WINDOW" 2>/dev/null
key p
check "P from the broken file shows the icon before it" wait_for shows 'rgb(0,0,230)'
key ctrl+q
check "Ctrl+Q ends the program" wait_for velmo_exited
check "start folder saved" [ "$(ini_value PATH CurrentPath)" = "$PICS" ]
finish
