#!/usr/bin/env bash
# tarvik-zip from the outside: the same files give the same bytes on every run, members are
# named by file name, and a failed run leaves no archive behind.
#   tarvik_zip_test.sh TARVIK_ZIP
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p a b
printf 'one' > a/Language_1033.txt
head -c 20000 /dev/urandom > b/Language_2052.txt
"$tool" first.zip a/Language_1033.txt b/Language_2052.txt || fail "exit code $?"
sleep 1
touch a/Language_1033.txt
"$tool" second.zip a/Language_1033.txt b/Language_2052.txt || fail "exit code of the second run"
cmp -s first.zip second.zip || fail "the same files give other bytes"
grep -qa 'Language_1033.txt' first.zip && ! grep -qa 'a/Language_1033.txt' first.zip || fail "member names carry folders"

printf 'other' > b/Language_1033.txt
"$tool" twice.zip a/Language_1033.txt b/Language_1033.txt 2>err.txt && fail "two files of one name were accepted"
grep -q '^tarvik-zip: a second file of the same name: b/Language_1033.txt$' err.txt || fail "message: $(cat err.txt)"
"$tool" missing.zip a/Language_1033.txt nothing.txt 2>/dev/null && fail "a missing file was accepted"
[ ! -e twice.zip ] && [ ! -e missing.zip ] || fail "a failed run left an archive"
"$tool" 2>/dev/null && fail "no arguments accepted"

[ "$failures" = 0 ] && echo "tarvik-zip: all checks passed"
exit $(( failures > 0 ))
