#!/usr/bin/env bash
# Drag and drop on the folder tree: files dragged from another program land in
# the folder they are dropped on, twenty thousand at once as well as two; a
# folder dragged onto another is moved into
# it; resting a drag on a collapsed folder opens it; a drag of plain text is
# refused. A small drag source of our own stands in for a file manager.
source "$(dirname "$0")/lib.sh"
# Nothing hidden may appear in the home folder meanwhile: no cache there, no
# session bus started on demand.
export XDG_CACHE_HOME="$SANDBOX/cache" DBUS_SESSION_BUS_ADDRESS="unix:path=$SANDBOX/no-bus"
start_xvfb
start_openbox

mkdir -p "$HOME/Pictures/blue" "$HOME/Pictures/green/inner" "$SANDBOX/src"
for f in one two three; do convert -size 40x30 xc:white "$SANDBOX/src/$f.jpg"; done
start_in_red_folder
hidden=$(find "$HOME" -mindepth 1 -maxdepth 1 -type d -name '.*' | wc -l)

# Rows of the tree: the root, home, Pictures, then blue, green and red.
# Under a window manager xdotool misplaces the window by its frame; the
# server's own answer is exact.
X=$(xwininfo -id "$WINDOW" | awk '/Absolute upper-left X/ {print $NF}')
Y=$(xwininfo -id "$WINDOW" | awk '/Absolute upper-left Y/ {print $NF}')
TREE_X=$((X + 110))
row_y() { echo $((Y + 50 + 9 + 18 * ($1 + hidden))); }
BLUE=3 GREEN=4 RED=5

# Presses a button at one point, moves in small steps to another, rests there
# for the given seconds, moves on down by the given pixels and lets go. Quick
# enough that a folder passed on the way is not opened.
drag() { # button x1 y1 x2 y2 rest [down]
    xdotool mousemove "$2" "$3" sleep 0.3 mousedown "$1"
    local i
    for i in 1 2 3 4 5 6 7 8 9 10; do
        xdotool mousemove $(($2 + ($4 - $2) * i / 10)) $(($3 + ($5 - $3) * i / 10)) sleep 0.05
    done
    xdotool sleep "$6"
    for i in 1 2 3 4 5 6; do xdotool mousemove "$4" $(($5 + ${7:-0} * i / 6)) sleep 0.05; done
    xdotool mouseup "$1"
}

start_source() {
    "$BUILD_DIR/velmo_dragsource" "$@" >"$SANDBOX/source.log" 2>&1 &
    SOURCE_PID=$!
    wait_for bash -c "[ -n \"\$(xdotool search --onlyvisible --name '^velmo-dragsource\$')\" ]"
    SOURCE=$(shown velmo-dragsource)
    S_X=$(xwininfo -id "$SOURCE" | awk '/Absolute upper-left X/ {print $NF}')
    S_Y=$(xwininfo -id "$SOURCE" | awk '/Absolute upper-left Y/ {print $NF}')
}
stop_source() { kill "$SOURCE_PID" 2>/dev/null; wait "$SOURCE_PID" 2>/dev/null; }
shot() { screenshot "$SANDBOX/shot.png" && [ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/$1.png"; }

# Two files from the other program onto blue: moved there (one filesystem).
start_source "$SANDBOX/src/one.jpg" "$SANDBOX/src/two.jpg"
drag 1 $((S_X + 100)) $((S_Y + 60)) "$TREE_X" "$(row_y $BLUE)" 0.2
landed() { [ -f "$HOME/Pictures/blue/one.jpg" ] && [ -f "$HOME/Pictures/blue/two.jpg" ]; }
check "files dragged from another program land in the folder" wait_for landed
check "they left their old folder (a move on one filesystem)" \
    bash -c "[ ! -e '$SANDBOX/src/one.jpg' ] && [ ! -e '$SANDBOX/src/two.jpg' ]"
check "the drag source was told no more than a copy: it keeps nothing to remove" \
    grep -q "effect 1" "$SANDBOX/source.log"
stop_source

# Twenty thousand files swept in over red and green and rested on blue land
# in blue: the tree answers the drag at once, however many files it carries.
mkdir "$SANDBOX/many"
(cd "$SANDBOX/many" && seq -f 'IMG_%05g.JPG' 1 20000 | xargs touch)
start_source "$SANDBOX"/many/*
xdotool mousemove $((S_X + 100)) $((S_Y + 60)) sleep 0.3 mousedown 1
for i in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove $((S_X + 100 + (TREE_X - S_X - 100) * i / 10)) \
        $((S_Y + 60 + ($(row_y $RED) - S_Y - 60) * i / 10)) sleep 0.02
done
xdotool mousemove "$TREE_X" "$(row_y $GREEN)" sleep 0.02 mousemove "$TREE_X" "$(row_y $BLUE)" \
    sleep 1 mouseup 1
started=$(date +%s%N)
emptied() { [ -z "$(ls -A "$SANDBOX/many")" ]; }
for _ in $(seq 1 30); do wait_for emptied && break; done
echo "20000 files landed in $(( ($(date +%s%N) - started) / 1000000 )) ms"
check "twenty thousand files rested on blue land in blue" \
    [ "$(find "$HOME/Pictures/blue" -name 'IMG_*' | wc -l)" = 20000 ]
stop_source

# A folder of the tree dragged onto another folder of the tree is moved.
drag 1 "$TREE_X" "$(row_y $RED)" "$TREE_X" "$(row_y $BLUE)" 0.2
moved() { [ -f "$HOME/Pictures/blue/red/a.jpg" ] && [ ! -e "$HOME/Pictures/red" ]; }
check "a folder dragged onto another folder is moved into it" wait_for moved
shot drop-folder

# A drag with the right button asks with a menu; its first item copies.
drag 3 "$TREE_X" "$(row_y $GREEN)" "$TREE_X" "$(row_y $BLUE)" 0.2
check "a right-button drop asks what to do" wait_for menu_open
shot drop-menu
xdotool key c
check "copy here copies the folder and keeps it" \
    wait_for test -d "$HOME/Pictures/blue/green/inner" -a -d "$HOME/Pictures/green/inner"

# Resting on green (collapsed, with a subfolder) opens it: its subfolder
# takes the row below, and a drop there lands inside it.
start_source "$SANDBOX/src/three.jpg"
drag 1 $((S_X + 100)) $((S_Y + 60)) "$TREE_X" "$(row_y $GREEN)" 3.5 18
shot drop-hover
check "resting on a collapsed folder opens it" wait_for test -f "$HOME/Pictures/green/inner/three.jpg"
stop_source

# Plain text is no file: refused, nothing changes.
start_source --text
before=$(find "$HOME/Pictures" | sort | md5sum)
drag 1 $((S_X + 100)) $((S_Y + 60)) "$TREE_X" "$(row_y $BLUE)" 0.2
check "a drag of plain text is refused" wait_for grep -q "effect 0" "$SANDBOX/source.log"
check "and changes nothing" [ "$(find "$HOME/Pictures" | sort | md5sum)" = "$before" ]
stop_source
finish
