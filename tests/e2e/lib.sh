# Shared steps of the end-to-end tests: a private Xvfb screen, a sandbox with
# its own Velmo.ini, the real program started and driven with xdotool.
set -u

BUILD_DIR="$(cd "${1:?build dir}" && pwd)"
VELMO="$BUILD_DIR/velmo"
SANDBOX="$(mktemp -d /tmp/velmo-e2e.XXXXXX)"
export VELMO_INI_DIR="$SANDBOX/ini"
export TMPDIR="$SANDBOX/tmp" # keeps the single-instance socket private
# A home and XDG folders of the test's own: nothing reaches the real ones.
export XDG_DATA_HOME="$SANDBOX/data"
export XDG_CONFIG_HOME="$SANDBOX/config"
export XDG_CACHE_HOME="$SANDBOX/cache"
export XDG_STATE_HOME="$SANDBOX/state"
export XDG_RUNTIME_DIR="$SANDBOX/runtime"
export HOME="$SANDBOX/home"
export LANG=ja_JP.UTF-8 LC_ALL=C.UTF-8
mkdir -p "$VELMO_INI_DIR" "$TMPDIR" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" \
    "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"

FAILED=0
PASSED=0
XVFB_PID=""
VELMO_PID=""

cleanup() {
    [ -n "$VELMO_PID" ] && kill "$VELMO_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$SANDBOX"
}
trap cleanup EXIT

start_xvfb() {
    # Xvfb picks a free display itself and tells its number, so tests that
    # run side by side never share a screen. Without -noreset the server
    # resets whenever its last client leaves (the readiness probe below),
    # and a program connecting in that moment is turned away.
    local fifo="$SANDBOX/displayfd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    local n
    read -r -t 20 n <"$fifo" || { echo "no Xvfb display could be started" >&2; exit 1; }
    export DISPLAY=":$n"
    for _ in $(seq 1 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    echo "Xvfb did not answer on $DISPLAY" >&2
    exit 1
}

# Starts Velmo with the given arguments and waits for its main window.
start_velmo() {
    "$VELMO" "$@" >"$SANDBOX/velmo.log" 2>&1 &
    VELMO_PID=$!
    WINDOW=""
    for _ in $(seq 1 200); do
        WINDOW=$(xdotool search --onlyvisible --name "^ヴェルモ！ - " 2>/dev/null | head -n 1)
        [ -n "$WINDOW" ] && break
        sleep 0.05
    done
    if [ -z "$WINDOW" ]; then
        echo "Velmo's window did not appear" >&2
        cat "$SANDBOX/velmo.log" >&2
        exit 1
    fi
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
    wait_for bash -c "[ \"\$(xdotool getwindowfocus 2>/dev/null)\" = $WINDOW ]"
}

window_title() { xdotool getwindowname "$WINDOW" 2>/dev/null; }

key() { xdotool key --window "$WINDOW" --clearmodifiers "$@" 2>/dev/null || xdotool key "$@"; }

# Waits (up to 10 s) until the command succeeds.
wait_for() {
    for _ in $(seq 1 200); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# The window with exactly this caption, once it shows; whether it is gone.
shown() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
gone() { [ -z "$(shown "$1")" ]; }
# Focuses the window of that caption once it shows, for plain key presses.
focus() { wait_for bash -c "[ -n \"\$(xdotool search --onlyvisible --name '^$1\$')\" ]" &&
    xdotool windowfocus --sync "$(shown "$1")"; }
# Whether a menu of Velmo's is open (a window of its own beside the main one).
menu_open() { [ "$(xdotool search --onlyvisible --pid "$VELMO_PID" | wc -l)" -gt 1 ]; }
# Answers the message box of that caption with a key, and gives the focus
# back to the main window once it has closed (no window manager does).
answer_box() {
    focus "$1" && xdotool key "$2" && wait_for gone "$1" &&
        { xdotool windowfocus --sync "$WINDOW" 2>/dev/null || true; }
}

velmo_exited() { ! kill -0 "$VELMO_PID" 2>/dev/null; }

check() {
    local what="$1"
    shift
    if "$@"; then
        PASSED=$((PASSED + 1))
        echo "ok: $what"
    else
        FAILED=$((FAILED + 1))
        echo "FAILED: $what"
    fi
}

screenshot() { import -window root "$1" 2>/dev/null; }

finish() {
    echo "$PASSED passed, $FAILED failed"
    [ "$FAILED" -eq 0 ]
    exit $?
}

ini_value() { # section key
    awk -v s="[$1]" -v k="$2" 'BEGIN{IGNORECASE=1} /^\[/{in_s=(tolower($0)==tolower(s))} in_s && index(tolower($0), tolower(k)"=")==1 {sub(/^[^=]*=/,""); print; exit}' "$VELMO_INI_DIR/Velmo.ini"
}

# Share of the screen in the given colour (0..1).
share() {
    screenshot "$SANDBOX/shot.png"
    convert "$SANDBOX/shot.png" -fuzz 12% -fill black +opaque "$1" -fill white -opaque "$1" \
        -format '%[fx:mean]' info: 2>/dev/null
}

# Whether a picture of the given colour covers a fair part of the screen.
shows() {
    local s
    s=$(share "$1")
    awk -v s="$s" 'BEGIN { exit !(s > 0.05) }'
}

# Writes a 400x300 picture of one colour, making its folder: picture COLOUR
# FILE [convert options]. The file's ending, or a format put before it as in
# BMP3:FILE, gives the format.
picture() {
    mkdir -p "$(dirname "${2#[A-Z]*:}")"
    convert -size 400x300 "xc:$1" "${@:3}" "$2"
}

# Starts Velmo on ~/Pictures/red, a folder holding one red picture shown
# fitted, and checks that the picture is shown: where the tree tests start.
# Other folders are made before it is called.
start_in_red_folder() {
    picture 'rgb(220,0,0)' "$HOME/Pictures/red/a.jpg"
    printf '[PATH]\nCurrentPath=%s\n[ACTION]\nDispSize=1\n' "$HOME/Pictures/red" \
        >"$VELMO_INI_DIR/Velmo.ini"
    start_velmo
    check "the start folder's picture is shown" wait_for shows 'rgb(220,0,0)'
}

# Clicks the folder tree's row `row` (counted as if home had no hidden
# folders) at `dx` pixels from the window's left edge until the picture pane
# shows `colour`. Needs X and Y from `xdotool getwindowgeometry --shell`: the
# tree sits below the menu and tool bar, and rows are 18 pixels high. A hidden
# folder that the desktop's services make while the tree is being listed
# moves the rows by one, so the neighbouring rows are tried after.
click_tree_row_until_shows() {
    local dx=$1 row=$2 colour=$3 hidden off
    hidden=$(find "$HOME" -mindepth 1 -maxdepth 1 -type d -name '.*' | wc -l)
    for off in 0 -1 1; do
        xdotool mousemove $((X + dx)) $((Y + 50 + 9 + 18 * (row + hidden + off))) click 1
        for _ in 1 2 3 4 5 6 7 8; do
            shows "$colour" && return 0
            sleep 0.2
        done
    done
    return 1
}

# A real window manager on the private screen, for tests that need frames,
# focus and window placement as a desktop gives them.
start_openbox() {
    local up='xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
    for _ in 1 2 3; do
        openbox --sm-disable >"$SANDBOX/openbox.log" 2>&1 &
        wait_for bash -c "$up" && return 0
    done
    echo "openbox did not start" >&2
    cat "$SANDBOX/openbox.log" >&2
    exit 1
}
