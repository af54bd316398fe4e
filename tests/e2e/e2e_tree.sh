#!/usr/bin/env bash
# The folder tree: started deep inside the home folder it opens there; a
# click on another folder lists its pictures; the folder on show renamed from
# outside never makes another folder open; a first start opens the desktop.
source "$(dirname "$0")/lib.sh"
start_xvfb

# No desktop folder: the home folder is the desktop, and the tree's rows are
# the root, home, home's hidden folders, Pictures, blue, red, then the
# computer, network and trash.
mkdir -p "$HOME/Pictures/red" "$HOME/Pictures/blue"
convert -size 400x300 xc:'rgb(220,0,0)' "$HOME/Pictures/red/a.jpg"
convert -size 400x300 xc:'rgb(0,0,230)' "$HOME/Pictures/blue/b.jpg"
cat >"$VELMO_INI_DIR/Velmo.ini" <<INI
[PATH]
CurrentPath=$HOME/Pictures/red
[ACTION]
DispSize=1
INI

start_velmo
check "the start folder's picture is shown" wait_for shows 'rgb(220,0,0)'

# The tree sits below the menu and tool bar; rows are 18 pixels high.
eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
row_y() { echo $((Y + 50 + 9 + 18 * $1)); }
hidden=$(find "$HOME" -mindepth 1 -maxdepth 1 -type d -name '.*' | wc -l)
# A hidden folder that the desktop's services make while the tree is being
# listed moves the rows by one: the neighbouring rows are tried after.
shows_soon() { for _ in 1 2 3 4 5 6 7 8; do shows "$1" && return 0; sleep 0.2; done; return 1; }
click_blue() {
    for off in 0 -1 1; do
        xdotool mousemove $((X + 110)) "$(row_y $((3 + hidden + off)))" click 1
        shows_soon 'rgb(0,0,230)' && return 0
    done
    return 1
}
check "a click on a folder in the tree lists its pictures" click_blue
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/tree.png"

# The folder on show renamed from a terminal, then F5: nothing else opens.
mv "$HOME/Pictures/blue" "$HOME/Pictures/blue2"
xdotool windowfocus "$WINDOW" 2>/dev/null
key F5
hides() { ! shows "$1"; }
check "the renamed folder's picture leaves the view" wait_for hides 'rgb(0,0,230)'
check "no other folder's picture is shown" hides 'rgb(220,0,0)'
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited

# A first start without settings opens the desktop and remembers it.
rm -f "$VELMO_INI_DIR/Velmo.ini"
convert -size 400x300 xc:'rgb(0,200,0)' "$HOME/on-desktop.jpg"
start_velmo
check "a first start shows the desktop's picture" wait_for shows 'rgb(0,200,0)'
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
check "the desktop is saved as the current folder" [ "$(ini_value PATH CurrentPath)" = "$HOME" ]
finish
