#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Quadrelle Project
# SPDX-License-Identifier: GPL-3.0-or-later
# check-abi-test.sh: scripts/check-abi on a small library of its own, built
# four ways, so that the check's verdicts are known to hold: an addition
# passes, a broken ABI under the same SONAME fails, and the same break with
# a new SONAME passes.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# make VARIANT SONAME-VERSION: builds libdemo.so from demo.h with the given
# variant's definitions and writes the manifest check-abi reads.
make_lib() {
    local variant=$1 major=$2 dir=$work/$1
    mkdir -p "$dir/abi"
    cat >"$dir/demo.h" <<HEADER
#pragma once
struct __attribute__((visibility("default"))) TDemo {
    int A = 0;
#if defined(WIDER)
    long B = 0; // a new field changes the object's size
#endif
    int Get() const;
#if defined(MORE)
    int Twice() const; // a new function only adds
#endif
};
HEADER
    cat >"$dir/demo.cpp" <<SOURCE
#include "demo.h"
int TDemo::Get() const { return A; }
#if defined(MORE)
int TDemo::Twice() const { return 2 * A; }
#endif
SOURCE
    local defs=()
    case $variant in
    more) defs=(-DMORE) ;;
    wider | wider-v2) defs=(-DWIDER) ;;
    esac
    g++ -std=c++17 -g -fPIC -shared -fvisibility=hidden "${defs[@]}" -Wl,-soname,libdemo.so.$major \
        -o "$dir/libdemo.so" "$dir/demo.cpp" || { echo "FAIL: building $variant"; exit 1; }
    printf '%s\n%s\n' "$dir/libdemo.so" "$dir/demo.h" >"$dir/abi/demo.manifest"
}

expect() { # expect RC-WANTED VARIANT WHAT
    local want=$1 variant=$2 what=$3 rc
    QUADRELLE_ABI_STORE=$work/store "$root/scripts/check-abi" "$work/$variant" >"$work/$variant.log" 2>&1
    rc=$?
    if { [ "$want" = pass ] && [ $rc -eq 0 ]; } || { [ "$want" = fail ] && [ $rc -eq 1 ]; }; then
        echo "ok: $what"
    else
        cat "$work/$variant.log"
        echo "FAIL: $what (exit $rc)"
        failures=$((failures + 1))
    fi
}

make_lib base 1
make_lib more 1
make_lib wider 1
make_lib wider-v2 2
QUADRELLE_ABI_STORE=$work/store "$root/scripts/check-abi" --update "$work/base" >/dev/null ||
    { echo "FAIL: storing the base ABI"; exit 1; }

expect pass base "the same ABI passes"
expect pass more "an added function passes"
expect fail wider "a grown object under the same SONAME fails"
expect pass wider-v2 "a grown object with a new SONAME passes"
grep -q 'same SONAME' "$work/wider.log" || { echo "FAIL: the failure does not say why"; failures=$((failures + 1)); }

[ $failures -eq 0 ] && echo "check-abi: all verdicts hold" || exit 1
