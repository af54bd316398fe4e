#!/usr/bin/env bash
# Under a window manager the window keeps its place: five starts and closes
# with Save=1 leave Top and Left as they were, and the frame stands there.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_openbox
printf '[WINDOW]\nTop=120\nLeft=170\nWidth=700\nHeight=500\n[ACTION]\nSave=1\n' >"$VELMO_INI_DIR/Velmo.ini"

# The frame's top left corner: the client's place less the frame's extents.
frame_at() {
    local e x y
    e=$(xprop -id "$WINDOW" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    read -r x y < <(xwininfo -id "$WINDOW" | awk '/Absolute upper-left [XY]/ {printf "%s ", $4}')
    [ -n "$e" ] && [ "$((x - $(cut -d, -f1 <<<"$e"))),$((y - $(cut -d, -f3 <<<"$e")))" = "$1" ]
}

for run in 1 2 3 4 5; do
    start_velmo
    check "run $run: the frame stands at Left,Top" wait_for frame_at 170,120
    [ "$run" = 1 ] && [ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/position.png"
    key ctrl+x
    check "run $run: closed" wait_for velmo_exited
    check "run $run: Top and Left unchanged" [ "$(ini_value WINDOW Top),$(ini_value WINDOW Left)" = 120,170 ]
done
finish
