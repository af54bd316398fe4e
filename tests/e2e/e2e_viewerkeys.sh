#!/usr/bin/env bash
# The keys of every picture viewer, with the focus in the folder tree: they
# move through the pictures and never through the tree. F11 shows the
# picture alone on the whole screen, where the keys go on working; Esc ends it.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_openbox

PICS="$SANDBOX/pics"
picture 'rgb(220,0,0)' "BMP3:$PICS/a.bmp"
picture 'rgb(0,200,0)' "BMP3:$PICS/b.bmp"
picture 'rgb(0,0,230)' "BMP3:$PICS/c.bmp"
picture 'rgb(230,230,0)' "BMP3:$PICS/d.bmp"
printf '[ACTION]\nDispSize=1\nProportional=1\nDelete=1\nTrash=1\n' >"$VELMO_INI_DIR/Velmo.ini"
RED='rgb(220,0,0)' GREEN='rgb(0,200,0)' BLUE='rgb(0,0,230)' YELLOW='rgb(230,230,0)'

start_velmo "$PICS"
check "the first picture is shown" wait_for shows "$RED"
# Each key is pressed with the focus in the folder tree (a picture shown
# gives it back to the list).
press() { key shift+Tab && key "$1" && wait_for shows "$2"; }
check "End shows the last picture" press End "$YELLOW"
check "Home shows the first" press Home "$RED"
check "Right shows the next" press Right "$GREEN"
check "Space shows the next" press space "$BLUE"
check "BackSpace shows the previous" press BackSpace "$GREEN"
check "Left shows the previous" press Left "$RED"
# On the first picture Home and Left have nothing to do; the tree must not
# take them either (Home would pick its first folder).
key shift+Tab && key Home && key Left
check "the tree kept its folder" press Right "$GREEN"
key Delete
check "Delete asks as D does" wait_for shown "ヴェルモ！ - 確認"
answer_box "ヴェルモ！ - 確認" Escape
check "No keeps the file" [ -f "$PICS/b.bmp" ]

screen_size() { xdotool getwindowgeometry "$WINDOW" | awk '/Geometry/ {print $2}'; }
normal=$(screen_size)
key F11
check "F11 fills the screen" wait_for bash -c "[ \"\$(xdotool getwindowgeometry $WINDOW | awk '/Geometry/ {print \$2}')\" = 1280x900 ]"
# Fitted to the whole screen the picture covers nearly all of it; in the
# window it covered less than half.
alone() { awk -v s="$(share "$GREEN")" 'BEGIN { exit !(s > 0.8) }'; }
check "the picture stands alone on the screen" wait_for alone
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/fullscreen.png"
check "the keys go on working in full screen" press Right "$BLUE"
key Escape
check "Esc gives the window back its size" wait_for bash -c "[ \"\$(xdotool getwindowgeometry $WINDOW | awk '/Geometry/ {print \$2}')\" = $normal ]"
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
finish
