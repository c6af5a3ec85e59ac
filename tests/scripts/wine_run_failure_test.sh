#!/usr/bin/env bash
# A prefix that cannot be made: the runner says which step failed and how, and prints the last
# lines Wine printed, instead of a bare "failed". The 32-bit loader is replaced by one that
# fails with a message of its own, and by a program no processor runs, as Wine's 32-bit loader
# is on a host without 32-bit execution.
#   wine_run_failure_test.sh WINE_RUN_SH
set -u
wine_run=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 checks=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cat >"$work/failing" <<'LOADER'
#!/bin/sh
echo "wine: preparing the prefix"
echo "wine: could not load ntdll.so: Exec format error" >&2
exit 3
LOADER
chmod +x "$work/failing"

printf '\x7fELF\x01\x01\x01\x00garbage' >"$work/foreign"
chmod +x "$work/foreign"

# loader|what the message must hold, separated by ';'
cases=(
    "failing|exit code 3;could not load ntdll.so: Exec format error;wine: preparing the prefix"
    "foreign|exit code 126;cannot execute binary file: Exec format error"
)
for row in "${cases[@]}"; do
    loader=${row%%|*} wants=${row#*|}
    checks=$((checks + 1))
    root="$work/root-$loader"
    if out=$(TARVIK_WINE32_LOADER="$work/$loader" "$wine_run" --root "$root" --arch 32 cmd /c exit 2>&1); then
        fail "$loader: the runner succeeded"
    fi
    IFS=';' read -ra want <<<"$wants"
    for text in "making $root/prefix32: " "${want[@]}"; do
        [[ "$out" == *"$text"* ]] || fail "$loader: the failure message lacks '$text':"$'\n'"$out"
    done
    [ ! -e "$root/prefix32/.ready" ] || fail "$loader: a failed prefix is marked ready"
done

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
