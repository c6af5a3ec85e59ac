#!/usr/bin/env bash
# The unattended install end to end: SetupTarvik.exe /S with the sample language pack, the
# sample drivers and a small application as its payload, under Wine with no X display at all,
# as a deployment tool starts it, and in an X server that is watched for windows. Judged by the exit code, the device tree, the install tree,
# the shortcuts and the log beside the installer:
#   0 installed (a simulated PL2303 gets its driver; the application is not started),
#   5 not installed (an upgrade while a program outside the install folder holds an installed
#     file: rolled back, the older tree and entry as they were),
#   2 a Windows version the window refuses (Windows Server 2003 / XP x64 5.2, Vista 6.0),
#   3 a truncated installer, at once (under an X server too, where a message box would wait),
#   4 an unknown switch;
# a file without payload stays the builder, whatever the arguments.
#   unattended_e2e.sh WINE_RUN WINE_ROOT SETUPTARVIK_EXE TARVIK_PAYLOAD LAUNCH_RECORDER_EXE
#                     FILE_HOLDER_EXE SAMPLE_LANGUAGE_DIR DRIVERS_DIR
# Every wait is bounded: a program that hangs is killed and counted as a failure.
set -u
wine_run=$1 wine_root=$2 setup=$3 tool=$4 recorder=$5 holder=$6 languages=$7 drivers=$8
unset DISPLAY WAYLAND_DISPLAY
work=$(mktemp -d)
prefix="$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}"
programs="$prefix/drive_c/Program Files"
install="$programs/MiniTarvik"
adapter_key='HKLM\System\CurrentControlSet\Enum\USB\VID_067B&PID_2303\5&unattended&0&1'
run_limit=120   # seconds one installer run may take
failures=0 checks=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { checks=$((checks + 1)); }

runner() { "$wine_run" --root "$wine_root" "$@"; }
# The driver model a present adapter gets: the package's 32-bit one on 32-bit Windows; in the
# 64-bit build's 64-bit prefix the 64-bit one, through the 64-bit updater, which the installer
# starts and does not await.
if [ "${TARVIK_WINDOWS_ARCH:-32}" = 64 ]; then
    service=Ser2pl64 driver_file=ser2pl64.sys
else
    service=Ser2pl driver_file=ser2pl.sys
fi
quiet() { "$@" </dev/null >/dev/null 2>&1; }
# The sample packages' copies in the INF folder and the permanent package folders.
unstage() {
    local inf
    for inf in "$prefix"/drive_c/windows/inf/*.inf; do
        if cmp -s "$inf" "$drivers/win7/2303/ser2pl.inf" || cmp -s "$inf" "$drivers/CH341SER/CH341SER.INF" ||
            cmp -s "$inf" "$drivers/xp/2303/ser2pl.inf"; then
            rm -f "$inf" "${inf%.inf}.pnf"
        fi
    done
    rm -rf "$prefix/drive_c/ProgramData/MiniTarvik"
}
clean() {
    quiet runner reg delete "$adapter_key" /f
    quiet runner reg delete "HKLM\\System\\CurrentControlSet\\Services\\$service" /f
    quiet runner reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MiniTarvik' /reg:32 /f
    rm -f "$prefix/drive_c/windows/system32/drivers/$driver_file"
    rm -rf "$install" "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/My Mini Tarvik"
    rm -f "$prefix"/drive_c/users/Public/Desktop/"Load Mini Tarvik.lnk"
    unstage
}
stop() {
    clean
    WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT

# The installer, as the builder makes it; its programs record being started.
mkdir -p "$work/plain" "$work/run" "$work/app/inkscape"
cp "$setup" "$work/plain/SetupTarvik.exe"
cp "$(dirname "$setup")/Uninstall.exe" "$work/plain/Uninstall.exe"  # packed from beside the stub
cp "$recorder" "$work/app/Emberlin.exe"
cp "$recorder" "$work/app/inkscape/inkscape.exe"
printf 'Mini Tarvik\r\n' >"$work/app/license.txt"
cp "$holder" "$work/file_holder.exe"
(cd "$languages" && zip -q -X -j "$work/Language.zip" Language_*.txt) || { echo "FAIL: zip"; exit 1; }
quiet "$tool" build "$work/plain/SetupTarvik.exe" "$work/run/SetupTarvik.exe" --app "$work/app" \
    --drivers "$drivers" --language "$work/Language.zip" || { echo "FAIL: could not build the installer"; exit 1; }
# A newer version: one file changed, one added.
cp -r "$work/app" "$work/newer"
printf 'Mini Tarvik 2\r\n' >"$work/newer/license.txt"
printf 'new\r\n' >"$work/newer/added.txt"
quiet "$tool" build "$work/plain/SetupTarvik.exe" "$work/run/SetupNewer.exe" --app "$work/newer" \
    --drivers "$drivers" --language "$work/Language.zip" || { echo "FAIL: could not build the newer installer"; exit 1; }
quiet runner cmd /c exit || { echo "FAIL: the Wine prefix could not be made"; exit 1; }
clean

# Runs "EXE ARGS..." in FOLDER as Windows VERSION; prints the exit code, 124 when it was killed.
run() {  # run FOLDER VERSION EXE ARGS...
    local folder=$1 version=$2
    shift 2
    (cd "$folder" && timeout -k 5 $run_limit "$wine_run" --root "$wine_root" --version "$version" "$@" \
        </dev/null >/dev/null 2>&1)
    echo $?
}
log_has() {  # log_has FOLDER TEXT: the log beside the installer holds the text
    tr -d '\r' <"$1/SetupTarvik.log" 2>/dev/null | grep -qF -- "$2"
}
plug() {
    quiet runner reg add "$adapter_key" /v HardwareID /t REG_MULTI_SZ /d 'USB\Vid_067b&Pid_2303' /f
    quiet runner reg add "$adapter_key" /v DeviceDesc /d 'USB-Serial Controller' /f
    quiet runner reg add "$adapter_key" /v ClassGUID /d '{4D36E978-E325-11CE-BFC1-08002BE10318}' /f
}
reg_value() {  # reg_value KEY NAME
    runner reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { print $3 }'
}

# 0: a PL2303 without driver gets it, the application and the shortcuts arrive as in the
# window's install, the application is not started, and the log says how it ended.
plug
check
code=$(run "$work/run" win7 SetupTarvik.exe /S)
[ "$code" = 0 ] || fail "/S: exit code $code, 0 expected"
check
bound() { [ "$(reg_value "$adapter_key" Service)" = "$service" ] && [ -f "$prefix/drive_c/windows/system32/drivers/$driver_file" ]; }
for _ in $(seq 30); do bound && break; sleep 1; done
bound || fail "/S: the adapter's driver is not bound"
check
diff -r "$work/app" "$install" >/dev/null || fail "/S: the install tree differs from the application"
check
for link in "ProgramData/Microsoft/Windows/Start Menu/Programs/My Mini Tarvik/Load Mini Tarvik.lnk" \
    "ProgramData/Microsoft/Windows/Start Menu/Programs/My Mini Tarvik/Other Tools/Inkscape (Vektrel).lnk"; do
    [ -s "$prefix/drive_c/$link" ] || fail "/S: no shortcut $link"
done
ls "$prefix"/drive_c/users/Public/Desktop/"Load Mini Tarvik.lnk" >/dev/null 2>&1 || fail "/S: no desktop shortcut"
check
sleep 1
[ ! -e "$install/Emberlin.exe.ran" ] || fail "/S: the application was started"
check
[ -n "$(ls "$prefix/drive_c/ProgramData/MiniTarvik/Drivers/ch341/CH341SER.INF" 2>/dev/null)" ] &&
    cmp -s "$prefix/drive_c/windows/inf/CH341SER.INF" "$drivers/CH341SER/CH341SER.INF" ||
    fail "/S: the CH341 package was not staged"
check
log_has "$work/run" "Unattended install: installed, exit code 0" || fail "/S: no closing line in the log"

# 5: a program outside the install folder holds the application's file during an upgrade; the
# upgrade is rolled back. Lower-case switch.
clean
check
code=$(run "$work/run" win7 SetupTarvik.exe /S)
[ "$code" = 0 ] || fail "second /S: exit code $code, 0 expected"
rm -f "$install/Emberlin.exe.held"
(cd "$work" && timeout -k 5 60 "$wine_run" --root "$wine_root" file_holder.exe 'C:\Program Files\MiniTarvik\Emberlin.exe' 20 \
    </dev/null >/dev/null 2>&1) &
holding=$!
for _ in $(seq 100); do [ -f "$install/Emberlin.exe.held" ] && break; sleep 0.1; done
check
# The entry lives in the 32-bit view, where every 32-bit program's entry lives.
entry_size() {
    runner reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MiniTarvik' /v EstimatedSize \
        /reg:32 </dev/null 2>/dev/null | tr -d '\r' | awk '$1 == "EstimatedSize" { print $3 }'
}
size_before=$(entry_size)
if [ -f "$install/Emberlin.exe.held" ]; then
    code=$(run "$work/run" win7 SetupNewer.exe /s)
    [ "$code" = 5 ] || fail "/s with a locked file: exit code $code, 5 expected"
    check
    tr -d '\r' <"$work/run/SetupNewer.log" 2>/dev/null | grep -qF "Cannot set aside C:\Program Files\MiniTarvik\Emberlin.exe" &&
        tr -d '\r' <"$work/run/SetupNewer.log" | grep -qF "Unattended install: not installed, the earlier state is unchanged, exit code 5" ||
        fail "/s with a locked file: the log does not say what failed"
    check
    # The holder's marker lies beside the held file.
    differences=$(diff -r -x Emberlin.exe.held "$work/app" "$install" 2>&1) ||
        fail "/s with a locked file: the older tree was not put back: $differences"
    check
    [ -n "$size_before" ] && [ "$(entry_size)" = "$size_before" ] ||
        fail "/s with a locked file: the entry changed ($size_before, now $(entry_size))"
else
    fail "the application's file could not be held open"
fi
kill $holding 2>/dev/null
wait $holding 2>/dev/null

# 2: the versions the window refuses; nothing is installed.
for version in win2003 vista; do
    clean
    cp "$work/run/SetupTarvik.exe" "$work/run/Setup-$version.exe"
    check
    code=$(run "$work/run" $version "Setup-$version.exe" /S)
    [ "$code" = 2 ] || fail "$version: exit code $code, 2 expected"
    check
    [ ! -e "$install" ] || fail "$version: something was installed"
    check
    tr -d '\r' <"$work/run/Setup-$version.log" 2>/dev/null | grep -qF "exit code 2" || fail "$version: no line in the log"
done

# With an X server, where a window or a message box would show and wait: the prefix's server
# is restarted on each side, as Wine binds a running prefix's desktop to its first display.
mkdir -p "$work/truncated"
head -c $(($(stat -c %s "$work/run/SetupTarvik.exe") - 4096)) "$work/run/SetupTarvik.exe" >"$work/truncated/SetupTarvik.exe"
WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null
WINEPREFIX="$prefix" timeout 30 wineserver -w 2>/dev/null
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display" 2>/dev/null)
check
if [ "$DISPLAY" = : ] || ! timeout 10 xdpyinfo >/dev/null 2>&1; then
    fail "the X server did not come up"
else
    # A whole install with a watch on the screen: no window shows at any moment.
    clean
    plug
    (while :; do timeout 5 xdotool search --onlyvisible --name '.' 2>/dev/null; sleep 0.1; done) >"$work/seen" &
    watch=$!
    check
    code=$(run "$work/run" win7 SetupTarvik.exe /S)
    kill $watch 2>/dev/null
    wait $watch 2>/dev/null
    [ "$code" = 0 ] || fail "/S with a display: exit code $code, 0 expected"
    check
    [ ! -s "$work/seen" ] || fail "/S with a display: windows showed: $(sort -u "$work/seen" | tr '\n' ' ')"

    # 3: a truncated installer ends at once, with no message box waiting.
    check
    started=$(date +%s)
    code=$(run "$work/truncated" win7 SetupTarvik.exe /S)
    [ "$code" = 3 ] || fail "truncated: exit code $code, 3 expected"
    check
    [ $(($(date +%s) - started)) -le 20 ] || fail "truncated: took $(($(date +%s) - started)) s"
    check
    log_has "$work/truncated" "exit code 3" || fail "truncated: no line in the log"
fi
WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null
WINEPREFIX="$prefix" timeout 30 wineserver -w 2>/dev/null
kill $xvfb 2>/dev/null
unset DISPLAY

# 4: anything but /S or /s, logged.
for arguments in "/X" "/S /S" "-S" "/Silent"; do
    check
    # shellcheck disable=SC2086
    code=$(run "$work/run" win7 SetupTarvik.exe $arguments)
    [ "$code" = 4 ] || fail "'$arguments': exit code $code, 4 expected"
done
check
log_has "$work/run" "unknown command line \"/Silent\"" || fail "unknown switch: no line in the log"

# A file without payload is the builder, whatever the arguments: with no application folder
# to pack it ends with 1, as without arguments, and installs nothing.
clean
check
code=$(run "$work/plain" win7 SetupTarvik.exe /S)
[ "$code" = 1 ] || fail "builder with /S: exit code $code, 1 expected"
check
[ ! -e "$install" ] && ! log_has "$work/plain" "Unattended install" || fail "builder with /S: it installed"

echo "$((checks - failures)) of $checks checks passed"
exit $((failures > 0))
