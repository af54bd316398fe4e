#!/usr/bin/env bash
# The folder tree under a window manager, used with the mouse as a person
# does: only a click on a label selects; a double click opens a folder and
# never renames it; the folder on show stays marked while the file list has
# the focus; a deep folder's label is scrolled into view.
source "$(dirname "$0")/lib.sh"
# Nothing hidden may appear in the home folder meanwhile and move the rows.
export XDG_CACHE_HOME="$SANDBOX/cache" DBUS_SESSION_BUS_ADDRESS="unix:path=$SANDBOX/no-bus"
start_xvfb
start_openbox

# Rows: the root, home, home's hidden folders, Pictures, blue, red.
picture 'rgb(0,0,230)' "$HOME/Pictures/blue/b.jpg"
picture 'rgb(0,200,0)' "$HOME/Pictures/blue/inner/g.jpg"
start_in_red_folder

# The window manager's frame: the client's own place on the screen.
eval "$(xwininfo -id "$WINDOW" | awk '/Absolute upper-left X/{print "X="$4} /Absolute upper-left Y/{print "Y="$4}')"
row_y() { echo $((Y + 59 + 18 * ($1 + $(find "$HOME" -mindepth 1 -maxdepth 1 -type d -name '.*' | wc -l)))); }
# Whether the colour shows at any time within about a second and a half.
shows_soon() { for _ in 1 2 3 4 5 6 7 8; do shows "$1" && return 0; sleep 0.2; done; return 1; }

xdotool mousemove $((X + 165)) "$(row_y 3)" click 1
xdotool mousemove $((X + 8)) "$(row_y 3)" click 1
stays_red() { ! shows_soon 'rgb(0,0,230)'; }
check "a click right of a label or in an ancestor's indent selects nothing" stays_red
xdotool mousemove $((X + 100)) "$(row_y 3)" click 1
check "a click on a label selects its folder" wait_for shows 'rgb(0,0,230)'

# The list took the focus: the tree still marks its folder, in the colour
# of a selection without focus.
marked_rows() { # rows of the tree pane mostly in the inactive selection colour
    screenshot "$SANDBOX/tree.png"
    convert "$SANDBOX/tree.png" -crop 180x230+"$X"+"$((Y + 50))" +repage txt:- |
        awk -F'[,:() ]+' 'NR > 1 { y = $2 + 0
            if ($3 > 160 && $3 < 205 && $4 > 195 && $4 < 235 && $5 > 220) hit[y]++
            if ($3 + $4 + $5 < 200) dark[y]++ }
            END { for (y in hit) if (hit[y] > 60) { rows++; text += dark[y] }
                  print rows + 0, text + 0 }'
}
marked() { [ "$(marked_rows | cut -d' ' -f1)" -gt 8 ]; }
check "the folder on show stays marked while the list has the focus" wait_for marked
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/tree.png" "$VELMO_SHOTS/tree-marked.png"

# A double click on the selected folder opens it; what is typed after it
# renames nothing (a wrongly started rename opens after the double-click
# time, so the typing waits a little longer than that).
xdotool mousemove $((X + 100)) "$(row_y 3)" click --repeat 2 --delay 80 1
sleep 1
xdotool type zz
xdotool key Return
check "a double click renames nothing" wait_for bash -c "[ -d '$HOME/Pictures/blue' ] && [ ! -e '$HOME/Pictures/zz' ]"
xdotool mousemove $((X + 120)) "$(row_y 4)" click 1
check "a double click opened the folder" wait_for shows 'rgb(0,200,0)'
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited

# Started ten levels below home, the selected folder's label is on screen.
deep="$HOME/Pictures/level-three/level-four/level-five/level-six/level-seven"
deep="$deep/level-eight/level-nine/level-ten/deepest-folder-with-a-long-name"
picture 'rgb(220,0,0)' "$deep/a.jpg"
printf '[PATH]\nCurrentPath=%s\n[ACTION]\nDispSize=1\n' "$deep" >"$VELMO_INI_DIR/Velmo.ini"
start_velmo
check "the deep folder's picture is shown" wait_for shows 'rgb(220,0,0)'
labelled() { set -- $(marked_rows); [ "$1" -gt 8 ] && [ "$2" -gt 20 ]; }
check "the deep folder's label is scrolled into view" wait_for labelled
[ -n "${VELMO_SHOTS:-}" ] && cp "$SANDBOX/tree.png" "$VELMO_SHOTS/tree-deep.png"
key ctrl+x
check "Ctrl+X ends the program" wait_for velmo_exited
finish
