#!/usr/bin/env bash
# Every DLL a program imports statically must be a known system library (KnownDLLs) of
# Windows XP and of Windows 7: those are only ever taken from the system folder, so nothing
# saved beside the installer (a browser's download folder) is loaded with its rights at
# start-up. Any other library is loaded at run time by its full path in the system folder.
#   check_imports.sh OBJDUMP PROGRAM...
# Exit code 0 when every program was read and imports only those; 1 otherwise, also when a
# program cannot be read or shows no imports at all (every Windows program imports kernel32).
set -u
objdump=$1; shift
# KnownDLLs of XP and 7 both (msvcrt and shlwapi on XP as imports of its known shell32 and
# ole32, which puts them in the known set); not setupapi, newdev, version, uxtheme, comctl32.
known=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comdlg32.dll msvcrt.dll shlwapi.dll "
[ $# -ge 1 ] || { echo "no program to check"; exit 1; }
status=0
for exe in "$@"; do
    name=$(basename "$exe")
    if ! dump=$("$objdump" -p "$exe" 2>&1); then
        echo "$name: cannot be read: $dump"; status=1; continue
    fi
    dlls=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}')
    if [ -z "$dlls" ]; then
        echo "$name: no imports found"; status=1; continue
    fi
    for dll in $dlls; do
        case "$known" in
            *" $dll "*) ;;
            *) echo "$name imports $dll"; status=1 ;;
        esac
    done
done
[ $status = 0 ] && echo "imports: known system DLLs only"
exit $status
