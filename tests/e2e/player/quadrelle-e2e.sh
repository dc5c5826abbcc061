#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# quadrelle-e2e.sh BINARY ARTIFACT_DIR SOURCE_ROOT
#
# The real player on an Xvfb desktop with a window manager (icewm, with its
# taskbar), driven with xdotool as a user drives it and checked on the X
# server and in screenshots. Frames are measured as the manager draws them:
# the client's place less _NET_FRAME_EXTENTS.
set -euo pipefail
binary=$1
art=$2
root=$3
rm -rf "$art"
mkdir -p "$art"
work=$(mktemp -d)
xvfb_pid=
wm_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

t_start=$SECONDS
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }
until_ok() { # until_ok SECONDS COMMAND...: retries every 0.1 s
    local n=$(($1 * 10))
    shift
    for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
    return 1
}

for tool in Xvfb icewm xdotool xdpyinfo xwininfo xprop import convert compare iconv; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done

# A private display (the server picks a free number), home and runtime
# folder, so that nothing of the user's, or of another run's, is touched.
# Tall enough for the 640x480 preset, whose client area is 1296 x 1128.
screen_w=1600 screen_h=1400
mkfifo "$work/display"
# -noreset: when its last client (xdpyinfo) leaves, a resetting server drops
# the clients that connect meanwhile, and the window manager fails to start.
Xvfb -displayfd 3 -screen 0 ${screen_w}x${screen_h}x24 -nolisten tcp -noreset 3>"$work/display" >"$art/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 display_number <"$work/display" || fail "Xvfb did not start: $(cat "$art/xvfb.log")"
export DISPLAY=:$display_number
until_ok 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer: $(cat "$art/xvfb.log")"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY XDG_SESSION_TYPE

# The window manager, with its own edge resistance and snapping off, so that
# what lands on an edge is the program's doing, and a font with Japanese
# glyphs for the titles.
mkdir -p "$work/icewm"
cat >"$work/icewm/preferences" <<'EOF'
EdgeResistance=0
SnapMove=0
TitleFontNameXft="IPAPGothic:size=12"
NormalTaskBarFontNameXft="IPAPGothic:size=12"
ActiveTaskBarFontNameXft="IPAPGothic:size=12:bold"
TaskBarShowMailboxStatus=0
TaskBarShowCPUStatus=0
TaskBarShowNetStatus=0
EOF
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
ICEWM_PRIVCFG=$work/icewm icewm >"$art/icewm.log" 2>&1 &
wm_pid=$!
until_ok 30 wm_running || {
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb on $DISPLAY ended before icewm started: $(cat "$art/xvfb.log")"
    fail "icewm did not start: $(cat "$art/icewm.log")"
}
# The work area: the screen less the taskbar.
workarea_known() {
    read -r ax ay aw ah < <(xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/.*= //p' | tr -d ',' | cut -d' ' -f1-4)
    [ -n "${ah:-}" ] && [ "$ah" -lt "$screen_h" ]
}
until_ok 30 workarea_known || fail "no work area with the taskbar: $(xprop -root _NET_WORKAREA)"
pass "icewm runs; the work area is ${aw}x$ah+$ax+$ay"

"$root/scripts/make-sample-clips" "$work/clips" >"$art/clips.log" 2>&1
mkdir -p "$work/app"
cp "$binary" "$work/app/quadrelle"
user=$(id -un)
settings=$work/app/quadrelle_$user.ini

# --- geometry as the X server and the window manager have it
# client_of ID: the client area's place and size, "X Y W H".
client_of() {
    xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
        /^ *Width:/ {w = $2} /^ *Height:/ {h = $2} END {if (h == "") exit 1; print x, y, w, h}'
}
# extents_of ID: the frame around the client, "LEFT RIGHT TOP BOTTOM" (0 0 0 0 without one).
extents_of() {
    local e
    e=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ',')
    echo "${e:-0 0 0 0}"
}
# frame_of ID: the outer frame's corner and size, "X Y W H".
frame_of() {
    local x y w h l r t b
    read -r x y w h < <(client_of "$1") || return 1
    read -r l r t b < <(extents_of "$1")
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}
frame_at() { # frame_at ID X Y
    local x y w h
    read -r x y w h < <(frame_of "$1") && [ "$x $y" = "$2 $3" ]
}
shot() { import -window root "$art/$1.png"; }
crop_frame() { # crop_frame ID SHOT OUT: the window with its frame, from a screenshot
    local x y w h
    read -r x y w h < <(frame_of "$1")
    convert "$art/$2.png" -crop "${w}x$h+$x+$y" +repage "$art/$3.png"
}

start_app() {
    "$work/app/quadrelle" >>"$art/quadrelle.log" 2>&1 &
    app_pid=$!
    win=$(xdotool search --sync --onlyvisible --name '^Quadrelle 150727$' | head -1)
    # Mapped: the manager has framed it. The frame settles within a few looks.
    until_ok 10 bash -c "xwininfo -id $win | grep -q 'Map State: IsViewable'" || fail "the window is not shown"
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

focus() { xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1" 2>/dev/null || true; }
# Keys go through XTEST to the focused window, so that the modifiers are real.
key_app() {
    focus "$win"
    xdotool key --clearmodifiers "$@"
}

# --- a user's drag of a window by its title bar, as the manager runs it
# drag_to ID X Y: presses on ID's title bar and moves the pointer until the
# frame's corner is at X,Y; the button stays held.
drag_to() {
    local id=$1 tx=$2 ty=$3 x y w h l r t b px py
    read -r x y w h < <(frame_of "$id")
    read -r l r t b < <(extents_of "$id")
    px=$((x + w / 2)) py=$((y + t / 2))
    xdotool mousemove "$px" "$py"
    xdotool mousedown 1
    for s in 1 2 3 4 5 6 7 8 9 10; do
        xdotool mousemove $((px + (tx - x) * s / 10)) $((py + (ty - y) * s / 10))
        sleep 0.03
    done
    until_ok 5 frame_at "$id" "$tx" "$ty" || { xdotool mouseup 1; fail "the drag did not bring the frame to $tx,$ty: $(frame_of "$id")"; }
}
# pause_and_release ID X Y: with the button still held, rests half a second
# at X,Y (no snap may happen), then lets go.
pause_and_release() {
    sleep 0.5
    frame_at "$1" "$2" "$3" || { xdotool mouseup 1; fail "snapped while the button was held: $(frame_of "$1")"; }
    xdotool mouseup 1
}

pane_crop() { # pane_crop SHOT I OUT: pane I's video area (320x240 preset)
    local img=$1 i=$2 out=$3
    local col=$((i % 2)) row=$((i / 2))
    local x=$((cx + col * 328 + 4)) y=$((cy + menu_h + 40 + row * 304 + 4))
    convert "$art/$img.png" -crop "320x230+$x+$((y + 10))" +repage "$out"
}
differ() { # differ A B: the two images are not the same
    local n
    n=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
    [ "${n%% *}" != "0" ]
}
# A shown popup (list, menu) or dialog of the program besides the main window
# and the About dialog: its id and place in popup, px, py, pw, ph.
find_other() {
    local id x y w h
    for id in $(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null); do
        [ "$id" = "$win" ] || [ "$id" = "${about:-}" ] && continue
        read -r x y w h < <(client_of "$id") || continue
        popup=$id px=$x py=$y pw=$w ph=$h
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
# The Option popup: open it with its button, wait for it. It opens 123 and
# 72 pixels from the frame's corner.
open_options() {
    local fx fy fw fh
    read -r fx fy fw fh < <(frame_of "$win")
    click $((cx + 123 + 60)) $((cy + menu_h + 19 + 9))
    until_ok 5 find_other || fail "the Option button shows no popup"
    [ "$px $py" = "$((fx + 123)) $((fy + 72))" ] || fail "Option popup at $px,$py, frame at $fx,$fy"
    sleep 0.2 # drawn
}
stored_xy() { iconv -f UTF-16 -t UTF-8 "$settings" | tr -d '\r' | awk -F= '$1 == "X" {x = $2} $1 == "Y" {y = $2} END {print x, y}'; }
expected_settings() { # the file as written from scratch, X Y as given
    printf '\xff\xfe'
    printf '[Main]\r\nX=%s\r\nY=%s\r\nDir=%s\r\nAutoRepeat=1\r\nLink=1\r\n\r\n' "$1" "$2" "$work/clips" |
        iconv -f UTF-8 -t UTF-16LE
}

# --- first start: no settings file; the frame at the default corner; open four clips
[ ! -e "$settings" ] || fail "settings file exists before the first run"
start_app
until_ok 5 frame_at "$win" 100 100 || fail "first start: frame at $(frame_of "$win"), not 100,100"
pass "the first start puts the frame's corner at 100,100"
focus "$win"
xdotool key --clearmodifiers ctrl+o
n=0
for title in 左上を開く 右上を開く 左下を開く 右下を開く; do
    n=$((n + 1))
    dlg=$(wait_window "$title") || fail "no dialog $title"
    sleep 0.3
    focus "$dlg"
    xdotool type --delay 5 "$work/clips/clip${n}_320x240.mp4"
    xdotool key Return
    sleep 0.3
done
sleep 0.5
caption=$(xdotool getwindowname "$win")
expected="[clip1_320x240.mp4]+[clip2_320x240.mp4]+[clip3_320x240.mp4]+[clip4_320x240.mp4]"
[ "$caption" = "$expected" ] || fail "caption '$caption'"
pass "caption lists the four clips"

read -r cx cy cw ch < <(client_of "$win")
menu_h=$((ch - 648))
[ "$cw" -eq 656 ] || fail "window width $cw after Open, not 656"
frame_at "$win" 100 100 || fail "Open moved the frame: $(frame_of "$win")"
pass "the first preset sized the client area to 656 wide, menu bar $menu_h"

# pane_motion NAME: two shots half a second apart; the panes whose picture
# changed in between go into moving ("0123": all four).
pane_motion() {
    shot "$1-a"
    sleep 0.5
    shot "$1-b"
    moving=
    for i in 0 1 2 3; do
        pane_crop "$1-a" $i "$work/a$i.png"
        pane_crop "$1-b" $i "$work/b$i.png"
        differ "$work/a$i.png" "$work/b$i.png" && moving=$moving$i
    done
    return 0
}
# A loaded machine may take a while to start or pause four decoders: look
# again until the panes are as wanted, within a generous bound.
key_app ctrl+space
for _ in $(seq 20); do pane_motion playing; [ "$moving" = 0123 ] && break; done
[ "$moving" = 0123 ] || fail "only panes '$moving' move after Ctrl+Space"
for i in 0 1 2 3; do pane_crop playing-a $i "$work/p$i.png"; done
for a in 0 1 2; do for b in $(seq $((a + 1)) 3); do
    differ "$work/p$a.png" "$work/p$b.png" || fail "panes $a and $b show the same picture"
done; done
pass "four different moving pictures"
crop_frame "$win" playing-a window-under-manager

key_app ctrl+space
for _ in $(seq 20); do pane_motion paused; [ -z "$moving" ] && break; done
[ -z "$moving" ] || fail "panes '$moving' still move after Ctrl+Space"
pass "Ctrl+Space paused all four"

# --- full screen: F11 and back, and Esc
read -r fx0 fy0 fw0 fh0 < <(frame_of "$win")
read -r cx0 cy0 cw0 ch0 < <(client_of "$win")
is_full() { client_is_at 0 0 "$screen_w" "$screen_h" && xprop -id "$win" _NET_WM_STATE | grep -q FULLSCREEN; }
client_is_at() { local x y w h; read -r x y w h < <(client_of "$win") && [ "$x $y $w $h" = "$1 $2 $3 $4" ]; }
windowed_again() { frame_at "$win" "$fx0" "$fy0" && client_is_at "$cx0" "$cy0" "$cw0" "$ch0"; }
key_app F11
until_ok 5 is_full || fail "F11 did not fill the screen: $(client_of "$win"), $(xprop -id "$win" _NET_WM_STATE)"
sleep 0.5
shot fullscreen
# Each quarter is a pane: its 320x240 picture is enlarged to the height of
# its video area (792x636 above the bar), so that 300 px right of the
# middle is picture, not the area's dark ground beside it.
qw=$((screen_w / 2)) qh=$((screen_h / 2))
for i in 0 1 2 3; do
    vx=$(((i % 2) * qw + 4)) vy=$(((i / 2) * qh + 4)) vw=$((qw - 8)) vh=$((qh - 64))
    ground=$(pixel "$art/fullscreen.png" $((vx + 2)) $((vy + 2)))
    inside=$(pixel "$art/fullscreen.png" $((vx + vw / 2 + 300)) $((vy + vh / 2)))
    [ "$ground" != "$inside" ] || fail "pane $i's picture is not enlarged in full screen (both $ground)"
    convert "$art/fullscreen.png" -crop "${vw}x$vh+$vx+$vy" +repage "$work/q$i.png"
done
for a in 0 1 2; do for b in $(seq $((a + 1)) 3); do
    differ "$work/q$a.png" "$work/q$b.png" || fail "quarters $a and $b show the same picture"
done; done
pass "F11 shows the four panes in the quarters of the ${screen_w}x$screen_h screen, pictures enlarged"
full_motion() { # the top left quarter's picture changes within half a second
    shot full-a
    sleep 0.5
    shot full-b
    convert "$art/full-a.png" -crop "${qw}x$qh+0+0" +repage "$work/fa.png"
    convert "$art/full-b.png" -crop "${qw}x$qh+0+0" +repage "$work/fb.png"
    differ "$work/fa.png" "$work/fb.png"
}
key_app ctrl+space
t_play=$SECONDS
until_ok 5 full_motion || fail "Ctrl+Space does not play in full screen"
key_app ctrl+space
full_still() { ! full_motion; }
until_ok 5 full_still || fail "Ctrl+Space does not pause in full screen"
pass "Ctrl+Space plays and pauses in full screen (moving after $((SECONDS - t_play)) s)"
key_app F11
until_ok 5 windowed_again || fail "F11 did not return the window: frame $(frame_of "$win"), client $(client_of "$win"), was $fx0 $fy0 / $cx0 $cy0 $cw0 $ch0"
sleep 0.3
shot windowed-again
pass "F11 again returns the window to $fx0,$fy0 with its $cw0 x $ch0 client"
key_app F11
until_ok 5 is_full || fail "the second F11 did not fill the screen"
key_app Escape
until_ok 5 windowed_again || fail "Esc did not return the window: frame $(frame_of "$win"), client $(client_of "$win")"
pass "Esc leaves full screen to the same place"

t0=$(date +%s%N)
set +e
timeout 5 "$work/app/quadrelle" >/dev/null 2>&1
rc=$?
set -e
t1=$(date +%s%N)
[ $rc -eq 1 ] || fail "second copy exit code $rc"
[ $(((t1 - t0) / 1000000)) -lt 2000 ] || fail "second copy took too long"
pass "a second copy exits 1 at once"

# --- title-bar drags: no snap while the button is held, a snap at the release
drag_to "$win" $((ax + 5)) 220
pause_and_release "$win" $((ax + 5)) 220
until_ok 5 frame_at "$win" "$ax" 220 || fail "no snap to the left edge after the release: $(frame_of "$win")"
pass "a drag resting 5 px from the left edge does not snap while held, and lands on x=$ax at the release"
shot snapped-left-screen
crop_frame "$win" snapped-left-screen snapped-left

# Released with Shift held: the window stays where it was dropped.
drag_to "$win" 200 $((ay + 4))
xdotool keydown shift
xdotool mouseup 1
sleep 1 # Shift is still down when the release is seen
xdotool keyup shift
sleep 0.5
frame_at "$win" 200 $((ay + 4)) || fail "a release with Shift held snapped: $(frame_of "$win")"
pass "a drag released with Shift held stays where it was dropped"

read -r cx cy cw ch < <(client_of "$win")
click $((cx + 5 + 57)) $((cy + menu_h + 7 + 10))
until_ok 5 find_other || fail "the size list does not open"
sleep 0.2
shot size-list
click $((px + pw / 2)) $((py + ph * 3 / 8)) # the second of four items
client_is() { local x y w h; read -r x y w h < <(client_of "$win") && [ "$w $h" = "$1 $2" ]; }
until_ok 5 client_is 1296 $((1128 + menu_h)) || fail "640x480 does not give 1296 x 1128: $(client_of "$win")"
frame_at "$win" 200 $((ay + 4)) || fail "the preset moved the frame's corner: $(frame_of "$win")"
pass "picking 640x480[4:3] makes the client area 1296 x 1128 and keeps the corner"

# Right edge 5 px short of the work area's, bottom edge 5 px below the
# taskbar's top: both snap, onto the work area and not the screen.
read -r fx fy fw fh < <(frame_of "$win")
right_x=$((ax + aw - fw)) bottom_y=$((ay + ah - fh))
drag_to "$win" $((right_x - 5)) $((bottom_y + 5))
pause_and_release "$win" $((right_x - 5)) $((bottom_y + 5))
until_ok 5 frame_at "$win" "$right_x" "$bottom_y" ||
    fail "no snap to the right edge and the taskbar: $(frame_of "$win"), work area ${aw}x$ah+$ax+$ay"
pass "a drag ending near the right edge and the taskbar snaps the frame onto both"
wx=$right_x wy=$bottom_y
read -r cx cy cw ch < <(client_of "$win")
shot snapped-right-bottom-screen
crop_frame "$win" snapped-right-bottom-screen snapped-right-bottom

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
iconv -f UTF-16 -t UTF-8 "$settings" | tr -d '\r' >"$art/settings.txt"
cmp -s "$settings" <(expected_settings $wx $wy) ||
    fail "settings file after Exit: $(od -c "$settings" | head -20)"
pass "Exit wrote the frame's corner X=$wx, Y=$wy, the folder and both options as UTF-16 with its mark"

# --- three starts in a row at the saved place
# Second start: the place and the marks; minimized when it ends.
start_app
until_ok 5 frame_at "$win" $wx $wy || fail "second start: frame at $(frame_of "$win"), not $wx,$wy"
read -r cx cy cw ch < <(client_of "$win")
[ "$cw $ch" = "640 $((520 + menu_h))" ] || fail "second start: client area $cw x $ch"
shot restarted
open_options
import -window "$popup" "$art/options-restored.png"
xdotool key Escape
until_ok 5 no_other || fail "Escape leaves the Option popup open"
differ "$art/options-restored.png" "$art/options-on.png" && fail "restart lost the options' marks"
xdotool windowminimize --sync "$win"
minimized() { xprop -id "$win" WM_STATE | grep -q Iconic; }
until_ok 5 minimized || fail "the window does not minimize"
kill -TERM "$app_pid"
wait_exit 10 || fail "SIGTERM does not end the minimized program"
[ "$(stored_xy)" = "$wx $wy" ] || fail "second start, closed minimized, stored $(stored_xy), not $wx $wy"
pass "the second start puts the frame at $wx,$wy with the marks; closed minimized, it keeps that corner"

# Third start: About opens frame on frame, and snaps the same way.
start_app
until_ok 5 frame_at "$win" $wx $wy || fail "third start: frame at $(frame_of "$win"), not $wx,$wy"
read -r cx cy cw ch < <(client_of "$win")
key_app alt+h
until_ok 5 find_other || fail "Alt+H opens no menu"
xdotool key a
about=$(wait_window 'バージョン情報') || fail "no About dialog"
about_ready() { frame_at "$about" $wx $wy && [ "$(client_of "$about" | cut -d' ' -f3-)" = "217 152" ]; }
until_ok 5 about_ready || fail "About's frame at $(frame_of "$about"), client $(client_of "$about")"
sleep 0.3 # drawn
shot about-screen
crop_frame "$about" about-screen about-framed
read -r bx by bw bh < <(client_of "$about")
convert "$art/about-screen.png" -crop "217x152+$bx+$by" +repage "$art/about.png"
[ "$(pixel "$art/about.png" 8 104)" = "181,181,181" ] || fail "the logo has no grey frame corner"
[ "$(pixel "$art/about.png" 207 143)" = "181,181,181" ] || fail "the logo has no grey frame corner"
[ "$(pixel "$art/about.png" 30 120)" = "0,0,0" ] || fail "the logo is not black inside"
[ "$(pixel "$art/about.png" 200 2)" = "0,0,0" ] || fail "the dialog is not black"
white=$(convert "$art/about.png" -crop 120x14+8+8 +repage -threshold 90% -format '%[fx:int(mean*w*h)]' info:)
[ "$white" -gt 40 ] || fail "no white title in the About dialog ($white light pixels)"
pass "About opens frame on frame at $wx,$wy, black, 217 x 152, titled, with the framed logo"

drag_to "$about" $((ax + 5)) 300
pause_and_release "$about" $((ax + 5)) 300
until_ok 5 frame_at "$about" "$ax" 300 || fail "About does not snap at the release: $(frame_of "$about")"
shot about-snapped-screen
crop_frame "$about" about-snapped-screen about-snapped
drag_to "$about" $((ax + 6)) 420
xdotool keydown shift
xdotool mouseup 1
sleep 1
xdotool keyup shift
sleep 0.5
frame_at "$about" $((ax + 6)) 420 || fail "About snapped although Shift was held: $(frame_of "$about")"
pass "About does not snap while held, snaps to x=$ax at the release, and stays put with Shift held"

# The end of the session while the modal About dialog is open.
rm -f "$settings"
kill -TERM "$app_pid"
wait_exit 10 || fail "SIGTERM with About open does not end the program"
[ "$app_rc" -eq 0 ] || fail "exit code $app_rc after SIGTERM with About open"
about=
cmp -s "$settings" <(expected_settings $wx $wy) ||
    fail "settings file after SIGTERM: $(iconv -f UTF-16 -t UTF-8 "$settings" 2>&1)"
pass "SIGTERM with About open ends the program after writing the same corner and the options"

# Fourth start, in a Wayland session with no platform chosen: through
# XWayland (here: the X display) at the same place; Wayland is never tried.
wayland_plugin=$(ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so 2>/dev/null | head -1)
[ -n "$wayland_plugin" ] || fail "Qt's Wayland plugin is missing (qt6-wayland; scripts/setup installs it)"
: >"$art/quadrelle-wayland.log"
env -u QT_QPA_PLATFORM XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=quadv-e2e-no-compositor \
    "$work/app/quadrelle" >"$art/quadrelle-wayland.log" 2>&1 &
app_pid=$!
win=$(wait_window 'Quadrelle 150727') || fail "in a Wayland session the player shows no window on the X display"
until_ok 5 frame_at "$win" $wx $wy || fail "fourth start: frame at $(frame_of "$win"), not $wx,$wy"
kill -TERM "$app_pid"
wait_exit 10 || fail "SIGTERM does not end the program"
grep -qi wayland "$art/quadrelle-wayland.log" &&
    fail "the player tried Wayland first: $(grep -i wayland "$art/quadrelle-wayland.log" | head -3)"
[ "$(stored_xy)" = "$wx $wy" ] || fail "fourth start stored $(stored_xy), not $wx $wy"
pass "in a Wayland session the player starts on the X display at the same corner, without trying Wayland"

# --- without a window manager the window has no frame: its client area
# sits on the stored corner exactly.
kill "$wm_pid"
wait "$wm_pid" 2>/dev/null || true
wm_pid=
start_app
until_ok 5 bash -c "[ \"\$(xwininfo -id $win | awk '/Absolute upper-left X/ {x = \$4} /Absolute upper-left Y/ {y = \$4} END {print x, y}')\" = '$wx $wy' ]" ||
    fail "without a manager the window is at $(client_of "$win"), not $wx,$wy"
kill -TERM "$app_pid"
wait_exit 10 || fail "SIGTERM does not end the program"
[ "$(stored_xy)" = "$wx $wy" ] || fail "without a manager stored $(stored_xy), not $wx $wy"
pass "without a window manager the window starts exactly at $wx,$wy and keeps it"

echo "all end-to-end checks passed in $((SECONDS - t_start)) s; artefacts in $art"
