#!/usr/bin/env bash
# The installer window end to end: SetupTarvik.exe with the sample language pack, the sample
# drivers and a small application tree as its payload, under Wine in a private X server, driven by xdotool and read back from outside by
# window_reader.exe. In English and in the Chinese locale: the window opens centred, waits
# with the button disabled and the link shown, becomes ready when a PL2303 adapter appears,
# installs, and its final button starts the application (never "C:\Program.exe") and ends
# with exit code 0; the same installer sealed with Zstandard installs the same tree, and the
# English run is repeated at 144 DPI (the client area 1.5 times as large). Another program
# reads each control's accessible role. Also: closing while waiting, and the Windows versions
# it refuses.
# Screenshots go to $E2E_SCREENSHOTS (default: a temporary folder that is removed).
#   window_e2e.sh WINE_RUN WINE_ROOT SETUPTARVIK_EXE TARVIK_PAYLOAD WINDOW_READER_EXE
#                 LAUNCH_RECORDER_EXE SAMPLE_LANGUAGE_DIR DRIVERS_DIR
# TARVIK_PAYLOAD is the payload tool of the build machine; DRIVERS_DIR the staged driver tree.
set -u
wine_run=$1 wine_root=$2 setup=$3 tool=$4 reader=$5 recorder=$6 languages=$7 drivers=$8
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../skin/gui_prefix.sh"
work=$(mktemp -d)
shots=${E2E_SCREENSHOTS:-$work}/window_e2e
prefix="$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}"
programs="$prefix/drive_c/Program Files"
adapter_key='HKLM\System\CurrentControlSet\Enum\USB\VID_067B&PID_2303\5&e2e&0&1'
failures=0 checks=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { checks=$((checks + 1)); }

runner() { "$wine_run" --root "$wine_root" "$@"; }
quiet() { "$@" </dev/null >/dev/null 2>&1; }
unplug() { quiet runner reg delete "$adapter_key" /f; }
stop() {
    unplug
    rm -rf "$programs/MiniTarvik" "$prefix/drive_c/Program.exe" "$prefix/drive_c/Program.exe.ran"
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
start_xvfb "$work" || { echo "FAIL: no X server"; exit 1; }
prepare_gui_prefix "$wine_run" "$wine_root" || { echo "FAIL: the Wine prefix could not be prepared"; exit 1; }
mkdir -p "$shots" "$work/plain" "$work/run"

# The installer, as the builder makes it: the language pack, the drivers and an application
# whose programs record being started. The program an unquoted path would start waits at
# C:\Program.exe.
cp "$setup" "$work/plain/SetupTarvik.exe"
cp "$(dirname "$setup")/Uninstall.exe" "$work/plain/Uninstall.exe"  # packed from beside the stub
cp "$reader" "$work/window_reader.exe"
mkdir -p "$work/app/inkscape"
cp "$recorder" "$work/app/Emberlin.exe"
cp "$recorder" "$work/app/inkscape/inkscape.exe"
(cd "$languages" && zip -q -X -j "$work/Language.zip" Language_*.txt) || { echo "FAIL: zip"; exit 1; }
quiet "$tool" build "$work/plain/SetupTarvik.exe" "$work/run/SetupTarvik.exe" --app "$work/app" \
    --drivers "$drivers" --language "$work/Language.zip" || { echo "FAIL: could not build the installer"; exit 1; }
unplug
rm -rf "$programs/MiniTarvik"
cp "$recorder" "$prefix/drive_c/Program.exe"

# Starts the installer named EXE in the run folder with the given locale; its exit code goes
# to $work/rc when it ends.
start() {  # start EXE LANG
    rm -f "$work/rc"
    (cd "$work/run" && LANG=$2 LC_ALL=$2 runner "$1" >/dev/null 2>&1; echo $? >"$work/rc") &
}
finished_within() {  # seconds
    for _ in $(seq $(($1 * 10))); do [ -f "$work/rc" ] && return 0; sleep 0.1; done
    return 1
}
# Reads the window into $work/window.txt (class, visible, enabled, screen rectangle, text,
# accessible role).
read_window() {
    rm -f "$work/window.txt"
    (cd "$work" && LANG=$locale LC_ALL=$locale runner window_reader.exe window.txt) </dev/null >/dev/null 2>&1 &&
        [ -s "$work/window.txt" ]
}
field() {  # field CLASS COLUMN: of the first window of that class
    awk -F'\t' -v class="$1" -v column="$2" '$1 == class { print $column; exit }' "$work/window.txt" | tr -d '\r'
}
# Waits until the window of CLASS shows TEXT (and, when given, is in STATE "visible enabled").
wait_for() {  # wait_for SECONDS CLASS TEXT [STATE]
    for _ in $(seq $(($1 * 4))); do
        if read_window && [ "$(field "$2" 5)" = "$3" ]; then
            [ -z "${4:-}" ] || [ "$(field "$2" 2) $(field "$2" 3)" = "$4" ] && return 0
        fi
        sleep 0.25
    done
    return 1
}
click() {  # click CLASS: the middle of that control
    local rect x y
    rect=$(field "$1" 4)
    IFS=, read -r l t r b <<<"$rect"
    x=$(((l + r) / 2)) y=$(((t + b) / 2))
    xdotool mousemove "$x" "$y" sleep 0.3 click 1
}
shot() {  # shot WINDOW NAME
    local geometry
    import -window root "$work/root.png" 2>/dev/null || return
    eval "$(xdotool getwindowgeometry --shell "$1")"
    /usr/bin/convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shots/$2.png"
}
# A translation from the sample language file of the locale, in its own code page.
translated() {  # translated ID ENGLISH
    grep -aF "{$2}=" "$languages/Language_$1.txt" | head -n 1 | sed 's/^[^}]*}=//' | tr -d '\r'
}

# The client area of the window at the screen's DPI ($dpi): 376 x 244 at 96.
dpi=96
client_size() { echo "$((376 * dpi / 96))x$((244 * dpi / 96))"; }

# One installation from waiting to the final launch, in the locale given, of SetupTarvik.exe
# or another installer in the run folder, at the screen's DPI ($dpi).
install_run() {  # install_run NAME LOCALE LANGUAGE_ID [EXE]
    local name=$1 id=$3 title window size
    locale=$2
    title=$(translated "$id" "Install Mini Tarvik" | iconv -f "$( [ "$id" = 2052 ] && echo GBK || echo CP1252)" -t UTF-8)
    rm -f "$programs/MiniTarvik/Emberlin.exe.ran" "$prefix/drive_c/Program.exe.ran"
    start "${4:-SetupTarvik.exe}" "$locale"
    window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)
    check
    if [ -z "$window" ]; then
        fail "$name: no window titled '$title'"
        return
    fi
    eval "$(xdotool getwindowgeometry --shell "$window")"
    check
    if [ $(((1024 - WIDTH) / 2 - X)) -lt -2 ] || [ $(((1024 - WIDTH) / 2 - X)) -gt 2 ] ||
        [ $(((768 - HEIGHT) / 2 - Y)) -lt -2 ] || [ $(((768 - HEIGHT) / 2 - Y)) -gt 2 ]; then
        fail "$name: window at $X,$Y size ${WIDTH}x$HEIGHT is not centred"
    fi

    check
    wait_for 10 TLabel "$(translated "$id" "Please connect Mini Tarvik Device to this PC...")" ||
        fail "$name: the status label does not ask for the device"
    check
    [ "$(field TSkinButton 3)" = 0 ] && [ "$(field TSkinURLLabel 2)" = 1 ] ||
        fail "$name: waiting, the button must be disabled and the link visible"
    [ "$(field TSkinButton 5)" = "$(translated "$id" "Install Driver and Applications")" ] &&
        [ "$(field TSkinURLLabel 5)" = "$(translated "$id" "Skip Driver Install")" ] || fail "$name: captions not translated"
    IFS=, read -r l t r b <<<"$(awk -F'\t' 'NR == 1 { print $4 }' "$work/window.txt")"
    size="$((r - l))x$((b - t))"
    check
    [ "$size" = "$(client_size)" ] || fail "$name: the client area is $size, not $(client_size) at $dpi DPI"
    # ROLE_SYSTEM_PUSHBUTTON, _LINK, _STATICTEXT and _PROGRESSBAR, read by another process.
    check
    [ "$(field TSkinButton 6) $(field TSkinURLLabel 6) $(field TLabel 6) $(field TSkinProgressBar 6)" = "43 30 41 48" ] ||
        fail "$name: accessible roles $(field TSkinButton 6) $(field TSkinURLLabel 6) $(field TLabel 6) $(field TSkinProgressBar 6)"
    shot "$window" "$name-1-waiting"

    quiet runner reg add "$adapter_key" /v HardwareID /t REG_MULTI_SZ /d 'USB\VID_067B&PID_2303&REV_0300' /f
    quiet runner reg add "$adapter_key" /v DeviceDesc /d 'USB-Serial Controller' /f
    quiet runner reg add "$adapter_key" /v ClassGUID /d '{4D36E978-E325-11CE-BFC1-08002BE10318}' /f
    check
    wait_for 3 TLabel "$(translated "$id" "Ready to install")" ||
        fail "$name: not ready within about two seconds of the adapter"
    check
    [ "$(field TSkinButton 3)" = 1 ] && [ "$(field TSkinURLLabel 2)" = 0 ] ||
        fail "$name: ready, the button must be enabled and the link hidden"
    shot "$window" "$name-2-ready"

    click TSkinButton
    check
    wait_for 20 TLabel "$(translated "$id" "Installed success!")" || fail "$name: did not reach the installed state"
    check
    wait_for 2 TSkinButton "$(translated "$id" "Load Mini Tarvik now!")" "1 1" ||
        fail "$name: the button does not offer to load the application"
    shot "$window" "$name-3-installed"

    click TSkinButton
    check
    finished_within 20 || fail "$name: the installer did not end after the final button"
    [ "$(cat "$work/rc" 2>/dev/null)" = 0 ] || fail "$name: exit code $(cat "$work/rc" 2>/dev/null)"
    check
    for _ in $(seq 50); do [ -f "$programs/MiniTarvik/Emberlin.exe.ran" ] && break; sleep 0.1; done
    [ -f "$programs/MiniTarvik/Emberlin.exe.ran" ] || fail "$name: the application was not started"
    check
    [ ! -f "$prefix/drive_c/Program.exe.ran" ] || fail "$name: C:\\Program.exe was started"
    unplug
}

# Every installed file with its digest, the run's records of started programs left out.
install_tree() { (cd "$programs/MiniTarvik" && find . -type f ! -name '*.ran' -exec md5sum {} + | sort -k 2); }

install_run english C 1033
install_tree >"$work/tree-deflate"
install_run chinese zh_CN.UTF-8 2052
# At 144 DPI, for programs started from now on; then back to 96.
dpi=144
set_gui_dpi "$wine_run" "$wine_root" $dpi || fail "could not set $dpi DPI"
install_run english-144dpi C 1033
dpi=96
set_gui_dpi "$wine_run" "$wine_root" $dpi || fail "could not set $dpi DPI"

# The same installer sealed with Zstandard installs the same tree.
quiet "$tool" build --zstd "$work/plain/SetupTarvik.exe" "$work/run/SetupTarvik-zstd.exe" --app "$work/app" \
    --drivers "$drivers" --language "$work/Language.zip" || fail "could not build the installer with --zstd"
rm -rf "$programs/MiniTarvik"
install_run zstd C 1033 SetupTarvik-zstd.exe
check
install_tree | cmp -s - "$work/tree-deflate" || fail "zstd: the install tree differs from the deflated installer's"

# Closing ends the installer with exit code 0 in each state: waiting, ready and installed.
# A "Language" folder beside the executable is used instead of the payload's archive.
locale=C
mkdir -p "$work/run/Language"
printf '[Strings]\r\n{Please connect Mini Tarvik Device to this PC...}=Plug in the engraver\r\n' \
    >"$work/run/Language/Language_1033.txt"
temp_languages=$(find "$prefix/drive_c/users" -maxdepth 3 -iname temp -type d | head -n 1)/MyLanguage
for state in waiting ready installed; do
    rm -rf "$temp_languages"
    start SetupTarvik.exe C
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Install Mini Tarvik$' 2>/dev/null | head -n 1)
    check
    if [ -z "$window" ] || ! wait_for 10 TLabel "Plug in the engraver"; then
        fail "close while $state: no window using the Language folder"
        continue
    fi
    [ -e "$temp_languages" ] && fail "close while $state: the payload's language archive was unpacked"
    if [ "$state" != waiting ]; then
        quiet runner reg add "$adapter_key" /v HardwareID /t REG_MULTI_SZ /d 'USB\VID_067B&PID_2303&REV_0300' /f
        quiet runner reg add "$adapter_key" /v ClassGUID /d '{4D36E978-E325-11CE-BFC1-08002BE10318}' /f
        wait_for 3 TLabel "Ready to install" || fail "close while $state: not ready"
    fi
    if [ "$state" = installed ]; then
        click TSkinButton
        wait_for 20 TLabel "Installed success!" || fail "close while $state: not installed"
    fi
    xdotool windowfocus --sync "$window" key alt+F4
    finished_within 20 && [ "$(cat "$work/rc")" = 0 ] || fail "close while $state: exit code $(cat "$work/rc" 2>/dev/null)"
    unplug
done
rm -rf "$work/run/Language"

# Windows versions: 5.0, 5.2 and 6.0 are refused with the message and exit code 0; XP, 7, 8
# and 10 (which reports 6.2, as the manifest declares nothing newer than 8) proceed.
for version in win2k:refused win2003:refused vista:refused winxp:waits win7:waits win8:waits win10:waits; do
    wine_version=${version%%:*} expected=${version#*:}
    exe="Version-$wine_version.exe"
    cp "$work/run/SetupTarvik.exe" "$work/run/$exe"
    quiet runner reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$wine_version" /f
    start "$exe" C
    check
    if [ "$expected" = refused ]; then
        message=""
        for _ in $(seq 40); do
            read_window && message=$(awk -F'\t' '$1 == "Static" && $5 != "" { print $5 }' "$work/window.txt" | tr -d '\r')
            [ -n "$message" ] && break
            sleep 0.25
        done
        box=$(timeout 10 xdotool search --onlyvisible --name '^Install Mini Tarvik$' 2>/dev/null | tail -n 1)
        if [ "$message" = "Not supported OS! We support WinXP or Win7 only!" ]; then
            [ "$wine_version" = vista ] && shot "$box" "version-refused"
            click Button
            finished_within 20 && [ "$(cat "$work/rc")" = 0 ] ||
                fail "$wine_version: exit code $(cat "$work/rc" 2>/dev/null) after the message"
        else
            fail "$wine_version: no unsupported-system message"
        fi
    else
        if wait_for 15 TLabel "Please connect Mini Tarvik Device to this PC..." && [ ! -f "$work/rc" ]; then
            window=$(timeout 10 xdotool search --onlyvisible --name '^Install Mini Tarvik$' 2>/dev/null | head -n 1)
            xdotool windowfocus --sync "$window" key alt+F4
            finished_within 20 || fail "$wine_version: did not close"
        else
            fail "$wine_version: the window did not wait for the device"
        fi
    fi
    quiet runner reg delete "HKCU\\Software\\Wine\\AppDefaults\\$exe" /f
done

echo "$((checks - failures)) of $checks checks passed; screenshots in $shots"
exit $((failures > 0))
