#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# check-packages.sh ARTIFACT_DIR DEB...
#
# Checks the Debian packages of one scripts/package run together: lintian on
# every one (no error, no warning; an override only with a comment that
# justifies it), their control fields and layout (the libraries' SONAMEs,
# shlibs file, ldconfig trigger and Multi-Arch; -dev's dependencies and .so
# links; the player standing alone), and, run as root, that apt-get installs
# them on this machine, the dynamic linker finds the libraries, and
# apt-get remove and purge leave nothing of them under /usr. The listings
# (dpkg-deb -I and -c) and lintian's report are kept in ARTIFACT_DIR.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 ARTIFACT_DIR DEB..." >&2; exit 2; }
art=$1
shift
debs=()
for deb in "$@"; do debs+=("$(realpath "$deb")"); done
rm -rf "$art"
mkdir -p "$art"
art=$(realpath "$art")

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

tree=$(mktemp -d)
installed=()
cleanup() {
    if [ ${#installed[@]} -gt 0 ]; then
        echo "purging ${installed[*]} after a failure" >&2
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "${installed[@]}" >>"$art/apt.log" 2>&1 || true
    fi
    rm -rf "$tree"
}
trap cleanup EXIT

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
declare -A deb_of
for deb in "${debs[@]}"; do
    name=$(dpkg-deb --field "$deb" Package)
    [ -z "${deb_of[$name]+x}" ] || fail "two packages named $name"
    deb_of[$name]=$deb
    dpkg-deb --info "$deb" >"$art/$name.info.txt"
    dpkg-deb --contents "$deb" >"$art/$name.contents.txt"
    dpkg-deb --extract "$deb" "$tree/$name"
    dpkg-deb --control "$deb" "$tree/$name.control"
done
for name in quadrelle libquadrelle1 libquadrelle-dev; do
    [ -n "${deb_of[$name]+x}" ] || fail "no $name package among: ${!deb_of[*]}"
done
version=$(dpkg-deb --field "${deb_of[quadrelle]}" Version)
field() { dpkg-deb --field "${deb_of[$1]}" "$2"; }
pass "packages: ${!deb_of[*]} (version $version)"

# --- lintian: errors fail, and so do warnings. Everything down to the
# informational and experimental tags is listed so that new ones are seen.
lintian --info --display-info --pedantic --display-experimental --show-overrides --fail-on error \
    "${debs[@]}" >"$art/lintian.txt" 2>&1 || { cat "$art/lintian.txt"; fail "lintian reports errors"; }
grep -E '^[EWIPXO]: ' "$art/lintian.txt" || true
! grep -q '^W: ' "$art/lintian.txt" || fail "lintian reports warnings"
# Every override says why, in a comment right above it.
for name in "${!deb_of[@]}"; do
    overrides=$tree/$name/usr/share/lintian/overrides/$name
    [ -f "$overrides" ] || continue
    awk -v f="$overrides" '
        /^#/ { commented = 1; next }
        /^[[:space:]]*$/ { commented = 0; next }
        { if (!commented) { print f ": override without a comment: " $0; bad = 1 } }
        END { exit bad }' "$overrides" || fail "lintian override without a justifying comment"
done
pass "lintian on ${#debs[@]} packages: no errors, no warnings; every override has a comment"

# --- control fields and layout
for name in "${!deb_of[@]}"; do
    doc=$tree/$name/usr/share/doc/$name
    [ -s "$doc/copyright" ] || fail "$name has no /usr/share/doc/$name/copyright"
    gzip -t "$doc/changelog.gz" 2>/dev/null || fail "$name has no /usr/share/doc/$name/changelog.gz"
    [ "$(field "$name" Source)" = quadrelle ] || fail "$name: Source is '$(field "$name" Source)'"
    [ "$(field "$name" Version)" = "$version" ] || fail "$name: version $(field "$name" Version), not $version"
    # Only the library's files under /usr/include, and nothing there bare.
    if [ -d "$tree/$name/usr/include" ]; then
        stray=$(cd "$tree/$name/usr/include" && find . -mindepth 1 -maxdepth 1 ! -name quadrelle)
        [ -z "$stray" ] || fail "$name installs into /usr/include outside quadrelle/: $stray"
    fi
done
pass "every package: copyright and changelog.gz in /usr/share/doc/<package>/, Source quadrelle, version $version"

# The player links the libraries statically and stands alone.
case ", $(field quadrelle Depends)," in
*libquadrelle*) fail "quadrelle depends on the library: $(field quadrelle Depends)" ;;
esac
[ -z "$(find "$tree/quadrelle" -name 'libquadrelle*')" ] || fail "quadrelle carries a library file"
pass "quadrelle does not depend on libquadrelle1: $(field quadrelle Depends)"

lib=$tree/libquadrelle1/usr/lib/$multiarch
[ "$(field libquadrelle1 Section)" = libs ] || fail "libquadrelle1: Section $(field libquadrelle1 Section)"
[ "$(field libquadrelle1 Multi-Arch)" = same ] || fail "libquadrelle1: Multi-Arch '$(field libquadrelle1 Multi-Arch)'"
for part in platform serial widgets; do
    so=$lib/libquadrelle-$part.so.1
    [ -L "$so" ] && [ -f "$so.0.0" ] || fail "libquadrelle1: no $so -> $(basename "$so").0.0"
    soname=$(readelf -d "$so.0.0" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [ "$soname" = "libquadrelle-$part.so.1" ] || fail "libquadrelle-$part: SONAME '$soname'"
    grep -qx "libquadrelle-$part 1 libquadrelle1 (>= $version)" "$tree/libquadrelle1.control/shlibs" ||
        fail "libquadrelle1: shlibs lacks libquadrelle-$part: $(cat "$tree/libquadrelle1.control/shlibs")"
    # The players of other packages link this library through the -dev link.
    [ "$(readlink "$tree/libquadrelle-dev/usr/lib/$multiarch/libquadrelle-$part.so")" = \
      "libquadrelle-$part.so.1" ] || fail "libquadrelle-dev: no libquadrelle-$part.so -> libquadrelle-$part.so.1"
    [ -f "$tree/libquadrelle-dev/usr/lib/$multiarch/pkgconfig/quadrelle-$part.pc" ] ||
        fail "libquadrelle-dev: no quadrelle-$part.pc"
done
[ -z "$(find "$tree/libquadrelle1" -name '*.so' -o -name '*.a' -o -name '*.h')" ] ||
    fail "libquadrelle1 carries development files"
grep -qx 'activate-noawait ldconfig' "$tree/libquadrelle1.control/triggers" || fail "libquadrelle1: no ldconfig trigger"
for script in preinst postinst prerm postrm; do
    [ ! -e "$tree/libquadrelle1.control/$script" ] || fail "libquadrelle1 has a $script script"
done
case $(field libquadrelle1 Depends) in
*libc6*libqt6widgets6*) ;;
*) fail "libquadrelle1: Depends '$(field libquadrelle1 Depends)' is not dpkg-shlibdeps' list" ;;
esac
pass "libquadrelle1: three SONAMEs .so.1 in /usr/lib/$multiarch, shlibs, ldconfig trigger, Multi-Arch: same"

dev_depends=$(field libquadrelle-dev Depends)
case ", $dev_depends," in
*", libquadrelle1 (= $version),"*) ;;
*) fail "libquadrelle-dev does not depend on libquadrelle1 (= $version): $dev_depends" ;;
esac
case ", $dev_depends," in
*", qt6-base-dev"*) ;;
*) fail "libquadrelle-dev does not depend on qt6-base-dev: $dev_depends" ;;
esac
[ "$(field libquadrelle-dev Section)" = libdevel ] || fail "libquadrelle-dev: Section $(field libquadrelle-dev Section)"
[ "$(field libquadrelle-dev Multi-Arch)" = same ] || fail "libquadrelle-dev: Multi-Arch '$(field libquadrelle-dev Multi-Arch)'"
[ -f "$tree/libquadrelle-dev/usr/lib/$multiarch/cmake/Quadrelle/QuadrelleConfig.cmake" ] ||
    fail "libquadrelle-dev: no CMake package in /usr/lib/$multiarch/cmake/Quadrelle"
[ -z "$(find "$tree/libquadrelle-dev" -type f -name '*.so*')" ] || fail "libquadrelle-dev carries a library file"
pass "libquadrelle-dev: Depends $dev_depends; .so links, CMake package and pkg-config files in /usr/lib/$multiarch"

if [ -n "${deb_of[quadrelle-doc]+x}" ]; then
    [ "$(field quadrelle-doc Architecture)" = all ] || fail "quadrelle-doc: Architecture $(field quadrelle-doc Architecture)"
    [ "$(field quadrelle-doc Multi-Arch)" = foreign ] || fail "quadrelle-doc: Multi-Arch '$(field quadrelle-doc Multi-Arch)'"
    [ -n "$(find "$tree/quadrelle-doc/usr/share/doc" -name index.html)" ] || fail "quadrelle-doc: no index.html"
    pass "quadrelle-doc: Architecture all, Multi-Arch: foreign, an index.html"
fi

# --- apt-get install, remove and purge on this machine
if [ "$(id -u)" -ne 0 ]; then
    echo "skip: installing with apt-get needs root"
    exit 0
fi
# Every file and link the packages hold, and their own folders.
paths=$(cat "$art"/*.contents.txt | awk '{ print $6 }' | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^$' | sort -u)
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q -o Dpkg::Use-Pty=0 "$@" >>"$art/apt.log" 2>&1; }
local_debs=()
for deb in "${debs[@]}"; do local_debs+=("./$(basename "$deb")"); done
known() { # the packages of ours that dpkg knows in any state
    dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${!deb_of[@]}" 2>/dev/null |
        awk '$1 != "un" { print $2 }' || true
}

install_all() {
    installed=("${!deb_of[@]}")
    (cd "$(dirname "${debs[0]}")" && apt_get install --no-install-recommends "${local_debs[@]}") ||
        { cat "$art/apt.log"; fail "apt-get install ${local_debs[*]}"; }
    for name in "${!deb_of[@]}"; do
        dpkg-query -W -f='${db:Status-Abbrev}' "$name" | grep -q '^ii' || fail "$name is not installed"
    done
    while read -r path; do
        [ -e "$path" ] || [ -L "$path" ] || fail "installed, but $path is missing"
    done <<<"$paths"
    # The trigger ran ldconfig: the linker's cache knows every library. (The
    # cache is read whole: grep -q would end the pipe early. With /usr merged,
    # ldconfig names /lib for /usr/lib.)
    local cache part
    cache=$(ldconfig -p)
    for part in platform serial widgets; do
        grep -Eq "libquadrelle-$part\.so\.1 .*=> (/usr)?/lib/$multiarch/libquadrelle-$part\.so\.1\$" <<<"$cache" ||
            fail "ldconfig's cache lacks libquadrelle-$part.so.1"
    done
}

nothing_left() {
    local path cache dirs=() owned
    [ -z "$(known)" ] || fail "still known to dpkg: $(known | tr '\n' ' ')"
    while read -r path; do
        if [ -L "$path" ] || [ -f "$path" ]; then
            fail "left behind: $path"
        fi
        [ ! -d "$path" ] || dirs+=("$path")
    done <<<"$paths"
    # A folder may stay only when another package owns it (one query for all:
    # each takes dpkg's whole file list).
    owned=$(dpkg-query -S "${dirs[@]}" 2>/dev/null | sed 's/.*: //' || true)
    for path in "${dirs[@]}"; do
        grep -qxF "$path" <<<"$owned" || fail "folder left behind, owned by no package: $path"
    done
    [ -z "$(find /usr -iname '*quadrelle*' 2>/dev/null)" ] || fail "left under /usr: $(find /usr -iname '*quadrelle*')"
    cache=$(ldconfig -p)
    ! grep -q libquadrelle <<<"$cache" || fail "ldconfig's cache still has libquadrelle after removal"
}

[ -z "$(known)" ] || fail "already installed; the check installs and removes them, remove them first: $(known | tr '\n' ' ')"

# Installed, removed, and purged of what remove keeps (they have no
# configuration files, so nothing should remain known to dpkg).
install_all
pass "apt-get install ${local_debs[*]}: every file in place, the libraries in ldconfig's cache"
apt_get remove "${!deb_of[@]}" || { cat "$art/apt.log"; fail "apt-get remove"; }
mapfile -t kept < <(known)
if [ ${#kept[@]} -gt 0 ]; then
    apt_get purge "${kept[@]}" || { cat "$art/apt.log"; fail "apt-get purge ${kept[*]}"; }
fi
installed=()
nothing_left
pass "apt-get remove (and purge of what it kept: ${kept[*]:-nothing}): nothing of ours left under /usr or in ldconfig's cache"

# Installed again and purged straight away.
install_all
apt_get purge "${!deb_of[@]}" || { cat "$art/apt.log"; fail "apt-get purge"; }
installed=()
nothing_left
pass "apt-get install then apt-get purge: nothing of ours left under /usr or in ldconfig's cache"
