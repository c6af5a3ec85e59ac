#!/usr/bin/env bash
# The payload inspector from the outside: pack, list, extract, and a one-line error with exit
# code 1 for each kind of bad input.
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check DESCRIPTION EXPECTED-EXIT EXPECTED-STDOUT-OR-STDERR-PATTERN COMMAND...
    local what=$1 code=$2 pattern=$3; shift 3
    local out rc
    out=$("$@" 2>&1); rc=$?
    if [ "$rc" != "$code" ] || ! grep -qE -- "$pattern" <<<"$out"; then
        echo "FAIL: $what (exit $rc): $out"; failures=$((failures + 1))
    fi
}

head -c 4000 /dev/urandom > stub
printf 'hello' > a.txt
: > empty.txt

check "pack" 0 '^$' "$tool" pack stub out.exe FILE10=a.txt FILE2=empty.txt MyLangage=a.txt
check "list header" 0 '^stub 4000 bytes, 3 entries$' "$tool" list out.exe
[ "$("$tool" list out.exe | tail -n +2)" = "$(printf 'FILE10\t5\nFILE2\t0\nMyLangage\t5')" ] || { echo "FAIL: list order and sizes"; failures=$((failures + 1)); }
check "extract" 0 '^$' "$tool" extract out.exe FILE10 got.txt
cmp -s a.txt got.txt || { echo "FAIL: extracted bytes"; failures=$((failures + 1)); }
check "extract empty entry" 0 '^$' "$tool" extract out.exe FILE2 got-empty.txt
[ -f got-empty.txt ] && [ ! -s got-empty.txt ] || { echo "FAIL: empty entry"; failures=$((failures + 1)); }

head -c $(( $(stat -c %s out.exe) - 1 )) out.exe > cut.exe
check "missing key" 1 '^tarvik-payload: no entry nope in out.exe$' "$tool" extract out.exe nope x
check "no payload" 1 '^tarvik-payload: no payload in stub$' "$tool" list stub
check "unreadable" 1 '^tarvik-payload: cannot read missing.exe$' "$tool" list missing.exe
check "damaged" 1 '^tarvik-payload: damaged payload in cut.exe$' "$tool" list cut.exe
check "stub with payload" 1 'already carries a payload' "$tool" pack out.exe o2.exe a=a.txt
check "repeated key" 1 'cannot add a ' "$tool" pack stub o3.exe a=a.txt a=empty.txt
check "missing source" 1 'cannot add b ' "$tool" pack stub o4.exe b=missing.txt
check "bad pair" 1 'expected KEY=PATH' "$tool" pack stub o5.exe =a.txt
check "usage" 1 '^tarvik-payload: usage:' "$tool" frobnicate
[ ! -e o3.exe ] && [ ! -e o4.exe ] || { echo "FAIL: failed pack wrote a file"; failures=$((failures + 1)); }

[ "$failures" = 0 ] && echo "tarvik-payload: all checks passed"
exit $(( failures > 0 ))
