#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# quadalign-test.sh QUADALIGN CLIPS: the command's lines and exit statuses on
# make-align-clips' files.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 QUADALIGN CLIPS" >&2; exit 2; }
quadalign=$1
cd "$2" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# run ARGS...: sets out, err and status.
run() {
    out=$("$quadalign" "$@" 2>stderr.txt)
    status=$?
    err=$(cat stderr.txt)
}

run ref.mp4 cut.mkv late.mp3
[ "$status" -eq 0 ] || fail "matching files: status $status ($err)"
re_cut='^cut\.mkv: offset=-1\.(4999|5000|5001) drift=[+-][0-9]+\.[0-9]ppm confidence=[0-9]+\.[0-9]$'
re_late='^late\.mp3: offset=\+0\.(7499|7500|7501) drift=[+-][0-9]+\.[0-9]ppm confidence=[0-9]+\.[0-9]$'
[ "$(printf '%s\n' "$out" | wc -l)" -eq 2 ] || fail "two lines expected: $out"
printf '%s\n' "$out" | sed -n 1p | grep -Eq "$re_cut" || fail "cut.mkv line: $out"
printf '%s\n' "$out" | sed -n 2p | grep -Eq "$re_late" || fail "late.mp3 line: $out"
[ -z "$err" ] || fail "nothing on standard error expected: $err"

run ref.mp4 other.mka cut.mkv
[ "$status" -eq 1 ] || fail "an unmatched file: status $status"
printf '%s\n' "$out" | sed -n 1p | grep -Eq '^other\.mka: no match \(confidence [0-9]+\.[0-9]\)$' ||
    fail "other.mka line: $out"
printf '%s\n' "$out" | sed -n 2p | grep -Eq "$re_cut" || fail "cut.mkv after a no match: $out"

# An error names the file; the others still get their lines, in order.
run ref.mp4 notes.txt cut.mkv silent.mp4 other.mka
[ "$status" -eq 2 ] || fail "errors: status $status"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 2 ] || fail "the readable files' lines expected: $out"
printf '%s\n' "$out" | sed -n 1p | grep -Eq "$re_cut" || fail "cut.mkv among errors: $out"
printf '%s\n' "$out" | sed -n 2p | grep -q '^other\.mka: no match' || fail "other.mka among errors: $out"
grep -q '^quadalign: notes\.txt: the file cannot be read as media (' stderr.txt || fail "notes.txt: $err"
grep -qx 'quadalign: silent\.mp4: the file has no sound track' stderr.txt || fail "silent.mp4: $err"

run missing.mp4 cut.mkv
[ "$status" -eq 2 ] || fail "unreadable reference: status $status"
[ -z "$out" ] || fail "no lines without a reference: $out"
grep -qx 'quadalign: missing\.mp4: the file cannot be opened (No such file or directory)' stderr.txt ||
    fail "missing reference: $err"

# Names are printed as given, whatever their bytes.
run ref.mp4 $'odd\nname\xff.mkv'
[ "$status" -eq 0 ] || fail "odd name: status $status"
[ "$out" = "$(printf 'odd\nname\377.mkv: ')${out#*$'\xff'.mkv: }" ] || fail "odd name line: $out"

for args in "ref.mp4" "" "--bogus ref.mp4 cut.mkv"; do
    # shellcheck disable=SC2086 # the words are the arguments
    run $args
    [ "$status" -eq 2 ] || fail "'$args': status $status"
    [ -z "$out" ] || fail "'$args': output $out"
    grep -q '^usage: quadalign ' stderr.txt || fail "'$args': no usage on standard error: $err"
done

run -- ref.mp4 cut.mkv
[ "$status" -eq 0 ] || fail "-- before the files: status $status"
run --help
[ "$status" -eq 0 ] && printf '%s\n' "$out" | grep -q '^usage: quadalign ' || fail "--help: $status $out"
run --version
[ "$status" -eq 0 ] && printf '%s\n' "$out" | grep -Eq '^quadalign [0-9]+\.[0-9]+\.[0-9]+$' ||
    fail "--version: $status $out"

rm -f stderr.txt
[ "$failures" -eq 0 ] || exit 1
echo "quadalign: all checks passed"
