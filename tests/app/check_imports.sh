#!/usr/bin/env bash
# A statically linked program imports only DLLs that every Windows XP and 7 has.
set -u
objdump=$1; shift
status=0
for exe in "$@"; do
    for dll in $("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}'); do
        case "$dll" in
            kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|comctl32.dll|msvcrt.dll|setupapi.dll|uuid.dll|version.dll|shlwapi.dll|comdlg32.dll) ;;
            *) echo "$(basename "$exe") imports $dll"; status=1 ;;
        esac
    done
done
[ $status = 0 ] && echo "imports: system DLLs only"
exit $status
