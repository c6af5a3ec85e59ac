#!/usr/bin/env bash
# The choice of the Windows build: the 64-bit one when Wine's 32-bit loader cannot start (a
# loader that fails, one that is no program for this processor, one that is missing), the
# 32-bit one when it starts, and TARVIK_WINDOWS_ARCH kept whatever the loader does.
#   windows_arch_test.sh WINDOWS_ARCH_SH
set -u
probe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# An executable file of bytes no processor runs: exec fails with "Exec format error", as a
# 32-bit program does on a host without a 32-bit mode.
printf '\x7fELF\x01\x01\x01\x00garbage' >"$work/foreign"
chmod +x "$work/foreign"
printf '#!/bin/sh\necho "wine-8.0"\n' >"$work/works"
chmod +x "$work/works"

# forced|loader|expected arch|expected build|text expected in the reason
cases=(
    "|$work/works|32|build|runs 32-bit programs"
    "|$work/foreign|64|build64|cannot run 32-bit programs ($work/foreign: "
    "|/bin/false|64|build64|cannot run 32-bit programs"
    "|$work/missing|64|build64|No such file or directory"
    "64|$work/works|64|build64|chosen by TARVIK_WINDOWS_ARCH=64"
    "32|$work/foreign|32|build|chosen by TARVIK_WINDOWS_ARCH=32"
)
for row in "${cases[@]}"; do
    IFS='|' read -r forced loader arch build why <<<"$row"
    got=$(env -u TARVIK_WINDOWS_ARCH ${forced:+TARVIK_WINDOWS_ARCH=$forced} TARVIK_WINE32_LOADER="$loader" bash -c \
        '. "$1" && windows_arch && echo "$TARVIK_WINDOWS_ARCH|$windows_build|$windows_arch_why"' _ "$probe" 2>&1)
    IFS='|' read -r got_arch got_build got_why <<<"$got"
    [ "$got_arch" = "$arch" ] && [ "$got_build" = "$build" ] ||
        fail "forced '${forced}', loader $loader: got '$got', expected $arch in $build"
    [[ "$got_why" == *"$why"* ]] || fail "forced '${forced}', loader $loader: reason '$got_why' lacks '$why'"
done

# Anything else is refused, with a message.
if out=$(TARVIK_WINDOWS_ARCH=86 bash -c '. "$1" && windows_arch' _ "$probe" 2>&1); then
    fail "TARVIK_WINDOWS_ARCH=86 was accepted"
fi
[[ "$out" == *"must be 32, 64 or unset"* ]] || fail "TARVIK_WINDOWS_ARCH=86: no clear message: $out"

echo "$((${#cases[@]} + 1 - failures)) passed, $failures failed"
[ "$failures" = 0 ]
