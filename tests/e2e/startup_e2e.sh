#!/usr/bin/env bash
# SetupTarvik.exe started for real under Wine in an X server: which mode each kind of file
# selects, the one message of a failed load, and the exit code of every path.
#   startup_e2e.sh WINE_RUN WINE_ROOT SETUPTARVIK_EXE TARVIK_PAYLOAD_EXE
# WINE_ROOT must be a root of its own: Wine binds a prefix's desktop to the display of the first
# process that opens it, so window tests never share a running prefix with other tests.
set -u
wine_run=$1 wine_root=$2 setup=$3 tool=$4
runner() { "$wine_run" --root "$wine_root" "$@"; }
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
stop() {
    WINEPREFIX="$wine_root/prefix32" wineserver -k 2>/dev/null
    kill $xvfb 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

visible_windows() { xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l; }

# Runs the program in its folder; records its exit code in $work/rc when it ends.
start() {  # start FOLDER EXE
    rm -f "$work/rc"
    (cd "$1" && runner "$2" >/dev/null 2>&1; echo $? > "$work/rc") &
}
finished_within() {  # seconds
    for _ in $(seq $(($1 * 10))); do [ -f "$work/rc" ] && return 0; sleep 0.1; done
    return 1
}

mkdir -p "$work/plain" "$work/installer" "$work/damaged" "$work/fallback"
cp "$setup" "$work/plain/SetupTarvik.exe"
cp "$tool" "$work/tarvik-payload.exe"
printf 'sample' > "$work/entry.txt"
(cd "$work" && runner tarvik-payload.exe pack plain/SetupTarvik.exe installer/Renamed.exe MyLangage=entry.txt) \
    || fail "could not pack an installer"
cp "$work/installer/Renamed.exe" "$work/damaged/damaged.exe"
size=$(stat -c %s "$work/damaged/damaged.exe")
printf '\xff\xff\xff\xff' | dd of="$work/damaged/damaged.exe" bs=1 seek=$((size - 40)) conv=notrunc 2>/dev/null

# No payload: the builder, no window; with no application folder to pack it writes nothing and
# ends with exit code 1.
start "$work/plain" SetupTarvik.exe
finished_within 30 || fail "plain executable did not end"
[ "$(cat "$work/rc" 2>/dev/null)" = 1 ] || fail "plain executable exit code $(cat "$work/rc" 2>/dev/null)"
[ "$(visible_windows)" = 0 ] || fail "plain executable showed a window"

# A payload under another file name: installer mode (it ends quietly until it has a window).
start "$work/installer" Renamed.exe
finished_within 30 || fail "installer did not end"
[ "$(cat "$work/rc" 2>/dev/null)" = 0 ] || fail "installer exit code $(cat "$work/rc" 2>/dev/null)"

# Damaged payload, no fallback file: one message box, then exit code 0 once it is dismissed.
start "$work/damaged" damaged.exe
box=$(timeout 30 xdotool search --sync --onlyvisible --name '^Install Mini Tarvik$' 2>/dev/null | head -n 1)
if [ -z "$box" ]; then
    fail "no message box for a damaged payload"
else
    [ -f "$work/rc" ] && fail "process ended while its message box was open"
    import -window root "$work/box.png" 2>/dev/null && cp "$work/box.png" "${E2E_SCREENSHOTS:-$work}/damaged-payload.png" 2>/dev/null
    xdotool windowfocus --sync "$box" key Return
    finished_within 30 || fail "damaged installer did not end after the message"
    [ "$(cat "$work/rc" 2>/dev/null)" = 0 ] || fail "damaged installer exit code $(cat "$work/rc" 2>/dev/null)"
fi

# Damaged payload with a plain SetupTarvik.exe in the current folder: that file decides (builder).
cp "$work/damaged/damaged.exe" "$work/fallback/damaged.exe"
cp "$setup" "$work/fallback/SetupTarvik.exe"
start "$work/fallback" damaged.exe
finished_within 30 || fail "fallback run did not end"
[ "$(cat "$work/rc" 2>/dev/null)" = 1 ] || fail "fallback run exit code $(cat "$work/rc" 2>/dev/null)"
[ "$(visible_windows)" = 0 ] || fail "fallback run showed a window"

echo "$(( 4 - (failures > 4 ? 4 : failures) )) passed, $failures failed"
exit $(( failures > 0 ))
