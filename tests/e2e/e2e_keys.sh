#!/usr/bin/env bash
# Sorting by keys faster than the window: under a window manager, a digit key
# held down (auto-repeat) and N and 1 in quick turns sort a folder of a
# hundred pictures; every file ends where the list says, and the next key
# sorts the picture on the screen.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_openbox
xset r on
xset r rate 200 30

PICS="$SANDBOX/pics"
OUT="$SANDBOX/out"
mkdir -p "$PICS" "$OUT"
# Picture i is one flat colour that tells its number: red 40 + 2i.
for i in $(seq 0 99); do
    convert -size 160x120 "xc:rgb($((40 + 2 * i)),$((255 - 2 * i)),90)" "BMP3:$PICS/$(printf 'p%02d' "$i").bmp"
done
cat >"$VELMO_INI_DIR/Velmo.ini" <<INI
[WINDOW]
Top=40
Left=40
Width=800
Height=600
[PATH]
Title1=Out
Path1=$OUT
CurrentPath=$PICS
[ACTION]
DispSize=1
Proportional=1
Mode=1
Move=0
OverWrite=0
INI

count() { find "$1" -maxdepth 1 -name '*.bmp' | wc -l; }

# The name of the picture on the screen, read from its colour in the view.
shown_name() {
    local x y red
    read -r x y < <(xwininfo -id "$WINDOW" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
    red=$(import -window root -crop "1x1+$((x + 300))+$((y + 150))" txt:- 2>/dev/null |
        sed -n 's/.*srgb(\([0-9]*\),.*/\1/p' | tail -n 1)
    [ -n "$red" ] && [ "$red" -ge 40 ] && printf 'p%02d.bmp' $(((red - 40 + 1) / 2))
}

# Every file is in one place only, none is lost, and the picture on the
# screen is still to be sorted; once the window is idle the next 1 sorts it.
settled() {
    local name
    rm -f "$SANDBOX/shown"
    name=$(shown_name) && [ -f "$PICS/$name" ] || return 1
    echo "$name" >"$SANDBOX/shown"
}
nothing_lost() {
    [ "$(($(count "$PICS") + $(count "$OUT")))" = 100 ] &&
        [ -z "$(comm -12 <(ls "$PICS") <(ls "$OUT"))" ]
}
next_key_sorts_the_shown() {
    local name
    name=$(cat "$SANDBOX/shown")
    key 1
    wait_for test -f "$OUT/$name" && test ! -e "$PICS/$name"
}

start_velmo
check "p00 on the screen" wait_for bash -c "$(declare -f shown_name); WINDOW=$WINDOW; [ \"\$(shown_name)\" = p00.bmp ]"

xdotool keydown 1
sleep 3 # the key is held for three seconds
xdotool keyup 1
check "held 1: the window settles on a picture still to sort" wait_for settled
check "held 1: many pictures sorted" [ "$(count "$OUT")" -ge 20 ]
check "held 1: nothing lost or doubled" nothing_lost
check "held 1: the next 1 sorts the picture on the screen" next_key_sorts_the_shown
[ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/keys-held.png"

before=$(count "$OUT")
pairs=()
for _ in $(seq 1 6); do pairs+=(n 1); done
xdotool key --delay 5 "${pairs[@]}"
check "N and 1: the window settles on a picture still to sort" wait_for settled
check "N and 1: pictures sorted" [ "$(count "$OUT")" -gt "$before" ]
check "N and 1: some pictures passed over" [ "$(count "$PICS")" -gt 2 ]
check "N and 1: nothing lost or doubled" nothing_lost
check "N and 1: the next 1 sorts the picture on the screen" next_key_sorts_the_shown
[ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/keys-alternating.png"

key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
finish
