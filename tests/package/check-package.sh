#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# check-package.sh DEB ARTIFACT_DIR SOURCE_ROOT
#
# Checks a built quadrelle .deb: the validators (desktop-file-validate,
# appstreamcli, lintian) and the unpacked tree's layout. The validators'
# reports are kept in ARTIFACT_DIR.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 DEB ARTIFACT_DIR SOURCE_ROOT" >&2; exit 2; }
deb=$(realpath "$1")
art=$2
root=$(realpath "$3")
rm -rf "$art"
mkdir -p "$art"

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# An installed copy belongs to root and nobody else may change it, as under
# /usr. The folder itself is opened for reading, so that a user can run it.
tree=$(mktemp -d)
cleanup_tree() { rm -rf "$tree"; }
trap cleanup_tree EXIT
chmod 755 "$tree"
dpkg-deb -x "$deb" "$tree/root"
dpkg-deb -c "$deb" >"$art/contents.txt"

# --- validators
app_id=$(basename "$(ls "$tree"/root/usr/share/applications/*.desktop)" .desktop)
desktop=$tree/root/usr/share/applications/$app_id.desktop
metainfo=$tree/root/usr/share/metainfo/$app_id.metainfo.xml
[ -f "$metainfo" ] || fail "no metainfo named after the desktop entry $app_id"

desktop-file-validate "$desktop" >"$art/desktop-file-validate.txt" 2>&1 ||
    { cat "$art/desktop-file-validate.txt"; fail "desktop-file-validate"; }
cat "$art/desktop-file-validate.txt"
pass "desktop-file-validate: $app_id.desktop"

appstreamcli validate --no-net --explain "$metainfo" >"$art/appstreamcli.txt" 2>&1 ||
    { cat "$art/appstreamcli.txt"; fail "appstreamcli validate"; }
# The whole tree: the launchable desktop entry and the icon must be found.
appstreamcli validate-tree --no-net --explain "$tree/root" >>"$art/appstreamcli.txt" 2>&1 ||
    { cat "$art/appstreamcli.txt"; fail "appstreamcli validate-tree"; }
cat "$art/appstreamcli.txt"
pass "appstreamcli validate --no-net"

# lintian fails on errors; everything down to the informational tags is
# listed so that new ones are seen.
lintian --info --display-info --pedantic --display-experimental --fail-on error "$deb" \
    >"$art/lintian.txt" 2>&1 || { cat "$art/lintian.txt"; fail "lintian reports errors"; }
grep -E '^[EWIPX]: ' "$art/lintian.txt" || true
if grep -q '^W: ' "$art/lintian.txt"; then
    fail "lintian reports warnings"
fi
pass "lintian: no errors, no warnings"

# --- layout
link=$tree/root/usr/bin/quadrelle
[ -L "$link" ] || fail "usr/bin/quadrelle is not a symbolic link"
case $(readlink "$link") in
/*) fail "usr/bin/quadrelle is an absolute link: $(readlink "$link")" ;;
esac
[ "$(realpath "$link")" = "$tree/root/usr/lib/quadrelle/quadrelle" ] ||
    fail "usr/bin/quadrelle leads to $(realpath "$link")"
[ -x "$tree/root/usr/lib/quadrelle/quadrelle" ] || fail "no program in usr/lib/quadrelle"
pass "usr/bin/quadrelle is a relative link to usr/lib/quadrelle/quadrelle"
for data in README.TXT HISTORY.TXT MovieSize.ini.sample; do
    [ -s "$tree/root/usr/lib/quadrelle/$data" ] || fail "no $data beside the program"
done
# Under its own name the presets file would replace the built-in sizes.
[ ! -e "$tree/root/usr/lib/quadrelle/MovieSize.ini" ] || fail "a MovieSize.ini is installed"
pass "README.TXT, HISTORY.TXT and MovieSize.ini.sample beside the program"

grep -qx 'Exec=quadrelle %F' "$desktop" || fail "desktop entry: $(grep '^Exec=' "$desktop")"
grep -qx "Icon=$app_id" "$desktop" || fail "desktop entry: $(grep '^Icon=' "$desktop")"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
icons=$tree/root/usr/share/icons/hicolor
[ -f "$icons/scalable/apps/$app_id.svg" ] || fail "no scalable icon"
for size in 16 32 48 64 128 256; do
    png=$icons/${size}x${size}/apps/$app_id.png
    [ -f "$png" ] || fail "no ${size}x${size} icon"
    file "$png" | grep -q "PNG image data, $size x $size," || fail "$png: $(file -b "$png")"
done
pass "desktop entry, metainfo and icons agree on $app_id; PNGs at 16 to 256 pixels"

man_page=$tree/root/usr/share/man/man1/quadrelle.1.gz
[ -f "$man_page" ] || fail "no manual page"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null || true)
[ -z "$man_warnings" ] || fail "manual page: $man_warnings"
pass "manual page quadrelle(1) formats without warnings"

# The sound aligner's command: a program of its own in bin, with its page.
aligner=$tree/root/usr/bin/quadalign
[ -f "$aligner" ] && [ ! -L "$aligner" ] && [ -x "$aligner" ] || fail "no program usr/bin/quadalign"
version=$(dpkg-deb -f "$deb" Version)
[ "$("$aligner" --version)" = "quadalign ${version%%-*}" ] || fail "quadalign --version: $("$aligner" --version)"
"$aligner" >/dev/null 2>&1 && fail "quadalign without files succeeds"
man_page=$tree/root/usr/share/man/man1/quadalign.1.gz
[ -f "$man_page" ] || fail "no manual page quadalign(1)"
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null || true)
[ -z "$man_warnings" ] || fail "manual page quadalign(1): $man_warnings"
pass "usr/bin/quadalign runs; its manual page formats without warnings"

# Nothing in the package may be writable by anyone but root.
writable=$(find "$tree/root" -perm /022 ! -type l)
[ -z "$writable" ] || fail "writable by group or others: $writable"
pass "nothing in the unpacked tree is writable by group or others"

# --- the unpacked program, run by an ordinary user under Xvfb
as_user=$root/scripts/as-user
user=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    user=${QUADV_TEST_USER:-quadv}
    "$as_user" true # makes the account when it is missing
fi
work=$tree/work
install -d -m 755 "$work"
install -d -o "$user" -g "$(id -gn "$user")" -m 700 "$work/user"
config=$work/user/config
"$root/scripts/make-sample-clips" "$work/clips" >"$art/clips.log" 2>&1
clip() { echo "$work/clips/clip$1_320x240.mp4"; }

# Help hands its text to xdg-open; this one records what it was given.
install -d -m 755 "$work/bin"
cat >"$work/bin/xdg-open" <<SCRIPT
#!/bin/sh
printf '%s\n' "\$*" >>"$work/user/opened"
SCRIPT
chmod 755 "$work/bin/xdg-open"

xvfb_pid=
wm_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null || true
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    cleanup_tree
}
trap cleanup EXIT
until_ok() { # until_ok SECONDS CMD...: CMD succeeds within SECONDS
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}
# A display whose number the server picks; -ac: the user is another account
# than the server's.
mkfifo "$work/display"
# -noreset: when its last client (xdpyinfo) leaves, a resetting server drops
# the clients that connect meanwhile, and the window manager fails to start.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset -ac 3>"$work/display" >"$art/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 display_number <"$work/display" || fail "Xvfb did not start: $(cat "$art/xvfb.log")"
export DISPLAY=:$display_number
until_ok 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
# Users have a window manager.
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
install -d -m 755 "$work/icewm"
printf 'TitleFontNameXft="IPAPGothic:size=12"\n' >"$work/icewm/preferences"
ICEWM_PRIVCFG=$work/icewm icewm >"$art/icewm.log" 2>&1 &
wm_pid=$!
until_ok 30 wm_running || fail "icewm did not start: $(cat "$art/icewm.log")"

# The unpacked program, as the user.
quadrelle=("$as_user" env XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb PATH="$work/bin:/usr/bin:/bin"
           "$tree/root/usr/bin/quadrelle")
wait_caption() { # wait_caption TITLE: the window id, once a window has that caption
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] &&
            { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
quote() { printf '%s' "$1" | sed 's/[][\.*^$+]/\\&/g'; }

"${quadrelle[@]}" "$(clip 1)" "$(clip 2)" >"$art/first.log" 2>&1 &
app_pid=$!
win=$(wait_caption "$(quote "[clip1_320x240.mp4]+[clip2_320x240.mp4]")") ||
    fail "no window captioned [clip1_320x240.mp4]+[clip2_320x240.mp4]: $(xdotool search --name . getwindowname %@ 2>&1 | head -5)"
pass "usr/bin/quadrelle with two clips: caption [clip1_320x240.mp4]+[clip2_320x240.mp4]"

# Help > Readme through the link finds the text beside the program.
xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key --clearmodifiers alt+h
sleep 0.5
xdotool key --clearmodifiers r
for _ in $(seq 100); do [ -s "$work/user/opened" ] && break; sleep 0.1; done
opened=$(cat "$work/user/opened" 2>/dev/null || true)
case $opened in
*"$tree/root/usr/lib/quadrelle/README.TXT") ;;
*) fail "Help > Readme opened '$opened'" ;;
esac
pass "Help > Readme opens usr/lib/quadrelle/README.TXT"

# Another start without files ends at once; with a file it hands the file over.
rc=0
timeout 20 "${quadrelle[@]}" >"$art/second-bare.log" 2>&1 || rc=$?
[ "$rc" -eq 1 ] || fail "a second start without files ended with $rc, not 1"
rc=0
timeout 20 "${quadrelle[@]}" "$(clip 3)" >"$art/second.log" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || fail "a second start with a file ended with $rc, not 0: $(cat "$art/second.log")"
wait_caption "$(quote "[clip3_320x240.mp4]")" >/dev/null ||
    fail "the first copy did not show clip3: '$(xdotool getwindowname "$win")'"
pass "a second start ends with 1 without files; with a file it ends with 0 and the first copy shows it"

kill -TERM "$app_pid"
rc=0
for _ in $(seq 200); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
wait "$app_pid" || rc=$?
app_pid=
[ "$rc" -eq 0 ] || fail "exit code $rc after SIGTERM"
settings=$config/quadrelle/quadrelle_$user.ini
[ -f "$settings" ] || fail "no settings file in $config/quadrelle: $(ls -la "$config" "$config/quadrelle" 2>&1)"
[ "$(head -c 2 "$settings" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "the settings file is not UTF-16"
iconv -f UTF-16 -t UTF-8 "$settings" | tr -d '\r' | grep -qx '\[Main\]' || fail "no section Main in $settings"
[ -z "$(find "$tree/root" -name '*.ini')" ] || fail "settings written into the installed tree"
pass "after SIGTERM the settings are in \$XDG_CONFIG_HOME/quadrelle/quadrelle_$user.ini"
