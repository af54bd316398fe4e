#!/usr/bin/env bash
# Culling a burst: Ctrl and the wheel zoom at the pointer onto a small spot,
# the next picture of the same size keeps the zoom and the place, Z goes back
# to the fitted view, C pins a picture beside the next one, and in full
# screen a digit key still sorts the picture on show.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_openbox

PICS="$SANDBOX/pics" OUT="$SANDBOX/out"
mkdir -p "$OUT"
RED='rgb(230,0,0)'
# Blue 4000x3000 shots with a red 200x200 spot near the lower right.
for name in a b c; do
    picture 'rgb(0,0,200)' "$PICS/$name.jpg" -size 4000x3000 xc:'rgb(0,0,200)' -delete 0 \
        -fill "$RED" -draw 'rectangle 3000,2000 3199,2199'
done
printf '[PATH]\nTitle1=残す\nPath1=%s\n[ACTION]\nDispSize=1\nProportional=1\nMode=0\n' "$OUT" \
    >"$VELMO_INI_DIR/Velmo.ini"

start_velmo "$PICS"
check "the first picture is shown fitted" wait_for shows 'rgb(0,0,200)'
few_red() { awk -v s="$(share "$RED")" 'BEGIN { exit !(s < 0.01) }'; }
much_red() { awk -v s="$(share "$RED")" 'BEGIN { exit !(s > 0.025) }'; }
check "fitted, the spot is small" few_red
# The spot's middle in the fitted view: the picture sits at the view's top
# left, scaled by the view's width.
eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
view_w=$(( WIDTH - 200 - 30 ))
sx=$(( X + 200 + 3100 * view_w / 4000 )) sy=$(( Y + 60 + 2100 * view_w / 4000 ))
xdotool mousemove "$sx" "$sy"
for _ in 1 2 3 4 5 6; do xdotool keydown ctrl click 4 keyup ctrl; sleep 0.2; done
check "Ctrl and the wheel zoom in on the spot under the pointer" wait_for much_red
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/zoom-spot.png"
key n
sleep 1
check "the next shot of the same size keeps zoom and place" wait_for much_red
key z
check "Z goes back to the fitted view" wait_for few_red
key c
key n
# Pinned, each half shows its picture at half the width: the fitted height
# halves too, and below it the left half is empty while its top is blue.
blue_at() { [ "$(convert "$SANDBOX/shot.png" -crop "1x1+$1+$2" -format '%[fx:r<0.2&&b>0.6]' info:)" = 1 ]; }
both() {
    screenshot "$SANDBOX/shot.png"
    local left=$((X + 200 + view_w / 4)) right=$((X + 200 + 3 * view_w / 4))
    blue_at "$left" $((Y + 150)) && blue_at "$right" $((Y + 150)) && ! blue_at "$left" $((Y + 400))
}
check "compare shows the pinned and the next picture" wait_for both
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/zoom-compare.png"
key Escape
key F11
sleep 1
key 1
check "a digit in full screen sorts the picture on the right" wait_for test -f "$OUT/c.jpg"
[ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/zoom-fullscreen.png"
key Escape
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
finish
