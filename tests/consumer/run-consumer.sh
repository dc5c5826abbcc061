#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# run-consumer.sh PACKAGE_DIR ARTIFACT_DIR SOURCE_ROOT
#
# The library as a program outside the tree meets it. Run as root: installs
# libquadrelle1 and libquadrelle-dev (and quadrelle-doc when there is one)
# from PACKAGE_DIR with apt-get, and as an ordinary user (scripts/as-user),
# from copies of the sources in a folder of its own, against nothing but the
# install:
#  - builds examples/commcat and examples/components with CMake through
#    find_package(Quadrelle), and tests/consumer/consumer.cpp with c++ and
#    pkg-config quadrelle-serial, and runs the latter;
#  - compiles every installed header under /usr/include/quadrelle on its own;
#  - runs commcat on one end of a pseudo-terminal pair (socat): bytes go both
#    ways, and when the far end hangs up commcat ends with 1 although its
#    input stays open;
#  - starts the components example under Xvfb with icewm, waits for its
#    window and takes a screenshot (ARTIFACT_DIR/components.png).
# The packages are purged at the end, whatever happened.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 PACKAGE_DIR ARTIFACT_DIR SOURCE_ROOT" >&2; exit 2; }
pkgdir=$(realpath "$1")
art=$2
root=$(realpath "$3")
rm -rf "$art"
mkdir -p "$art"
art=$(realpath "$art")
jobs=${JOBS:-2}

t0=$SECONDS
fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $* ($((SECONDS - t0)) s)"; }
[ "$(id -u)" -eq 0 ] || fail "needs root: it installs the packages with apt-get"

as_user=$root/scripts/as-user
user=${QUADV_TEST_USER:-quadv}
"$as_user" true # makes the account when it is missing
# Not for jobs in the background: there $! must be the program's own
# process, which "$as_user" becomes (it ends in exec).
as() { "$as_user" "$@"; }

shopt -s nullglob
debs=("$pkgdir"/libquadrelle1_*.deb "$pkgdir"/libquadrelle-dev_*.deb "$pkgdir"/quadrelle-doc_*.deb)
shopt -u nullglob
[ ${#debs[@]} -ge 2 ] || fail "no libquadrelle1 and libquadrelle-dev packages in $pkgdir"
packages=()
for deb in "${debs[@]}"; do packages+=("$(dpkg-deb --field "$deb" Package)"); done
known() {
    dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null |
        awk '$1 != "un" { print $2 }' || true
}
[ -z "$(known)" ] || fail "already installed; this check installs and purges them, remove them first: $(known | tr '\n' ' ')"

work=$(mktemp -d /tmp/quadrelle-consumer.XXXXXX)
chmod 755 "$work"
pids=()
installed=0
cleanup() {
    local rc=$? pid
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ $installed -eq 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${packages[@]}" >>"$art/apt.log" 2>&1 ||
            { echo "FAIL: apt-get purge ${packages[*]}: see $art/apt.log" >&2; rc=1; }
        if [ -n "$(known)" ]; then
            echo "FAIL: still installed: $(known | tr '\n' ' ')" >&2
            rc=1
        else
            echo "purged: ${packages[*]}"
        fi
    fi
    rm -rf "$work"
    exit $rc
}
trap cleanup EXIT

# --- the packages, installed as a user would
installed=1
(cd "$pkgdir" && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${debs[@]/#$pkgdir\//./}" >"$art/apt.log" 2>&1) || { cat "$art/apt.log"; fail "apt-get install"; }
pass "installed with apt-get: ${packages[*]}"

# The user's own folder with copies of the sources: nothing points back into
# the tree, which the user may not even be able to read (CI's clone may lie
# under /root).
group=$(id -gn "$user")
install -d -m 755 "$work/src" "$work/build"
mkdir "$work/src/commcat" "$work/src/components" "$work/src/plain"
cp "$root"/examples/commcat/* "$work/src/commcat/"
cp "$root/examples/components/CMakeLists.txt" "$root/examples/components/main.cpp" "$work/src/components/"
cp "$root/tests/consumer/consumer.cpp" "$work/src/plain/"
chown -R "$user:$group" "$work/src" "$work/build"

# --- CMake projects through find_package
for project in commcat components; do
    as cmake -S "$work/src/$project" -B "$work/build/$project" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        >"$art/$project.configure.log" 2>&1 || { cat "$art/$project.configure.log"; fail "$project: cmake"; }
    as cmake --build "$work/build/$project" -j "$jobs" >"$art/$project.build.log" 2>&1 ||
        { cat "$art/$project.build.log"; fail "$project: build"; }
    found=$(sed -n 's/^Quadrelle_DIR:PATH=//p' "$work/build/$project/CMakeCache.txt")
    # With /usr merged, CMake may find it through /lib.
    [ "$(realpath "$found")" = "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake/Quadrelle" ] ||
        fail "$project found Quadrelle in '$found', not in the install"
    ! grep -rqF "$root" "$work/build/$project" --include='*.ninja' --include=CMakeCache.txt ||
        fail "$project's build refers to the source tree $root"
done
commcat=$work/build/commcat/commcat
demo=$work/build/components/components_demo
# (ldd's output is taken whole: grep -q would end the pipe early.)
grep -Eq 'libquadrelle-serial\.so\.1 => (/usr)?/lib/' <<<"$(ldd "$commcat")" || fail "commcat: $(ldd "$commcat")"
grep -Eq 'libquadrelle-widgets\.so\.1 => (/usr)?/lib/' <<<"$(ldd "$demo")" || fail "components_demo: $(ldd "$demo")"
pass "commcat and components built out of tree with find_package(Quadrelle) from /usr, linked to the installed libraries"

# --- one file, pkg-config
cflags_libs=$(pkg-config --cflags --libs quadrelle-serial)
echo "pkg-config --cflags --libs quadrelle-serial: $cflags_libs"
# Split into words as a user's shell splits $(pkg-config ...).
# shellcheck disable=SC2086
(cd "$work/src/plain" &&
    as c++ -std=c++17 consumer.cpp $cflags_libs -o "$work/build/consumer") >"$art/consumer.build.log" 2>&1 ||
    { cat "$art/consumer.build.log"; fail "c++ consumer.cpp \$(pkg-config --cflags --libs quadrelle-serial)"; }
as "$work/build/consumer" >"$art/consumer.log" 2>&1 || { cat "$art/consumer.log"; fail "consumer"; }
cat "$art/consumer.log"
pass "c++ -std=c++17 consumer.cpp \$(pkg-config --cflags --libs quadrelle-serial): builds and runs"

# --- every installed header on its own
bare=$(dpkg -L "${packages[@]}" | grep '^/usr/include/' | grep -v '^/usr/include/quadrelle\(/\|$\)' || true)
[ -z "$bare" ] || fail "installed outside /usr/include/quadrelle: $bare"
headers=$(dpkg -L libquadrelle-dev | grep '^/usr/include/quadrelle/.*\.h$' | sort)
[ -n "$headers" ] || fail "libquadrelle-dev installs no headers"
install -d -o "$user" -g "$group" -m 755 "$work/headers"
# check-header.sh HEADER: one translation unit that includes HEADER alone,
# compiled with the pkg-config flags of its library.
cat >"$work/headers/check-header.sh" <<'SCRIPT'
set -u
header=$1
rel=${header#/usr/include/}
folder=${rel#quadrelle/}
folder=${folder%%/*}
flags=$(pkg-config --cflags "quadrelle-$folder") || exit 1
# Qt's headers refuse code that is not position-independent.
[ "$folder" != widgets ] || flags="$flags -fPIC"
tu=$(dirname "$0")/$(echo "$rel" | tr / _).cpp
printf '#include <%s>\n' "$rel" >"$tu"
if ! c++ -std=c++17 -Wall -Wextra -Werror $flags -c "$tu" -o /dev/null >"$tu.log" 2>&1; then
    echo "FAIL: <$rel> does not compile on its own (pkg-config --cflags quadrelle-$folder):"
    cat "$tu.log"
    exit 1
fi
echo "  <$rel>"
SCRIPT
# As the user: every header must be readable by anyone.
printf '%s\n' "$headers" | as xargs -P "$jobs" -n 1 bash "$work/headers/check-header.sh" >"$art/headers.log" 2>&1 ||
    { cat "$art/headers.log"; fail "a header does not compile on its own"; }
cat "$art/headers.log"
pass "$(wc -w <<<"$headers") headers under /usr/include/quadrelle compile on their own with -Wall -Wextra -Werror; none bare in /usr/include"

# --- commcat over a pseudo-terminal pair, as the user
until_ok() { # until_ok SECONDS CMD...
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.05
    done
}
pty=$work/pty
install -d -o "$user" -g "$group" -m 755 "$pty"
"$as_user" socat -d -d "pty,raw,echo=0,link=$pty/near" "pty,raw,echo=0,link=$pty/far" 2>"$art/socat.log" &
socat_pid=$!
pids+=("$socat_pid")
until_ok 10 test -L "$pty/near" -a -L "$pty/far" || fail "socat made no pseudo-terminals: $(cat "$art/socat.log")"
near=$(readlink -f "$pty/near")
far=$(readlink -f "$pty/far")

# What the far end receives, read by the user as it arrives.
"$as_user" bash -c 'exec cat "$1" >"$2"' _ "$far" "$pty/far.received" 2>"$pty/far.err" &
pids+=($!)
# commcat's input stays open (the descriptor 3 of this shell) until it ends.
mkfifo "$pty/input"
chmod 644 "$pty/input"
"$as_user" env VRCOMM_PORT7="$near" "$commcat" 7 --baud 115200 <"$pty/input" >"$pty/commcat.out" 2>"$pty/commcat.err" &
commcat_pid=$!
pids+=("$commcat_pid")
exec 3>"$pty/input"
until_ok 10 grep -q 'connected to port 7' "$pty/commcat.err" ||
    fail "commcat did not connect to $near: $(cat "$pty/commcat.err")"

# Both ways at once: some 60 KB from commcat's input to the far end, and a
# few KB from the far end to commcat's output.
seq -f 'line %g from commcat to the far end' 2000 >"$work/to-far"
seq -f 'line %g from the far end to commcat' 200 >"$work/to-near"
cat "$work/to-far" >&3
cat "$work/to-near" >"$far"
same_size() { [ "$(stat -c %s "$1")" -ge "$(stat -c %s "$2")" ]; }
until_ok 20 same_size "$pty/far.received" "$work/to-far" ||
    fail "the far end got $(stat -c %s "$pty/far.received") of $(stat -c %s "$work/to-far") bytes"
until_ok 20 same_size "$pty/commcat.out" "$work/to-near" ||
    fail "commcat wrote $(stat -c %s "$pty/commcat.out") of $(stat -c %s "$work/to-near") bytes"
cmp "$work/to-far" "$pty/far.received" || fail "the far end got other bytes than commcat was given"
cmp "$work/to-near" "$pty/commcat.out" || fail "commcat wrote other bytes than the far end sent"
pass "commcat 7 on $near: $(stat -c %s "$work/to-far") bytes to the far end and $(stat -c %s "$work/to-near") back, unchanged"

# The far end hangs up while commcat's input stays open.
kill -TERM "$socat_pid"
hangup=$(date +%s%N)
rc=0
for _ in $(seq 500); do kill -0 "$commcat_pid" 2>/dev/null || break; sleep 0.01; done
took_ms=$((($(date +%s%N) - hangup) / 1000000))
kill -0 "$commcat_pid" 2>/dev/null && fail "commcat still runs 5 s after the far end hung up: $(cat "$pty/commcat.err")"
wait "$commcat_pid" || rc=$?
exec 3>&-
cat "$pty/commcat.err" >"$art/commcat.err"
[ "$rc" -eq 1 ] || fail "commcat ended with $rc after the hang-up, not 1: $(cat "$pty/commcat.err")"
[ "$took_ms" -le 1000 ] || fail "commcat took $took_ms ms to end after the hang-up, more than 1 s"
pass "far end hung up, input still open: commcat ended with 1 after $took_ms ms: $(tail -n 1 "$pty/commcat.err")"

# --- the components example under Xvfb with a window manager
mkfifo "$work/display"
# -noreset: when its last client (xdpyinfo) leaves, a resetting server drops
# the clients that connect meanwhile, and the window manager fails to start.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset -ac 3>"$work/display" >"$art/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 30 display_number <"$work/display" || fail "Xvfb did not start: $(cat "$art/xvfb.log")"
export DISPLAY=:$display_number
until_ok 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
install -d -m 755 "$work/icewm"
printf 'TitleFontNameXft="IPAPGothic:size=12"\n' >"$work/icewm/preferences"
ICEWM_PRIVCFG=$work/icewm icewm >"$art/icewm.log" 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
until_ok 30 wm_running || fail "icewm did not start: $(cat "$art/icewm.log")"

# The example works on a folder of sample files that the user owns.
mkdir -p "$work/demo/target"
for name in memo.txt "report with a rather long file name.txt" 写真.jpg; do
    printf '%s\n' "$name" >"$work/demo/$name"
done
chown -R "$user:$group" "$work/demo"
title='コンポーネントの見本'
"$as_user" env QT_QPA_PLATFORM=xcb LANG=C.UTF-8 "$demo" "$work/demo" >"$art/components.log" 2>&1 &
demo_pid=$!
pids+=("$demo_pid")
win=$(timeout 30 xdotool search --sync --onlyvisible --pid "$demo_pid" 2>/dev/null | head -n 1) ||
    fail "no window of components_demo within 30 s: $(cat "$art/components.log")"
[ -n "$win" ] || fail "no window of components_demo"
name=$(xdotool getwindowname "$win")
[ "$name" = "$title" ] || fail "the window is captioned '$name', not '$title'"
geometry=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
sleep 1 # the first frame is drawn after the window maps
import -display "$DISPLAY" -window root "$art/components.png"
file "$art/components.png" | grep -q 'PNG image data, 1024 x 768' || fail "screenshot: $(file "$art/components.png")"
pass "components_demo shows its window '$title' ($geometry) under icewm; screenshot $art/components.png"
kill -TERM "$demo_pid" 2>/dev/null || true
