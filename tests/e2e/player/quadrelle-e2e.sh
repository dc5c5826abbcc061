#!/usr/bin/env bash
# quadrelle-e2e.sh BINARY ARTIFACT_DIR SOURCE_ROOT
set -euo pipefail
binary=$1
art=$2
root=$3
rm -rf "$art"
mkdir -p "$art"
work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# A private display, home and runtime folder, so nothing of the user's is touched.
display=:$((90 + RANDOM % 100))
# Tall enough for the 640x480 preset, whose client area is 1296 x 1128.
screen_w=1600 screen_h=1400
Xvfb "$display" -screen 0 ${screen_w}x${screen_h}x24 -nolisten tcp >"$art/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

"$root/scripts/make-sample-clips" "$work/clips" >"$art/clips.log" 2>&1
mkdir -p "$work/app"
cp "$binary" "$work/app/quadrelle"
user=$(id -un)
settings=$work/app/quadrelle_$user.ini

start_app() {
    "$work/app/quadrelle" >>"$art/quadrelle.log" 2>&1 &
    app_pid=$!
    win=$(xdotool search --sync --onlyvisible --name '^Quadrelle 150727$' | head -1)
    sleep 0.5
}

# Waits for a window titled $1 and returns its id.
wait_window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# Keys go through XTEST to the focused window, so that the modifiers are real.
key_app() {
    xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win" 2>/dev/null || true
    xdotool key --clearmodifiers "$@"
}

shot() { import -window root "$art/$1.png"; }

# Crop of pane I's video area (320x240 preset: panes 328x304, video 320x240
# at 4,4) from screenshot $1 into $2.
pane_crop() {
    local img=$1 i=$2 out=$3
    local col=$((i % 2)) row=$((i / 2))
    local x=$((wx + col * 328 + 4)) y=$((wy + menu_h + 40 + row * 304 + 4))
    convert "$art/$img.png" -crop "320x230+$x+$((y + 10))" +repage "$out"
}

differ() { # differ A B: the two images are not the same
    local n
    n=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
    [ "${n%% *}" != "0" ]
}

# --- no settings file, start, open four clips through the real dialogs
[ ! -e "$settings" ] || fail "settings file exists before the first run"
start_app
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
xdotool key --clearmodifiers ctrl+o
for title in 左上を開く 右上を開く 左下を開く 右下を開く; do
    n=$(( $(echo 左上を開く 右上を開く 左下を開く 右下を開く | tr ' ' '\n' | grep -n "^$title\$" | cut -d: -f1) ))
    dlg=$(wait_window "$title") || fail "no dialog $title"
    sleep 0.3
    xdotool windowfocus --sync "$dlg" 2>/dev/null || true
    xdotool type --delay 5 "$work/clips/clip${n}_320x240.mp4"
    xdotool key Return
    sleep 0.3
done
sleep 0.5
caption=$(xdotool getwindowname "$win")
expected="[clip1_320x240.mp4]+[clip2_320x240.mp4]+[clip3_320x240.mp4]+[clip4_320x240.mp4]"
[ "$caption" = "$expected" ] || fail "caption '$caption'"
pass "caption lists the four clips"

eval "$(xdotool getwindowgeometry --shell "$win")"
wx=$X wy=$Y
menu_h=$((HEIGHT - 648))
[ "$WIDTH" -eq 656 ] || fail "window width $WIDTH after Open, not 656"
pass "the first preset sized the window to 656 wide, menu bar $menu_h"

key_app ctrl+space
sleep 2
shot playing1
sleep 0.5
shot playing2
for i in 0 1 2 3; do
    pane_crop playing1 $i "$work/p$i.png"
    pane_crop playing2 $i "$work/q$i.png"
    differ "$work/p$i.png" "$work/q$i.png" || fail "pane $i does not move"
done
for a in 0 1 2; do for b in $(seq $((a + 1)) 3); do
    differ "$work/p$a.png" "$work/p$b.png" || fail "panes $a and $b show the same picture"
done; done
pass "four different moving pictures"
convert "$art/playing1.png" -crop "${WIDTH}x${HEIGHT}+$wx+$wy" +repage "$art/four-clips.png"

key_app ctrl+space
sleep 1
shot paused1
sleep 0.5
shot paused2
for i in 0 1 2 3; do
    pane_crop paused1 $i "$work/a$i.png"
    pane_crop paused2 $i "$work/b$i.png"
    differ "$work/a$i.png" "$work/b$i.png" && fail "pane $i still moves after Ctrl+Space"
done
pass "Ctrl+Space paused all four"

t0=$(date +%s%N)
set +e
timeout 5 "$work/app/quadrelle" >/dev/null 2>&1
rc=$?
set -e
t1=$(date +%s%N)
[ $rc -eq 1 ] || fail "second copy exit code $rc"
[ $(( (t1 - t0) / 1000000 )) -lt 2000 ] || fail "second copy took too long"
pass "a second copy exits 1 at once"

# --- a move by the user near an edge snaps; the big preset; the options
# Without a window manager, a move by another client is what a user's drag
# is to the program: a move it did not make, then quiet, with no button held.
until_ok() { # until_ok SECONDS COMMAND...: retries every 0.1 s
    local n=$(($1 * 10))
    shift
    for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
    return 1
}
geometry() { xdotool getwindowgeometry --shell "$win" | tr '\n' ' '; }
geometry_is() { # geometry_is X Y WIDTH HEIGHT
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$win")"
    [ "$X $Y $WIDTH $HEIGHT" = "$*" ]
}
# A shown popup (list, menu) or dialog besides the main window: its id and
# geometry in popup, px, py, pw, ph.
find_other() {
    local id X Y WIDTH HEIGHT SCREEN WINDOW
    for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        [ "$id" = "$win" ] && continue
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
        [ "$WIDTH" -ge "$screen_w" ] && continue # the screen-sized window of the server
        popup=$id px=$X py=$Y pw=$WIDTH ph=$HEIGHT
        return 0
    done
    return 1
}
no_other() { ! find_other; }
click() { xdotool mousemove "$1" "$2" click 1; }
app_gone() { # ended: no process, or a zombie waiting for us
    local state
    state=$(awk '{print $3}' "/proc/$app_pid/stat" 2>/dev/null) || return 0
    [ -z "$state" ] || [ "$state" = Z ]
}
wait_exit() { # wait_exit SECONDS: the app ends; its exit code in app_rc
    until_ok "$1" app_gone || return 1
    app_rc=0
    wait "$app_pid" || app_rc=$?
    app_pid=
}
# Pixel X,Y of image $1 as "r,g,b".
pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
# The Option popup: open it with its button, wait for it.
open_options() {
    click $((wx + 123 + 60)) $((wy + menu_h + 19 + 9))
    until_ok 5 find_other || fail "the Option button shows no popup"
    [ "$px $py" = "$((wx + 123)) $((wy + 72))" ] || fail "Option popup at $px,$py"
    sleep 0.2 # drawn
}

xdotool windowmove "$win" 6 200 # left edge 6 pixels inside the screen
until_ok 5 geometry_is 0 200 656 $((648 + menu_h)) || fail "no snap to the left edge: $(geometry)"
pass "a move ending 6 pixels from the left edge snaps onto it"
wx=0 wy=200

click $((wx + 5 + 57)) $((wy + menu_h + 7 + 10))
until_ok 5 find_other || fail "the size list does not open"
sleep 0.2
shot size-list
click $((px + pw / 2)) $((py + ph * 3 / 8)) # the second of four items
until_ok 5 geometry_is 0 200 1296 $((1128 + menu_h)) || fail "640x480 does not give 1296 x 1128: $(geometry)"
pass "picking 640x480[4:3] makes the client area 1296 x 1128"

# Right edge 5 pixels short of the screen's, top 4 pixels above it.
xdotool windowmove "$win" $((screen_w - 1296 - 5)) -4
until_ok 5 geometry_is $((screen_w - 1296)) 0 1296 $((1128 + menu_h)) ||
    fail "no snap to the right and top edges: $(geometry)"
pass "a move ending near the right and top edges snaps onto both"
wx=$((screen_w - 1296)) wy=0
shot preset-640x480
convert "$art/preset-640x480.png" -crop "1296x$((1128 + menu_h))+$wx+$wy" +repage "$art/preset-640x480.png"

open_options
import -window "$popup" "$art/options-off.png"
click $((px + pw / 2)) $((py + ph / 4)) # AutoRepeat
until_ok 5 no_other || fail "the Option popup stays open"
open_options
click $((px + pw / 2)) $((py + ph * 3 / 4)) # Link
until_ok 5 no_other || fail "the Option popup stays open"
open_options
import -window "$popup" "$art/options-on.png"
xdotool key Escape
until_ok 5 no_other || fail "Escape leaves the Option popup open"
differ "$art/options-off.png" "$art/options-on.png" || fail "the options show no new marks"
pass "AutoRepeat and Link switched on through the Option popup"

# --- Exit through the menu, and the settings file
key_app alt+f
until_ok 5 find_other || fail "Alt+F opens no menu"
xdotool key x
wait_exit 10 || fail "Exit does not end the program"
[ "$app_rc" -eq 0 ] || fail "exit code $app_rc after Exit"
[ -f "$settings" ] || fail "no settings file after Exit"
expected_settings() { # the file as written from scratch, X Y as given
    printf '\xff\xfe'
    printf '[Main]\r\nX=%s\r\nY=%s\r\nDir=%s\r\nAutoRepeat=1\r\nLink=1\r\n\r\n' "$1" "$2" "$work/clips" |
        iconv -f UTF-8 -t UTF-16LE
}
iconv -f UTF-16 -t UTF-8 "$settings" | tr -d '\r' >"$art/settings.txt"
cmp -s "$settings" <(expected_settings $wx $wy) ||
    fail "settings file after Exit: $(od -c "$settings" | head -20)"
pass "Exit wrote X=$wx, Y=$wy, the folder and both options as UTF-16 with its mark"

# --- a restart restores the place and the marks; About; the end of the session
start_app
geometry_is $wx $wy 640 $((520 + menu_h)) || fail "restart at $(geometry), not $wx,$wy"
pass "restart puts the window at the saved place"
shot restarted
open_options
import -window "$popup" "$art/options-restored.png"
xdotool key Escape
until_ok 5 no_other || fail "Escape leaves the Option popup open"
differ "$art/options-restored.png" "$art/options-on.png" && fail "restart lost the options' marks"
pass "restart shows AutoRepeat and Link marked"

key_app alt+h
until_ok 5 find_other || fail "Alt+H opens no menu"
xdotool key a
about=$(wait_window 'バージョン情報') || fail "no About dialog"
until_ok 5 bash -c "xdotool getwindowgeometry --shell $about | tr '\n' ' ' | grep -q 'X=$wx Y=$wy WIDTH=217 HEIGHT=152'" ||
    fail "About at $(xdotool getwindowgeometry --shell "$about" | tr '\n' ' ')"
sleep 0.3 # drawn
shot about-screen
convert "$art/about-screen.png" -crop "217x152+$wx+$wy" +repage "$art/about.png"
[ "$(pixel "$art/about.png" 8 104)" = "181,181,181" ] || fail "the logo has no grey frame corner"
[ "$(pixel "$art/about.png" 207 143)" = "181,181,181" ] || fail "the logo has no grey frame corner"
[ "$(pixel "$art/about.png" 30 120)" = "0,0,0" ] || fail "the logo is not black inside"
[ "$(pixel "$art/about.png" 200 2)" = "0,0,0" ] || fail "the dialog is not black"
white=$(convert "$art/about.png" -crop 120x14+8+8 +repage -threshold 90% -format '%[fx:int(mean*w*h)]' info:)
[ "$white" -gt 40 ] || fail "no white title in the About dialog ($white light pixels)"
pass "About opens on the main window's corner, black, 217 x 152, titled, with the framed logo"

xdotool windowmove "$about" 7 300 # left edge 7 pixels inside the screen
until_ok 5 bash -c "xdotool getwindowgeometry --shell $about | tr '\n' ' ' | grep -q 'X=0 Y=300 '" ||
    fail "About does not snap: $(xdotool getwindowgeometry --shell "$about" | tr '\n' ' ')"
pass "a move of the About dialog near the left edge snaps it"

# The end of the session while the modal About dialog is open.
rm -f "$settings"
kill -TERM "$app_pid"
wait_exit 10 || fail "SIGTERM with About open does not end the program"
[ "$app_rc" -eq 0 ] || fail "exit code $app_rc after SIGTERM with About open"
cmp -s "$settings" <(expected_settings $wx $wy) ||
    fail "settings file after SIGTERM: $(iconv -f UTF-16 -t UTF-8 "$settings" 2>&1)"
pass "SIGTERM with About open ends the program after writing the restored settings"
echo "all end-to-end checks passed; artefacts in $art"
