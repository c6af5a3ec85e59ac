#!/usr/bin/env bash
# The whole product in one command: builds the installer and the sample application, packs the
# sample with the builder under Wine, signs the result, and runs the installer with a simulated
# PL2303 adapter in an X server, clicking through it and saving a screenshot of each state,
# in English and then again in the Chinese locale, and once more sealed with Zstandard by the
# Linux tool. Where this machine cannot run 32-bit programs, it shows the same code built for
# 64-bit Windows in a 64-bit prefix instead (scripts/windows-arch.sh; TARVIK_WINDOWS_ARCH=32|64
# chooses), and says so at the top and in its summary.
# Results in build/demo/: SetupTarvik.exe, screens/, prefix/, summary.txt. Run as root on a
# fresh Debian 12 (it installs what it needs first); running it again starts afresh.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/windows-arch.sh
windows_arch || exit 1
if [ "$TARVIK_WINDOWS_ARCH" = 32 ]; then
    shown="the 32-bit installer, as it ships ($windows_arch_why)"
else
    shown="the 64-bit build of the installer's code in a 64-bit prefix, not the 32-bit installer that ships ($windows_arch_why)"
fi
echo "== Showing $shown"
if [ "$(id -u)" = 0 ]; then bash scripts/setup.sh; else sudo bash scripts/setup.sh; fi || exit 1

win="$top/$windows_build"
demo="$top/build/demo"
wine_root="$demo/wine"
prefix="$wine_root/prefix$TARVIK_WINDOWS_ARCH"
started=$(date +%s)
failures=0
step() { printf '\n== %s\n' "$*"; }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
runner() { "$top/cmake/wine-run.sh" --root "$wine_root" --version win7 "$@"; }

# A previous run's Wine server holds the old prefix: end it before starting afresh.
[ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k 2>/dev/null
rm -rf "$demo"
mkdir -p "$demo/screens"

step "Building the installer, the sample application and the tools"
cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain" >/dev/null || exit 1
cmake --build "$win" -j "$(nproc)" --target SetupTarvik tarvik-payload sample_stage || exit 1
tool="$win/host/tools/tarvik-payload"

# The window tests' X server and prefix set-up.
. "$top/tests/skin/gui_prefix.sh"
# The X server first: Wine binds a running prefix to the display of its first process.
XVFB_PID=""
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb "$demo" || { echo "no X server"; exit 1; }
fi
finish() {
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -f "$demo/display"
}
trap finish EXIT

step "Wine prefix (Windows 7) with E: mapped into build/demo/drive-e"
# Made in the locale the window tests make theirs in: a prefix made under the Chinese locale
# and then used under another draws every title bar as a row of boxes. Each program then runs
# in the locale it needs; Wine follows the locale of the program it starts.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# The prefix with the window's fonts, as every Windows has them.
prepare_gui_prefix "$top/cmake/wine-run.sh" "$wine_root" || fail "the Wine prefix could not be prepared"
ln -sfn "wine/prefix$TARVIK_WINDOWS_ARCH" "$demo/prefix"
laser="$demo/drive-e/Orvanet/激光"
mkdir -p "$laser/MyTarvik"
cp -r "$win/sample/Run" "$laser/Run"
ln -sfn "$demo/drive-e" "$prefix/dosdevices/e:"

step "Builder (code page 936): E:\\Orvanet\\激光\\Run -> E:\\Orvanet\\激光\\MyTarvik\\SetupTarvik.exe"
cp -r "$win/sample/builder" "$demo/builder"
(cd "$demo/builder" && LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 timeout 300 "$top/cmake/wine-run.sh" --root "$wine_root" --version win7 SetupTarvik.exe >/dev/null 2>&1)
code=$?
echo "builder exit code: $code"
[ "$code" = 0 ] || fail "the builder ended with exit code $code (see build/demo/builder/SetupTarvik.log)"

step "Release step: signing with a certificate made for this demo"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$demo/demo-key.pem" -out "$demo/demo-cert.pem" -days 2 \
    -subj "/CN=Mini Tarvik demo" >/dev/null 2>&1
osslsigncode sign -certs "$demo/demo-cert.pem" -key "$demo/demo-key.pem" -n "Mini Tarvik Setup" \
    -in "$laser/MyTarvik/SetupTarvik.exe" -out "$demo/SetupTarvik.exe" >/dev/null || fail "signing"
osslsigncode verify -CAfile "$demo/demo-cert.pem" -in "$demo/SetupTarvik.exe" 2>&1 | grep -E '^Signature verification' \
    || fail "the signed installer does not verify"

step "Installer with a simulated PL2303 adapter on display $DISPLAY"
shot() { import -window "$1" "$demo/screens/$2.png" 2>/dev/null && echo "screen: $2" || fail "no screenshot of $2"; }
wait_for() {  # wait_for SECONDS COMMAND...: true once COMMAND succeeds
    local limit=$1; shift
    for _ in $(seq $((limit * 10))); do "$@" && return 0; sleep 0.1; done
    return 1
}
desktop_shortcut() { find "$prefix/drive_c/users" -path '*Desktop*' -name '*.lnk' 2>/dev/null | grep -q .; }
# The install is whole once its journal is gone, and done once the older files it kept are
# gone too; the shortcuts come before both.
install_done() {
    desktop_shortcut && [ ! -e "$prefix/drive_c/ProgramData/MiniTarvik/Uninstall/InstallJournal.xml" ] &&
        [ ! -e "$prefix/drive_c/Program Files/MiniTarvik/.tarvik-kept" ]
}
usb='HKLM\System\CurrentControlSet\Enum\USB\VID_067B&PID_2303\5&1234&0&1'
# A search that meets a window going away in the middle (the installer's, as it ends) fails at
# once: asked again each second, up to a minute.
visible() {  # visible TITLE_REGEX: the first visible window of that title
    local found
    for _ in $(seq 60); do
        found=$(timeout 5 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 1
    done
    return 1
}
# The install button's centre: client (189, 206) inside Wine's own frame at (3, 22).
click_button() { xdotool mousemove --window "$1" 192 228 sleep 0.3 click 1; }
# The progress bar's middle row: client (11..329, 127), inside the same frame, in blue.
bar_pixels() {  # bar_pixels PNG: how many of the bar's 319 inner pixels are filled
    /usr/bin/convert "$1" -crop 319x1+14+149 +repage txt:- 2>/dev/null | grep -ci '#0000FF'
}
# Screenshots while the copy runs until one shows the bar between a third and two thirds.
halfway_shot() {  # halfway_shot WINDOW NAME
    local filled
    for _ in $(seq 400); do
        import -window "$1" "$demo/screens/.progress.png" 2>/dev/null || continue
        filled=$(bar_pixels "$demo/screens/.progress.png")
        if [ "$filled" -ge 106 ] && [ "$filled" -le 212 ]; then
            mv "$demo/screens/.progress.png" "$demo/screens/$2.png"
            echo "screen: $2 (bar $filled of 319 pixels)"
            return 0
        fi
        desktop_shortcut && break
    done
    rm -f "$demo/screens/.progress.png"
    fail "no screenshot of the bar half-way"
}
# The close box while the copy runs asks "Cancel the installation?" before it does anything;
# the demo answers No (the letter key), and the copy goes on. The box is clicked, as a person
# does: the keyboard's focus may be on the updater's console then.
close_asks() {  # close_asks WINDOW SCREEN_NAME
    local box=
    xdotool mousemove --window "$1" 368 12 sleep 0.3 click 1
    for _ in $(seq 50); do
        box=$(timeout 5 xdotool search --onlyvisible --name "$(xdotool getwindowname "$1")" 2>/dev/null |
            grep -vx "$1" | head -n 1)
        [ -n "$box" ] && break
        sleep 0.1
    done
    [ -n "$box" ] || { fail "the close box did not ask while copying"; return; }
    sleep 0.5
    shot "$box" "$2"
    xdotool windowfocus --sync "$box" key n
}
plug() {  # the instance key with its class last, as Windows lists it
    runner reg add "$usb" /v HardwareID /t REG_MULTI_SZ /d 'USB\Vid_067b&Pid_2303' /f >/dev/null 2>&1
    runner reg add "$usb" /v DeviceDesc /d 'Prolific USB-to-Serial Comm Port' /f >/dev/null 2>&1
    runner reg add "$usb" /v ClassGUID /d '{4D36E978-E325-11CE-BFC1-08002BE10318}' /f >/dev/null 2>&1
}
click_through() {  # click_through TITLE SCREEN_PREFIX
    local window app
    window=$(visible "$1")
    [ -n "$window" ] || { fail "no installer window"; return; }
    sleep 1.5
    shot "$window" "$2"1-waiting
    plug
    sleep 3
    shot "$window" "$2"2-ready
    click_button "$window"
    sleep 0.3
    shot "$window" "$2"3-installing
    halfway_shot "$window" "$2"4-halfway
    [ -z "$2" ] && close_asks "$window" 4-close-question
    wait_for 180 install_done || fail "the installation did not finish"
    sleep 1.5
    shot "$window" "$2"5-installed
    click_button "$window"
    app=$(visible '^Mini Tarvik$')
    [ -n "$app" ] || { fail "the installed application did not start"; return; }
    sleep 1.5
    shot "$app" "$2"6-launched
    xdotool windowfocus --sync "$app" key alt+F4
}
# install LOCALE TITLE SCREEN_PREFIX [EXE]: one run of the installer (SetupTarvik.exe unless
# given), clicked through; its exit code must be 0 (the final button ends it so).
install() {
    rm -f "$demo/.installer-rc"
    (cd "$demo" && LANG=$1 LC_ALL=$1 runner "${4:-SetupTarvik.exe}" >/dev/null 2>&1; echo $? > "$demo/.installer-rc") &
    LANG=$1 LC_ALL=$1 click_through "$2" "$3"
    wait_for 30 test -f "$demo/.installer-rc" || fail "the installer did not end"
    local code
    code=$(cat "$demo/.installer-rc" 2>/dev/null)
    echo "installer exit code: ${code:-none}"
    [ "$code" = 0 ] || fail "the installer ended with exit code ${code:-none}"
}
install C.UTF-8 '^Install Mini Tarvik$' ""
service=$(runner reg query "$usb" /v Service 2>/dev/null | tr -d '\r' | awk '/Service/ {print $3}')
# The package's 32-bit model on 32-bit Windows 7; in the 64-bit prefix its 64-bit one, which the
# 64-bit updater installs.
expected_service=Ser2pl
[ "$TARVIK_WINDOWS_ARCH" = 64 ] && expected_service=Ser2pl64
echo "driver service of the adapter: ${service:-none}"
[ "$service" = "$expected_service" ] || fail "the adapter's driver service is '${service:-none}', not $expected_service"
step "Install tree against the sample minus the files the builder skips"
installed="$prefix/drive_c/Program Files/MiniTarvik"
compare_tree() {  # compare_tree DIFF_NAME
    mkdir -p "$demo/expected" && cp -r "$win/sample/Run/." "$demo/expected/"
    find "$demo/expected" -type f \( -iname '*.tds' -o -iname '*.log' \) -delete
    if diff -r "$demo/expected" "$installed" >"$demo/$1" 2>&1; then
        echo "install tree: identical ($(find "$installed" -type f | wc -l) files)"
    else
        fail "install tree differs from the sample (build/demo/$1)"
    fi
    rm -rf "$demo/expected"
}
compare_tree install-diff.txt

step "Installer again in the Chinese locale (code page 936), over the installed tree"
# The adapter unplugged, so the run starts by waiting for it again; the shortcuts are made
# again under their Chinese names, and the desktop one marks the end.
runner reg delete "$usb" /f >/dev/null 2>&1
find "$prefix/drive_c/users" -path '*Desktop*' -name '*.lnk' -delete 2>/dev/null
install zh_CN.UTF-8 '^安装 Mini Tarvik$' zh-

step "Installer sealed with Zstandard by the Linux tool (build --zstd), on a fresh install tree"
"$tool" build --zstd "$win/src/installer/SetupTarvik.exe" "$demo/SetupTarvik-zstd.exe" --app "$win/sample/Run" \
    --drivers "$win/sample/builder/drivers" --language "$win/sample/builder/Language.zip" 2>/dev/null \
    || fail "tarvik-payload build --zstd"
runner reg delete "$usb" /f >/dev/null 2>&1
find "$prefix/drive_c/users" -path '*Desktop*' -name '*.lnk' -delete 2>/dev/null
rm -rf "$installed"
install C.UTF-8 '^Install Mini Tarvik$' zstd- SetupTarvik-zstd.exe
compare_tree install-diff-zstd.txt

step "Programs and Features entry (the install stays in place)"
entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MiniTarvik'
entry=$(runner reg query "$entry_key" /reg:32 2>/dev/null | tr -d '\r' | grep 'REG_')
uninstall_command=$(awk '$1 == "UninstallString" {sub(/^ *UninstallString +REG_SZ +/, ""); print}' <<<"$entry")
[ -n "$uninstall_command" ] || fail "no Programs and Features entry with an uninstall command"

{
    step "Summary"
    echo "shown:         $shown"
    echo "installer:     build/demo/SetupTarvik.exe ($(stat -c %s "$demo/SetupTarvik.exe" 2>/dev/null) bytes, signed)"
    echo "with --zstd:   build/demo/SetupTarvik-zstd.exe ($(stat -c %s "$demo/SetupTarvik-zstd.exe" 2>/dev/null) bytes)"
    echo "stub:          $(stat -c %s "$win/src/installer/SetupTarvik.exe") bytes ($windows_build/src/installer/SetupTarvik.exe)"
    echo "screenshots:   $(cd "$demo" && ls screens/*.png 2>/dev/null | tr '\n' ' ')"
    echo "install tree:  build/demo/prefix/drive_c/Program Files/MiniTarvik"
    echo "logs:          build/demo/builder/SetupTarvik.log (builder), build/demo/SetupTarvik.log (installer)"
    echo "time:          $(($(date +%s) - started)) s"
    echo "failures:      $failures"
    echo
    echo "Programs and Features entry ($entry_key, 32-bit view):"
    echo "${entry:-    (missing)}"
    echo "uninstall command: ${uninstall_command:-none}"
    echo
    echo "tarvik-payload list build/demo/SetupTarvik.exe:"
    "$tool" list "$demo/SetupTarvik.exe" | head -n 8
    echo "... ($("$tool" list "$demo/SetupTarvik.exe" | tail -n +2 | wc -l) entries)"
} | tee "$demo/summary.txt"
exit $(( failures > 0 ))
