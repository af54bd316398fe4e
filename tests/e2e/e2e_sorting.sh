#!/usr/bin/env bash
# Sorting a folder with digit keys alone: twenty pictures into three output
# folders in move mode, copies in copy mode, a delete into the trash.
source "$(dirname "$0")/lib.sh"
start_xvfb

PICS="$SANDBOX/pics"
mkdir -p "$PICS" "$SANDBOX/a" "$SANDBOX/b" "$SANDBOX/c"
# Neighbours differ in colour, so the test can see the next picture arrive;
# a key pressed while a picture is still loading is not meant for it.
RED='rgb(220,0,0)'
BLUE='rgb(0,0,230)'
colour() { [ $(($1 % 2)) -eq 0 ] && echo "$RED" || echo "$BLUE"; }
for i in $(seq 0 19); do
    picture "$(colour "$i")" "$PICS/$(printf 'p%02d' "$i").jpg"
done
# Sends a key that sorts picture $2 and waits for it to land in $3 and for
# the next picture to show.
sort_key() {
    key "$1"
    wait_for test -f "$3/$(printf 'p%02d' "$2").jpg" && wait_for shows "$(colour $(($2 + 1)))"
}
cat >"$VELMO_INI_DIR/Velmo.ini" <<INI
[PATH]
Title1=A
Path1=$SANDBOX/a
Title2=B
Path2=$SANDBOX/b
Title3=C
Path3=$SANDBOX/c
CurrentPath=$PICS
[ACTION]
Mode=1
Move=0
OverWrite=1
Delete=1
Trash=1
INI

start_velmo
check "caption tells move mode" wait_for bash -c '[ "$(xdotool getwindowname '"$WINDOW"')" = "ヴェルモ！ - 移動モード" ]'

count() { find "$1" -maxdepth 1 -name '*.jpg' | wc -l; }

# Move mode: the key 3 sends the shown picture to slot 4 (Path3), then the
# next one is shown; keys 1 and 2 go to slots 2 and 3.
check "first picture shown" wait_for shows "$RED"
check "key 3 moved p00 into slot 4's folder" sort_key 3 0 "$SANDBOX/c"
check "p00 left the picture folder" test ! -e "$PICS/p00.jpg"
sort_keys() { # key, first and last picture, folder
    local i
    for i in $(seq "$2" "$3"); do sort_key "$1" "$i" "$4" || return 1; done
}
check "key 1 moved p01..p06 into slot 2's folder, each showing the next" sort_keys 1 1 6 "$SANDBOX/a"
check "key 2 moved p07..p12 into slot 3's folder, each showing the next" sort_keys 2 7 12 "$SANDBOX/b"
check "six pictures in A" [ "$(count "$SANDBOX/a")" = 6 ]
check "six pictures in B" [ "$(count "$SANDBOX/b")" = 6 ]
check "seven left to sort" [ "$(count "$PICS")" = 7 ]
screenshot "$SANDBOX/move.png"

# Copy mode: the list does not change, the copy lands, the original stays.
key alt+f
wait_for menu_open && xdotool key c
check "caption tells copy mode" wait_for bash -c '[ "$(xdotool getwindowname '"$WINDOW"')" = "ヴェルモ！ - コピーモード" ]'
key 3
check "key 3 copied p13 into slot 4's folder" wait_for test -f "$SANDBOX/c/p13.jpg"
check "copy kept the original" test -f "$PICS/p13.jpg"
check "copy is identical" cmp -s "$PICS/p13.jpg" "$SANDBOX/c/p13.jpg"

# Delete into the trash, answering the question with Enter (Yes).
key d
check "the delete question is answered Yes" answer_box "ヴェルモ！ - 確認" Return
check "p13 went to the trash" wait_for test -f "$XDG_DATA_HOME/Trash/files/p13.jpg"
check "trash info written" test -f "$XDG_DATA_HOME/Trash/info/p13.jpg.trashinfo"
check "p13 left the folder" test ! -e "$PICS/p13.jpg"

# Nothing was lost: every picture is somewhere.
check "all twenty pictures accounted for" [ "$(( $(count "$PICS") + $(count "$SANDBOX/a") + $(count "$SANDBOX/b") + $(count "$SANDBOX/c") ))" = 20 ]
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
check "mode saved as copy" [ "$(ini_value ACTION Mode)" = "0" ]
finish
