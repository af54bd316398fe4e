#!/usr/bin/env bash
# "Open with Velmo" while Velmo runs: a later start hands its folder or
# picture to the running copy and ends, and the picture is the one shown; a
# copy that does not answer never holds the later start up, and one that is
# gone leaves it to start itself. A start without a picture goes on from the
# one on show at the last close.
source "$(dirname "$0")/lib.sh"
start_xvfb

picture 'rgb(220,0,0)' "$SANDBOX/red/a.bmp"
picture 'rgb(0,0,230)' "$SANDBOX/blue/b.png"
picture 'rgb(0,200,0)' "BMP3:$SANDBOX/blue/a.bmp" # listed first
printf 'notes' >"$SANDBOX/blue/n.txt"                                 # listed never
printf '[ACTION]\nDispSize=1\nProportional=1\n' >"$VELMO_INI_DIR/Velmo.ini"
windows() { xdotool search --onlyvisible --name "^ヴェルモ！ - " 2>/dev/null | wc -l; }
shows_none() { ! shows 'rgb(0,0,230)' && ! shows 'rgb(220,0,0)'; }

start_velmo "$SANDBOX/red"
check "first copy shows its folder" wait_for shows 'rgb(220,0,0)'
# A relative picture, from another working folder: its folder is opened.
check "a start with a picture ends" bash -c 'cd "$1" && timeout 10 "$2" blue/b.png' _ "$SANDBOX" "$VELMO"
check "the running copy shows that picture" wait_for shows 'rgb(0,0,230)'
check "a start with a file no decoder takes ends" timeout 10 "$VELMO" "$SANDBOX/blue/n.txt"
check "its folder opens on the first picture" wait_for shows 'rgb(0,200,0)'
check "still one window" [ "$(windows)" = 1 ]
check "a missing folder is opened as at start" timeout 10 "$VELMO" "$SANDBOX/gone/deeper"
check "nothing shown for it" wait_for shows_none
check "a missing picture is told and its folder opened" timeout 10 "$VELMO" "$SANDBOX/red/gone.png"
check "that folder's picture is shown" wait_for shows 'rgb(220,0,0)'

# A copy that hangs: the later start ends on its own; the copy opens the
# folder once it runs again.
kill -STOP "$VELMO_PID"
started=$(date +%s%N)
check "a start against a hung copy ends" timeout 5 "$VELMO" "$SANDBOX/blue/b.png"
echo "later start against the hung copy took $(( ($(date +%s%N) - started) / 1000000 )) ms"
kill -CONT "$VELMO_PID"
check "the woken copy shows the picture" wait_for shows 'rgb(0,0,230)'

# A copy that is gone (killed, socket left behind): the next start runs itself.
kill -KILL "$VELMO_PID"
wait "$VELMO_PID" 2>/dev/null
start_velmo "$SANDBOX/blue/b.png"
check "the next start runs itself and shows its picture" wait_for shows 'rgb(0,0,230)'
xdotool windowfocus "$WINDOW" 2>/dev/null
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
check "the picture on show is remembered" [ "$(ini_value PATH CurrentFile)" = "$SANDBOX/blue/b.png" ]
start_velmo
check "a start without a picture shows it again" wait_for shows 'rgb(0,0,230)'
finish
