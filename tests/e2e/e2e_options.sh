#!/usr/bin/env bash
# A new user with no Velmo.ini sets up three output folders through the
# options dialog, choosing each in the folder picker, and sorts a folder with
# the digit keys.
source "$(dirname "$0")/lib.sh"
start_xvfb

PICS="$SANDBOX/pics"
mkdir -p "$PICS" "$SANDBOX/red" "$SANDBOX/blue" "$SANDBOX/green box"
convert -size 400x300 xc:'rgb(220,0,0)' "$PICS/p0.jpg"
convert -size 400x300 xc:'rgb(0,0,230)' "$PICS/p1.jpg"
convert -size 400x300 xc:'rgb(0,200,0)' "$PICS/p2.jpg"

start_velmo "$PICS"
OPTION="ヴェルモ！ - オプション設定"
INPUT="ヴェルモ！ - 出力フォルダ入力"
PICKER="フォルダを選択してください。"

shown() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
gone() { [ -z "$(shown "$1")" ]; }
# Focuses the window of that caption once it shows, for plain key presses.
focus() {
    wait_for bash -c "[ -n \"\$(xdotool search --onlyvisible --name '^$1\$' 2>/dev/null)\" ]" ||
        return 1
    xdotool windowfocus --sync "$(shown "$1")"
}
# Clicks a point of a window's client area; the dialogs have a fixed layout.
click_in() { xdotool mousemove --window "$(shown "$1")" "$2" "$3" click 1; }
shot() { screenshot "$SANDBOX/$1.png" && [ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/$1.png" "$VELMO_SHOTS/"; }

# A menu is open when the program shows more than its main window.
menu_open() { [ "$(xdotool search --onlyvisible --pid "$VELMO_PID" 2>/dev/null | wc -l)" -gt 1 ]; }

# Move mode, then 表示 > オプション.
key alt+f
wait_for menu_open && xdotool key m
check "move mode" wait_for bash -c '[ "$(xdotool getwindowname '"$WINDOW"')" = "ヴェルモ！ - 移動モード" ]'
key alt+v
wait_for menu_open && xdotool key o
check "options dialog opens" focus "$OPTION"
# 動作: no question before a move (a new user's default asks); then フォルダ.
xdotool key ctrl+Tab alt+m ctrl+Tab

# Enters slot n (grid row n+1) with the folder chosen in the picker.
enter_slot() {
    focus "$OPTION" || return 1
    click_in "$OPTION" 100 $((92 + 18 * $1)) # the slot's row in the grid
    xdotool key alt+e
    focus "$INPUT" || return 1
    [ "$1" = 0 ] && shot input-empty
    click_in "$INPUT" 376 68 # 参照
    focus "$PICKER" || return 1
    xdotool type --delay 20 "$2"
    xdotool key Return
    wait_for gone "$PICKER" || return 1
    [ "$1" = 0 ] && shot input-filled
    click_in "$INPUT" 291 116 # OK
    wait_for gone "$INPUT"
}
check "slot 0 entered" enter_slot 0 "$SANDBOX/red"
check "slot 1 entered" enter_slot 1 "$SANDBOX/blue"
check "slot 2 entered" enter_slot 2 "$SANDBOX/green box"
shot options-folders
click_in "$OPTION" 202 341 # OK
check "options dialog closes" wait_for gone "$OPTION"
check "no Velmo.ini before exit" test ! -e "$VELMO_INI_DIR/Velmo.ini"
shot main-buttons

# Each digit moves the shown picture into its slot's folder.
xdotool windowfocus --sync "$WINDOW"
key 0
check "key 0 moved p0 into red" wait_for test -f "$SANDBOX/red/p0.jpg"
check "p1 shown next" wait_for shows 'rgb(0,0,230)'
key 1
check "key 1 moved p1 into blue" wait_for test -f "$SANDBOX/blue/p1.jpg"
check "p2 shown next" wait_for shows 'rgb(0,200,0)'
key 2
check "key 2 moved p2 into green box" wait_for test -f "$SANDBOX/green box/p2.jpg"
check "the folder is sorted" [ -z "$(ls "$PICS")" ]

key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
check "slot titles saved" [ "$(ini_value PATH Title0)|$(ini_value PATH Title1)|$(ini_value PATH Title2)" = "red|blue|green box" ]
check "slot folder saved" [ "$(ini_value PATH Path2)" = "$SANDBOX/green box" ]
check "no question before a move saved" [ "$(ini_value ACTION Move)" = "0" ]
finish
