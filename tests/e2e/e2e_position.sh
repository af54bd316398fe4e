#!/usr/bin/env bash
# The window keeps its place: under a real window manager, five starts and
# closes with Save=1 leave Top and Left as they were, and the frame stands
# where they say.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_openbox

cat >"$VELMO_INI_DIR/Velmo.ini" <<INI
[WINDOW]
Top=120
Left=170
Width=700
Height=500
[ACTION]
Save=1
INI

# The top left corner of the frame the window manager put around the window:
# the client's place less the frame's left and top extents.
frame_corner() {
    local extents x y
    extents=$(xprop -id "$WINDOW" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$extents" ] || return 1
    read -r x y < <(xwininfo -id "$WINDOW" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
    echo "$((x - ${extents%%,*})),$((y - $(echo "$extents" | cut -d, -f3)))"
}
frame_at() { [ "$(frame_corner)" = "$1" ]; }

for run in 1 2 3 4 5; do
    start_velmo
    wait_for frame_at 170,120
    check "run $run: the frame stands at Left,Top ($(frame_corner))" frame_at 170,120
    [ "$run" = 1 ] && [ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/position.png"
    key ctrl+x
    check "run $run: Ctrl+X ends the program" wait_for velmo_exited
    check "run $run: Top stays 120" [ "$(ini_value WINDOW Top)" = 120 ]
    check "run $run: Left stays 170" [ "$(ini_value WINDOW Left)" = 170 ]
done
finish
