#!/usr/bin/env bash
# Every DLL a program imports statically must be a known system library (KnownDLLs) of
# Windows XP and of Windows 7: those are only ever taken from the system folder, so nothing
# saved beside the installer (a browser's download folder) is loaded with its rights at
# start-up. Any other library is loaded at run time by its full path in the system folder.
# With --xp, for the programs that run on Windows XP (the installer and its uninstaller), it
# also refuses an imported function that XP's system DLLs lack: Windows would refuse to start
# the program there, before any of its code runs. Wine has every one of these whatever version
# a prefix says, so only the import table shows it. Listed: what the toolchain's runtime brings
# in unasked (its thread library and its exception support, through a guarded static or a
# condition variable) and the file and registry calls of Vista and later that are easy to
# reach for.
#   check_imports.sh [--xp] OBJDUMP PROGRAM...
# Exit code 0 when every program was read and imports only those; 1 otherwise, also when a
# program cannot be read or shows no imports at all (every Windows program imports kernel32).
set -u
xp=0
[ "${1:-}" = --xp ] && { xp=1; shift; }
objdump=$1; shift
# KnownDLLs of XP and 7 both (msvcrt and shlwapi on XP as imports of its known shell32 and
# ole32, which puts them in the known set); not setupapi, newdev, version, uxtheme, comctl32.
known=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll comdlg32.dll msvcrt.dll shlwapi.dll "
after_xp=" GetTickCount64 InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
  WakeConditionVariable WakeAllConditionVariable InitializeSRWLock AcquireSRWLockExclusive
  AcquireSRWLockShared ReleaseSRWLockExclusive ReleaseSRWLockShared TryAcquireSRWLockExclusive
  InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete FlsAlloc FlsGetValue FlsSetValue
  GetFinalPathNameByHandleA GetFinalPathNameByHandleW CreateSymbolicLinkA CreateSymbolicLinkW
  GetFileInformationByHandleEx SetFileInformationByHandle QueryFullProcessImageNameA
  QueryFullProcessImageNameW GetSystemTimePreciseAsFileTime SetDefaultDllDirectories
  AddDllDirectory CancelIoEx CreateEventExA CreateEventExW GetLocaleInfoEx GetUserDefaultLocaleName
  RegGetValueA RegGetValueW RegDeleteTreeA RegDeleteTreeW RegDeleteKeyExA RegDeleteKeyExW "
after_xp=" $(tr -s ' \n' '  ' <<<"$after_xp") "
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
    [ $xp = 1 ] || continue
    # Import lines: hint, then the function's name.
    for function in $(printf '%s\n' "$dump" | awk '/DLL Name:/ {in_imports = 1} /^$/ {in_imports = 0}
            in_imports && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}'); do
        case "$after_xp" in
            *" $function "*) echo "$name imports $function, which Windows XP lacks"; status=1 ;;
        esac
    done
done
[ $status = 0 ] && echo "imports: known system DLLs only$([ $xp = 1 ] && echo ", none that Windows XP lacks")"
exit $status
