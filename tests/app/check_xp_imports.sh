#!/usr/bin/env bash
# The programs that run on Windows XP (the installer and its uninstaller) must not import a
# function that XP's system DLLs lack: Windows would refuse to start them there, before any of
# their code runs. Wine has every one of these whatever version a prefix says, so only the
# import table shows it. Listed: what the toolchain's runtime brings in unasked (its thread
# library and its exception support, through a guarded static or a condition variable) and
# the file and registry calls of Vista and later that are easy to reach for.
#   check_xp_imports.sh OBJDUMP PROGRAM...
# Exit code 0 when every program was read and imports none of them; 1 otherwise.
set -u
objdump=$1; shift
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
    # Import lines: hint, then the function's name.
    functions=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {in_imports = 1} /^$/ {in_imports = 0}
        in_imports && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}')
    if [ -z "$functions" ]; then
        echo "$name: no imported functions found"; status=1; continue
    fi
    for function in $functions; do
        case "$after_xp" in
            *" $function "*) echo "$name imports $function, which Windows XP lacks"; status=1 ;;
        esac
    done
done
[ $status = 0 ] && echo "imports: none that Windows XP lacks"
exit $status
