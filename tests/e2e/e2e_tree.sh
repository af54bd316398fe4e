#!/usr/bin/env bash
# The folder tree: started deep inside the home folder it opens there; a
# click on another folder lists its pictures; the folder on show renamed from
# outside never makes another folder open; a first start opens the desktop.
source "$(dirname "$0")/lib.sh"
start_xvfb

# No desktop folder: the home folder is the desktop, and the tree's rows are
# the root, home, home's hidden folders, Pictures, blue, red, then the
# computer, network and trash.
picture 'rgb(0,0,230)' "$HOME/Pictures/blue/b.jpg"
start_in_red_folder

eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
click_blue() { click_tree_row_until_shows 110 3 'rgb(0,0,230)'; }
check "a click on a folder in the tree lists its pictures" click_blue
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/shot.png" "$VELMO_SHOTS/tree.png"

# The folder on show renamed from a terminal, then F5: nothing else opens.
mv "$HOME/Pictures/blue" "$HOME/Pictures/blue2"
xdotool windowfocus "$WINDOW" 2>/dev/null
key F5
hides() { ! shows "$1"; }
# Shows nothing of that colour for three seconds on end: another folder
# would open within the watcher's quiet time (1.5 s) of the rename.
stays_hidden() {
    local until=$((SECONDS + 4))
    while [ $SECONDS -lt $until ]; do hides "$1" || return 1; done
}
check "the renamed folder's picture leaves the view" wait_for hides 'rgb(0,0,230)'
check "no other folder's picture is shown" stays_hidden 'rgb(220,0,0)'
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited

# A first start without settings opens the desktop and remembers it.
rm -f "$VELMO_INI_DIR/Velmo.ini"
picture 'rgb(0,200,0)' "$HOME/on-desktop.jpg"
start_velmo
check "a first start shows the desktop's picture" wait_for shows 'rgb(0,200,0)'
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
check "the desktop is saved as the current folder" [ "$(ini_value PATH CurrentPath)" = "$HOME" ]
finish
