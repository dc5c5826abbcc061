#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# check-guide-quotes.sh GUIDE ROOT: every code block of GUIDE that follows a
# line "<!-- quote: PATH -->" must appear word for word in ROOT/PATH, and every
# example under ROOT/examples/guide must be quoted, so that the guide shows
# the code that the build compiles and the tests run.
set -uo pipefail
guide=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Writes each quoted block to $work/N.block and its path to $work/N.path.
awk -v dir="$work" '
    match($0, /<!-- quote: [^ ]+ -->/) {
        path = substr($0, RSTART + 12, RLENGTH - 16); want = 1; next
    }
    want && /^```/ && !inside { inside = 1; n++; printf "%s", path > (dir "/" n ".path"); next }
    inside && /^```/ { inside = 0; want = 0; close(dir "/" n ".block"); next }
    inside { print > (dir "/" n ".block") }
' "$guide"

failures=0
quoted=()
for pathfile in "$work"/*.path; do
    [ -e "$pathfile" ] || { echo "no quoted block in $guide"; exit 1; }
    path=$(<"$pathfile")
    block=$(<"${pathfile%.path}.block")
    quoted+=("$path")
    if [ ! -f "$root/$path" ]; then
        echo "$guide quotes $path, which does not exist"
        failures=$((failures + 1))
    elif [[ "$(<"$root/$path")" != *"$block"* ]]; then
        echo "$guide quotes $path, but this block is not in it:"
        printf '%s\n' "$block"
        failures=$((failures + 1))
    fi
done
for example in "$root"/examples/guide/*.cpp; do
    rel=${example#"$root"/}
    if ! printf '%s\n' "${quoted[@]}" | grep -qxF "$rel"; then
        echo "$guide does not quote $rel"
        failures=$((failures + 1))
    fi
done
echo "$(ls "$work"/*.path | wc -l) quoted blocks checked, $failures failures"
[ "$failures" -eq 0 ]
