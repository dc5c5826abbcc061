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
Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp >"$art/xvfb.log" 2>&1 &
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

# --- options, Exit, and the settings file
xdotool windowmove "$win" 300 200
sleep 0.5
key_app ctrl+period
kill -TERM "$app_pid"
wait "$app_pid" || true
app_pid=
[ -f "$settings" ] || fail "no settings file after SIGTERM"
head -c 2 "$settings" | od -An -tx1 | grep -q 'ff fe' || fail "settings file has no UTF-16 mark"
text=$(iconv -f UTF-16 -t UTF-8 "$settings" | tr -d '\r')
echo "$text" >"$art/settings.txt"
echo "$text" | grep -qx 'X=300' || fail "X not saved: $text"
echo "$text" | grep -qx 'Y=200' || fail "Y not saved: $text"
echo "$text" | grep -qx 'AutoRepeat=0' || fail "AutoRepeat not saved"
pass "SIGTERM wrote the settings with the window's place"

# --- restart restores the place
start_app
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$X" -eq 300 ] && [ "$Y" -eq 200 ] || fail "restart at $X,$Y, not 300,200"
pass "restart restores the place"
shot restarted
kill -TERM "$app_pid"
wait "$app_pid" || true
app_pid=
echo "all end-to-end checks passed; artefacts in $art"
