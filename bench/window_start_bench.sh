#!/usr/bin/env bash
# How soon the installer's window is on screen: SetupTarvik.exe under Wine in a private X
# server, with a 1 MB application (the reference) and a 300 MB one, each sealed with deflate and
# with Zstandard; the median, least and most of five starts each, the installers taking turns so
# that a machine slowing down for a while weighs on every line alike. Each start is closed as
# soon as its window shows, while its payload may still be loading. Then the peak memory of a
# start whose payload has loaded whole behind the window, above the reference's, against the
# aim of file + 1.05 x unpacked.
#   bench/window_start_bench.sh [BUILD_DIR]     (default: build64 in the 64-bit mode, else build)
# The application trees and installers are made once in BUILD_DIR/bench-window and kept.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/windows-arch.sh"
windows_arch
build=$(cd "${1:-$top/$windows_build}" && pwd)
export TARVIK_WINDOWS_ARCH
runs=5
wine_run=$top/cmake/wine-run.sh
root=$build/wine/bench
work=$build/bench-window
tool=$build/host/tools/tarvik-payload
stage=$build/sample/builder
mkdir -p "$work"

# A deterministic application tree of about SIZE bytes: Emberlin.exe and files of 4 KiB to
# 8 MiB, each half bytes no compressor shrinks and half text-like bytes, as an application's
# mix of compressed resources and programs.
make_app() {  # make_app FOLDER SIZE
    [ -f "$1.done" ] && return
    rm -rf "$1" && mkdir -p "$1"
    cp "$build/sample/Run/Emberlin.exe" "$1/"
    python3 - "$1" "$2" <<'EOF'
import os, random, sys
root, total = sys.argv[1], int(sys.argv[2])
rng = random.Random(total)
letters = b"etaoinshrdlucmfwypvbgkqjxz ,.\r\n"
text = bytes(letters[i % len(letters)] for i in range(256))
written = n = 0
while written < total:
    size = min(total - written, rng.choice([4 << 10, 60 << 10, 300 << 10, 2 << 20, 8 << 20]))
    folder = os.path.join(root, "data", "d%02d" % (n % 40))
    os.makedirs(folder, exist_ok=True)
    half = size // 2
    with open(os.path.join(folder, "f%05d.bin" % n), "wb") as f:
        f.write(rng.randbytes(half) + rng.randbytes(size - half).translate(text))
    written += size
    n += 1
EOF
    touch "$1.done"
}

make_installer() {  # make_installer APP OUT [--zstd]
    [ -f "$work/$2" ] && return
    "$tool" build ${3:-} "$stage/SetupTarvik.exe" "$work/$2.new" --app "$work/$1" --drivers "$stage/drivers" \
        --language "$stage/Language.zip" >/dev/null
    mv "$work/$2.new" "$work/$2"
}

echo "Making the application trees and installers (once)..."
make_app "$work/app-1mb" $((512 << 10))
make_app "$work/app-300mb" $((300 << 20))
make_installer app-1mb small-deflate.exe
make_installer app-1mb small-zstd.exe --zstd
make_installer app-300mb large-deflate.exe
make_installer app-300mb large-zstd.exe --zstd
installers=(small-deflate.exe large-deflate.exe small-zstd.exe large-zstd.exe)

. "$top/tests/skin/gui_prefix.sh"
stop() {
    WINEPREFIX="$root/prefix$TARVIK_WINDOWS_ARCH" timeout 30 wineserver -k 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    rm -f "$work/display" "$work/rc"
}
trap stop EXIT
start_xvfb "$work" || { echo "no X server"; exit 1; }
prepare_gui_prefix "$wine_run" "$root" || { echo "the Wine prefix could not be prepared"; exit 1; }

# The installer's window, once it is visible; polled every 20 ms (xdotool's own wait polls
# every half second, too coarse here).
window_of() {  # window_of LIMIT_SECONDS
    local found
    for _ in $(seq $(($1 * 50))); do
        found=$(xdotool search --onlyvisible --name '^Install Mini Tarvik$' 2>/dev/null | head -n 1) || true
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.02
    done
    return 1
}
launch() {  # launch EXE: in the background; its exit code goes to $work/rc
    rm -f "$work/rc"
    (cd "$work" && timeout -k 5 120 "$wine_run" --root "$root" "$1" >/dev/null 2>&1; echo $? >"$work/rc") &
}
close() {  # close WINDOW: Alt+F4, then waits (30 s at most) for the end
    xdotool windowfocus --sync "$1" key alt+F4 2>/dev/null || true
    for _ in $(seq 300); do [ -f "$work/rc" ] && return 0; sleep 0.1; done
    echo "the installer did not end after Alt+F4" >&2
    return 1
}
# Seconds from the start to the visible window.
time_start() {  # time_start EXE
    local t0 t1 window
    launch "$1"
    t0=$(date +%s.%N)
    window=$(window_of 60) || { echo "no window from $1" >&2; exit 1; }
    t1=$(date +%s.%N)
    close "$window"
    echo "$t1 - $t0" | bc
}
stats() { sort -n | awk '{v[NR] = $1} END {printf "%.2f s  (%.2f to %.2f)", v[int((NR + 1) / 2)], v[1], v[NR]}'; }

# One start of each first, untimed: the files in the page cache, the prefix warm.
for exe in "${installers[@]}"; do time_start "$exe" >/dev/null; done
declare -A times
for _ in $(seq $runs); do
    for exe in "${installers[@]}"; do times[$exe]+="$(time_start "$exe") "; done
done
median() { echo "${times[$1]}" | tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

echo
echo "Window on screen after the start ($TARVIK_WINDOWS_ARCH-bit build under Wine; median of $runs, least to most):"
for method in deflate zstd; do
    small=$(median small-$method.exe) large=$(median large-$method.exe)
    printf '  %-7s 1 MB application %s   300 MB application %s   ratio %.2f (aim 1.2 at most)\n' "$method" \
        "$(echo "${times[small-$method.exe]}" | tr ' ' '\n' | grep . | stats)" \
        "$(echo "${times[large-$method.exe]}" | tr ' ' '\n' | grep . | stats)" "$(echo "$large / $small" | bc -l)"
done

# The peak resident memory (VmHWM) of the running installer, once it has stopped growing for
# two seconds (the whole payload loaded behind the window), in KiB.
peak_of() {  # peak_of EXE
    local window pid="" name peak=0 last=-1 steady=0
    launch "$1"
    window=$(window_of 60) || { echo "no window from $1" >&2; exit 1; }
    for candidate in $(pgrep -f "$1" || true); do
        name=$(awk '/^Name:/ {print $2}' "/proc/$candidate/status" 2>/dev/null) || continue
        case $name in bash | timeout | wine-run.sh) ;; *) pid=$candidate ;; esac
    done
    [ -n "$pid" ] || { echo "no process of $1" >&2; exit 1; }
    for _ in $(seq 300); do
        peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
        if [ "$peak" = "$last" ]; then steady=$((steady + 1)); else steady=0; fi
        last=$peak
        [ $steady -ge 20 ] && break
        sleep 0.1
    done
    close "$window"
    echo "$peak"
}
# The unpacked body: every record's 12 bytes, key and data.
unpacked_of() { "$tool" list "$work/$1" | awk -F'\t' 'NR > 1 && NF == 2 {total += 12 + length($1) + $2} END {print total}'; }

echo
echo "Peak memory with the payload loaded whole behind the window, above the 1 MB installer's:"
for method in deflate zstd; do
    reference=$(peak_of small-$method.exe)
    peak=$(peak_of large-$method.exe)
    file=$(stat -c %s "$work/large-$method.exe")
    unpacked=$(unpacked_of large-$method.exe)
    printf '  %-7s %d MiB (%d MiB in all, the 1 MB installer %d MiB); aim file + 1.05 x unpacked = %d MiB\n' "$method" \
        $(((peak - reference) / 1024)) $((peak / 1024)) $((reference / 1024)) \
        "$(echo "($file + 1.05 * $unpacked) / 1048576" | bc)"
done
