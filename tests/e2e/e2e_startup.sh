#!/usr/bin/env bash
# Start-up and close: the window opens in copy mode from its own Velmo.ini,
# Ctrl+X closes it and the settings land on disk.
source "$(dirname "$0")/lib.sh"
start_xvfb

mkdir -p "$SANDBOX/pics" "$SANDBOX/out"
cat >"$VELMO_INI_DIR/Velmo.ini" <<INI
; kept by the user
[WINDOW]
Width=900
Height=640
[PATH]
Title3=Keep
Path3=$SANDBOX/out
CurrentPath=$SANDBOX/pics
[ACTION]
Mode=0
Move=7
[USER]
Mine=yes
INI

start_velmo
check "caption tells copy mode" wait_for bash -c '[ "$(xdotool getwindowname '"$WINDOW"')" = "ヴェルモ！ - コピーモード" ]'
screenshot "$SANDBOX/startup.png" && [ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/startup.png" "$VELMO_SHOTS/"

# A second start hands over to the first copy and ends at once.
check "a second start ends by itself" timeout 10 "$VELMO"
check "still one window" [ "$(xdotool search --onlyvisible --name "^ヴェルモ！ - " | wc -l)" = 1 ]
check "the first copy still runs" kill -0 "$VELMO_PID"

xdotool windowfocus "$WINDOW" 2>/dev/null
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
check "version written" [ "$(ini_value OTHER Version)" = "1.03" ]
check "Move=7 survives" [ "$(ini_value ACTION Move)" = "7" ]
check "slot kept" [ "$(ini_value PATH Path3)" = "$SANDBOX/out" ]
check "user section survives" grep -q '^Mine=yes' "$VELMO_INI_DIR/Velmo.ini"
check "comment survives" grep -q '^; kept by the user' "$VELMO_INI_DIR/Velmo.ini"
check "width written" [ "$(ini_value WINDOW Width)" = "900" ]
# Without a bus of the user's, none was started (it would stay behind).
check "no bus daemon started" [ ! -e "$HOME/.dbus" ]
finish
