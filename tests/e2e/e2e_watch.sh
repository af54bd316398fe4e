#!/usr/bin/env bash
# The tree follows the disk without a key pressed: the folder on show
# renamed from a terminal leaves the tree and its picture the view; a folder
# made from a terminal shows up in the tree and can be clicked, also beside a
# folder handed over by a later start.
source "$(dirname "$0")/lib.sh"
start_xvfb

# Listed by nobody until a later start hands over its subfolder.
picture 'rgb(0,0,230)' "$HOME/Zoo/blue/b.jpg"
start_in_red_folder

mv "$HOME/Pictures/red" "$HOME/Pictures/red (old)"
hides() { ! shows "$1"; }
check "the folder on show renamed from a terminal leaves the view, no key pressed" \
    wait_for hides 'rgb(220,0,0)'

# A new folder beside it: after the watcher's quiet time (1.5 s) it stands
# first under Pictures, before the renamed one.
eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
# How far down the tree's rows reach in its pane, in pixels: a folder more
# is a row more, where a mere redraw (focus, selection) changes nothing.
rows_end() {
    screenshot "$SANDBOX/pane.png"
    convert "$SANDBOX/pane.png" -crop "180x240+$((X + 10))+$((Y + 55))" +repage \
        -bordercolor white -border 1 -fuzz 20% -format '%@' info: | awk -F'[x+]' '{ print $2 + $4 }'
}
before=$(rows_end)
mkdir "$HOME/Pictures/green"
picture 'rgb(0,200,0)' "$HOME/Pictures/green/g.jpg"
row_added() { [ "$(rows_end)" -ge $((before + 18)) ]; }
check "the tree gains the new folder's row, no key pressed" wait_for row_added
[ -n "${VELMO_SHOTS:-}" ] && screenshot "$VELMO_SHOTS/watch-new-folder.png"
click_green() { click_tree_row_until_shows 120 3 'rgb(0,200,0)'; }
check "the folder made from a terminal is in the tree and opens on a click" click_green

# "Open with" a folder no one has listed: the folders opened on the way are
# watched as if clicked, so one made beside it shows up too.
check "a later start hands its folder over" timeout 10 "$VELMO" "$HOME/Zoo/blue"
check "the running copy shows it" wait_for shows 'rgb(0,0,230)'
before=$(rows_end)
mkdir "$HOME/Zoo/cyan"
picture 'rgb(0,200,200)' "$HOME/Zoo/cyan/c.jpg"
check "the tree gains a row for the folder made beside it" wait_for row_added
# Rows: the root, home, Pictures, green, red (old), Zoo, blue, cyan.
click_cyan() { click_tree_row_until_shows 120 7 'rgb(0,200,200)'; }
check "and it opens on a click" click_cyan
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
finish
