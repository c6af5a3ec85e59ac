#!/usr/bin/env bash
# SetupTarvik.exe started for real under Wine in an X server: which mode each kind of file
# selects, the one message of a failed load (before the window, or over it when the damage lies
# behind the part the window needs), and the exit code of every path.
#   startup_e2e.sh WINE_RUN WINE_ROOT SETUPTARVIK_EXE TARVIK_PAYLOAD_EXE
# WINE_ROOT must be a root of its own: Wine binds a prefix's desktop to the display of the first
# process that opens it, so window tests never share a running prefix with other tests.
# Every wait is bounded: a program that hangs is killed and counted as a failure.
set -u
wine_run=$1 wine_root=$2 setup=$3 tool=$4
run_limit=90      # seconds any one program may run, message boxes and windows included
wait_limit=30     # seconds to wait for a window or for the end of a program
runner() { "$wine_run" --root "$wine_root" "$@"; }
work=$(mktemp -d)
failures=0 cases=0 runs=()
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
stop() {
    WINEPREFIX="$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}" timeout 30 wineserver -k 2>/dev/null
    kill $xvfb 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display" 2>/dev/null)
# Without a server every window check below would pass for want of windows.
if [ "$DISPLAY" = : ] || ! timeout 10 xdpyinfo >/dev/null 2>&1; then
    echo "FAIL: the X server did not come up"
    exit 1
fi

# The number of visible windows, or "unknown" when the search itself failed.
visible_windows() {
    local found rc
    found=$(timeout 10 xdotool search --onlyvisible --name '.' 2>/dev/null); rc=$?
    # 1 is the search's "nothing found"; anything else but 0 leaves the count unknown.
    if [ $rc -gt 1 ]; then echo unknown; return; fi
    printf '%s' "$found" | grep -c .
}
# The first visible window with the caption, waited for within the limit; empty when none.
window_named() { timeout $wait_limit xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
# Client and frame size of a window as "WIDTH HEIGHT".
window_size() { timeout 10 xwininfo -id "$1" 2>/dev/null | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w+0, h+0}'; }
# Sends a key to a window once it has the focus; false when it could not be focused.
send_key() { timeout 10 xdotool windowfocus --sync "$1" && timeout 10 xdotool key "$2"; }

# Runs the program in its folder, killed when it runs past the limit; records its exit code in
# $work/rc when it ends.
start() {  # start FOLDER EXE
    rm -f "$work/rc"
    (cd "$1" && timeout -k 5 $run_limit "$wine_run" --root "$wine_root" "$2" >/dev/null 2>&1; echo $? > "$work/rc") &
    runs+=($!)
}
finished_within() {  # seconds
    for _ in $(seq $(($1 * 10))); do [ -f "$work/rc" ] && return 0; sleep 0.1; done
    return 1
}
exit_code() { cat "$work/rc" 2>/dev/null; }
screenshot() { timeout 10 import -window root "$work/shot.png" 2>/dev/null && cp "$work/shot.png" "${E2E_SCREENSHOTS:-$work}/$1" 2>/dev/null; }

mkdir -p "$work/plain" "$work/installer" "$work/damaged"
cp "$setup" "$work/plain/SetupTarvik.exe"
cp "$tool" "$work/tarvik-payload.exe"
printf 'sample' > "$work/entry.txt"
(cd "$work" && timeout $run_limit "$wine_run" --root "$wine_root" tarvik-payload.exe pack plain/SetupTarvik.exe \
    installer/Renamed.exe MyLangage=entry.txt) || fail "could not pack an installer"
cp "$work/installer/Renamed.exe" "$work/damaged/damaged.exe"
size=$(stat -c %s "$work/damaged/damaged.exe")
printf '\xff\xff\xff\xff' | dd of="$work/damaged/damaged.exe" bs=1 seek=$((size - 40)) conv=notrunc 2>/dev/null

# No payload: the builder, no window; with no application folder to pack it writes nothing
# and ends with exit code 1.
cases=$((cases + 1))
start "$work/plain" SetupTarvik.exe
finished_within $wait_limit || fail "plain executable did not end"
[ "$(exit_code)" = 1 ] || fail "plain executable exit code $(exit_code)"
windows=$(visible_windows)
[ "$windows" = 0 ] || fail "plain executable: $windows visible windows, none expected"

# A payload under another file name: installer mode, the dialog "Install Mini Tarvik" (client
# area 376 x 244, larger than any message box) stays open until Alt+F4 closes it with exit code 0.
cases=$((cases + 1))
start "$work/installer" Renamed.exe
dialog=$(window_named '^Install Mini Tarvik$')
if [ -z "$dialog" ]; then
    fail "installer showed no window \"Install Mini Tarvik\" within $wait_limit s (exit code $(exit_code))"
else
    read -r width height <<<"$(window_size "$dialog")"
    [ "$width" -ge 376 ] && [ "$height" -ge 244 ] || fail "installer window is ${width}x${height}, not the dialog"
    [ -f "$work/rc" ] && fail "installer ended while its window was open"
    screenshot installer-window.png
    send_key "$dialog" alt+F4 || fail "installer window could not be focused"
    finished_within $wait_limit || fail "installer did not end after Alt+F4"
    [ "$(exit_code)" = 0 ] || fail "installer exit code $(exit_code)"
fi
finished_within $wait_limit || fail "installer still running"

# A language folder beside the installer is anybody's: a megabyte of translation for the waiting
# text is cut to 4,095 bytes, so the window still answers at once (uncut, measuring and drawing
# it on every paint froze the window for half a minute). The bound is loose on purpose: the
# point is a window that answers, not a speed.
cases=$((cases + 1))
mkdir -p "$work/hugetext/Language"
cp "$work/installer/Renamed.exe" "$work/hugetext/Renamed.exe"
{ printf '[Setting]\r\nFontName=Tahoma\r\nFontSize=8\r\n[Strings]\r\n'
  printf '{Please connect Mini Tarvik Device to this PC...}='; head -c 1048576 /dev/zero | tr '\0' 'W'; printf '\r\n'
} > "$work/hugetext/Language/Language_1033.txt"
start "$work/hugetext" Renamed.exe
dialog=$(window_named '^Install Mini Tarvik$')
if [ -z "$dialog" ]; then
    fail "installer with a huge translation showed no window (exit code $(exit_code))"
else
    sleep 1
    send_key "$dialog" alt+F4 || fail "installer with a huge translation could not be focused"
    finished_within 5 || fail "installer with a huge translation did not end within 5 s of Alt+F4"
fi
finished_within $wait_limit || fail "installer with a huge translation still running"

# A damaged payload shows one message box (smaller than the installer's dialog, which has the
# same caption) and ends with exit code 0 once it is dismissed, whatever lies in the current
# folder: nothing alone, an older installer, or a plain stub (which would run the builder).
expect_load_failure() {  # expect_load_failure FOLDER EXE WHAT
    cases=$((cases + 1))
    start "$1" "$2"
    local box width height
    box=$(window_named '^Install Mini Tarvik$')
    if [ -z "$box" ]; then
        fail "$3: no message box for a damaged payload (exit code $(exit_code))"
    else
        read -r width height <<<"$(window_size "$box")"
        [ "$width" -lt 376 ] || [ "$height" -lt 244 ] || fail "$3: the installer's dialog opened, not the message"
        [ -f "$work/rc" ] && fail "$3: process ended while its message box was open"
        screenshot "damaged-payload-$4.png"
        send_key "$box" Return || fail "$3: message box could not be focused"
        finished_within $wait_limit || fail "$3: damaged installer did not end after the message"
        [ "$(exit_code)" = 0 ] || fail "$3: damaged installer exit code $(exit_code)"
    fi
    finished_within $wait_limit || fail "$3: damaged installer still running"
    compgen -G "$1/*.log" >/dev/null && fail "$3: a log was written beside it (the builder ran)"
    return 0
}
expect_load_failure "$work/damaged" damaged.exe "damaged payload alone" alone

mkdir -p "$work/older" "$work/stub"
cp "$work/damaged/damaged.exe" "$work/older/damaged.exe"
cp "$work/installer/Renamed.exe" "$work/older/SetupTarvik.exe"
expect_load_failure "$work/older" damaged.exe "damaged payload beside an older installer" older
cp "$work/damaged/damaged.exe" "$work/stub/damaged.exe"
cp "$setup" "$work/stub/SetupTarvik.exe"
expect_load_failure "$work/stub" damaged.exe "damaged payload beside a plain stub" stub

# A truncated download (the file cut half-way through its payload) beside an older installer.
mkdir -p "$work/truncated"
size=$(stat -c %s "$work/installer/Renamed.exe")
head -c $((size - 20)) "$work/installer/Renamed.exe" > "$work/truncated/SetupTarvik (1).exe"
cp "$work/installer/Renamed.exe" "$work/truncated/SetupTarvik.exe"
expect_load_failure "$work/truncated" "SetupTarvik (1).exe" "truncated download beside an older installer" truncated

# Damage behind the language archive of a large payload shows only once the rest has loaded
# behind the open window: the dialog first, then the same message over it, exit code 0 once it
# is dismissed, and nothing installed.
cases=$((cases + 1))
mkdir -p "$work/late"
head -c $((64 << 20)) /dev/urandom > "$work/big.bin"
(cd "$work" && timeout $run_limit "$wine_run" --root "$wine_root" tarvik-payload.exe pack plain/SetupTarvik.exe \
    late/SetupTarvik.exe MyLangage=entry.txt win7_big=big.bin) || fail "could not pack a large installer"
size=$(stat -c %s "$work/late/SetupTarvik.exe")
printf '\xff' | dd of="$work/late/SetupTarvik.exe" bs=1 seek=$((size - 100000)) conv=notrunc 2>/dev/null
start "$work/late" SetupTarvik.exe
dialog=$(window_named '^Install Mini Tarvik$')
read -r width height <<<"$(window_size "${dialog:-0}")"
if [ -z "$dialog" ] || [ "$width" -lt 376 ] || [ "$height" -lt 244 ]; then
    fail "damaged behind the window: the dialog did not open first (exit code $(exit_code))"
else
    box=""
    for _ in $(seq $((wait_limit * 4))); do
        for candidate in $(timeout 10 xdotool search --onlyvisible --name '^Install Mini Tarvik$' 2>/dev/null); do
            [ "$candidate" = "$dialog" ] || box=$candidate
        done
        [ -n "$box" ] && break
        sleep 0.25
    done
    if [ -z "$box" ]; then
        fail "damaged behind the window: no message box over the window (exit code $(exit_code))"
    else
        read -r width height <<<"$(window_size "$box")"
        [ "$width" -lt 376 ] || [ "$height" -lt 244 ] || fail "damaged behind the window: a second dialog, not the message"
        timeout 10 xdotool search --onlyvisible --name '^Install Mini Tarvik$' 2>/dev/null | grep -qx "$dialog" ||
            fail "damaged behind the window: the window was gone under the message"
        screenshot damaged-behind-window.png
        send_key "$box" Return || fail "damaged behind the window: message box could not be focused"
        finished_within $wait_limit || fail "damaged behind the window: did not end after the message"
        [ "$(exit_code)" = 0 ] || fail "damaged behind the window: exit code $(exit_code)"
    fi
fi
finished_within $wait_limit || fail "damaged behind the window: still running"
installed="$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}/drive_c/Program Files/MiniTarvik"
[ -e "$installed/Emberlin.exe" ] && fail "damaged behind the window: something was installed"

# A run still going after its waits ends by its own limit at the latest.
wait "${runs[@]}"
echo "$cases cases, $failures failures"
exit $(( failures > 0 ))
