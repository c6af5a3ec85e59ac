#!/usr/bin/env bash
# The progress line: seen on a terminal (a pseudo-terminal made by script), redrawn in place
# and ended on a line of its own; absent when standard error is redirected.
#   progress_test.sh TARVIK_PAYLOAD   Exit code 77: skipped.
set -u
tool=$1
command -v script >/dev/null || { echo "SKIP: script (util-linux) is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

head -c 3000 /dev/urandom > stub
head -c 12000000 /dev/urandom > big.bin
# Each command on a terminal: its line with the figures, drawn with carriage returns.
for command in "pack -j 2 stub tty.exe FILE0=big.bin:packing" "extract tty.exe FILE0 got.bin:unpacking" \
    "list tty.exe:unpacking" "verify tty.exe:unpacking"; do
    seen=$(timeout 120 script -qfec "$tool ${command%:*}" /dev/null < /dev/null)
    line=$(tr '\r' '\n' <<<"$seen" | grep -E "^${command##*:} [0-9.]+ of 11\.4 MiB, [0-9.]+ MiB/s, [0-9]+:[0-9]{2} left" | tail -n 1)
    [ -n "$line" ] && [[ $seen == $'\r'* ]] || fail "${command%% *} on a terminal: $(od -c <<<"$seen" | head -n 4)"
    [[ $line == "${command##*:} 11.4 of 11.4 MiB"* ]] || fail "${command%% *}: the last line is not complete: $line"
done
cmp -s big.bin got.bin || fail "extract on a terminal wrote other bytes"
# Redirected: not a byte of progress.
"$tool" pack stub file.exe FILE0=big.bin 2> err.txt || fail "pack redirected: exit code"
"$tool" extract file.exe FILE0 got2.bin 2>> err.txt || fail "extract redirected: exit code"
[ ! -s err.txt ] || fail "progress written to a file: $(od -c err.txt | head -n 3)"

[ "$failures" = 0 ] && echo "progress line: all checks passed"
exit $(( failures > 0 ))
