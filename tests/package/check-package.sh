#!/usr/bin/env bash
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

# Nothing in the package may be writable by anyone but root.
writable=$(find "$tree/root" -perm /022 ! -type l)
[ -z "$writable" ] || fail "writable by group or others: $writable"
pass "nothing in the unpacked tree is writable by group or others"
