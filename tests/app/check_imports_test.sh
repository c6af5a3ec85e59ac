#!/usr/bin/env bash
# The import check refuses what it must and cannot pass by accident: each case gives the
# exit code and a line of the output it must print.
#   check_imports_test.sh OBJDUMP CHECK_SCRIPT VERSION_IMPORTER GOOD_PROGRAM
set -u
objdump=$1 check=$2 importer=$3 good=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'not a program\n' > "$work/text.exe"
failures=0
expect() {  # expect CODE TEXT OBJDUMP PROGRAM...
    local code=$1 text=$2 output rc
    shift 2
    output=$(timeout 60 bash "$check" "$@" 2>&1); rc=$?
    if [ "$rc" != "$code" ] || [[ "$output" != *"$text"* ]]; then
        echo "FAIL: check_imports $* gave $rc: $output (wanted $code and \"$text\")"
        failures=$((failures + 1))
    fi
}
expect 0 "known system DLLs only" "$objdump" "$good"
expect 1 "imports version.dll" "$objdump" "$importer"
expect 1 "imports version.dll" "$objdump" "$good" "$importer"
expect 1 "cannot be read" "$objdump" "$work/missing.exe"
expect 1 "cannot be read" "$objdump" "$work/text.exe"
expect 1 "cannot be read" "$work/no-objdump" "$good"
expect 1 "no imports found" true "$good"
expect 1 "no program" "$objdump"
echo "$failures failed"
exit $(( failures > 0 ))
