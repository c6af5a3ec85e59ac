#!/usr/bin/env bash
# The release download: installers sealed by `tarvik-payload build` (deflate, and Zstandard at
# several levels) next to the peer installer system, Debian's makensis (zlib and LZMA, solid),
# packing the same files, all in this run: installer size, pack time (wall) and peak memory.
# Then the rule that sets the default Zstandard level: the smallest installer packed within the
# peer's LZMA time in every round, with a margin of a tenth, as rounds here differ by up to a
# fifth; and what an x86 call filter ahead of Zstandard would save.
#   bench/release_size_bench.sh [BUILD_DIR]   (default: build64 in the 64-bit mode, else build)
# The tree, made once in BUILD_DIR/bench-release: the 400 largest files of Debian's wine32
# library folder (32-bit Windows DLLs, drivers and programs), stripped, and the sample's
# Emberlin.exe; the sample's drivers, language archive and uninstaller go into both installers.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/windows-arch.sh"
windows_arch
build=$(cd "${1:-$top/$windows_build}" && pwd)
tool=$build/host/tools/tarvik-payload
stage=$build/sample/builder
work=$build/bench-release
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
levels=(12 17 18 19 20 21 22)
rounds=3
threads=$(nproc)

app=$work/app
if [ ! -f "$work/app.done" ]; then
    echo "Making the tree (once)..."
    rm -rf "$app" && mkdir -p "$app"
    find "$dlls" -maxdepth 1 -type f -printf '%s %f\n' | sort -k1,1nr -k2 | head -n 400 | while read -r _ name; do
        i686-w64-mingw32-strip -o "$app/$name" "$dlls/$name" 2>/dev/null || cp "$dlls/$name" "$app/$name"
    done
    cp "$build/sample/Run/Emberlin.exe" "$app/"
    touch "$work/app.done"
fi

# Runs a pack and records its output's size, its wall time (one more per round) and its peak
# resident memory (the most of any round, KiB) under NAME.
declare -A size times peak
measure() {  # measure NAME OUT COMMAND...
    local name=$1 out=$2 t p
    shift 2
    rm -f "$out"
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    read -r t p <"$work/time"
    times[$name]+="$t "
    [ "${peak[$name]:-0}" -ge "$p" ] || peak[$name]=$p
    size[$name]=$(stat -c %s "$out")
}
rounds_of() { tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -n; }
median() { rounds_of "$1" | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
tarvik() {  # tarvik NAME [--zstd[=LEVEL]]
    measure "$1" "$work/$1.exe" "$tool" build -j "$threads" ${2:-} "$stage/SetupTarvik.exe" "$work/$1.exe" \
        --app "$app" --drivers "$stage/drivers" --language "$stage/Language.zip"
}
peer() {  # peer NAME COMPRESSOR
    cat >"$work/$1.nsi" <<EOF
Unicode true
SetCompressor /SOLID $2
OutFile "$work/$1.exe"
InstallDir "\$PROGRAMFILES\\MiniTarvik"
RequestExecutionLevel admin
Section
SetOutPath "\$INSTDIR"
File /r "$app/*"
File "$stage/Language.zip"
File "$stage/Uninstall.exe"
SetOutPath "\$INSTDIR\\drivers"
File /r "$stage/drivers/*"
SectionEnd
EOF
    measure "$1" "$work/$1.exe" makensis -V1 "$work/$1.nsi"
}

echo "Packing: $(du -sb "$app" | cut -f1) bytes in $(ls "$app" | wc -l) files; stub $(stat -c %s "$stage/SetupTarvik.exe") bytes ($TARVIK_WINDOWS_ARCH-bit); $threads threads; $rounds rounds, the packs taking turns"
for _ in $(seq $rounds); do
    peer peer-zlib zlib
    peer peer-lzma lzma
    tarvik deflate
    for level in "${levels[@]}"; do tarvik "zstd$level" "--zstd=$level"; done
done
tarvik zstd-default --zstd
default=none
for level in "${levels[@]}"; do
    cmp -s "$work/zstd$level.exe" "$work/zstd-default.exe" && default=$level
done

reference=${size[peer-lzma]}
row() {  # row LABEL NAME
    printf '| %-42s | %6.2f MB | %5.3f | %6.1f s (%s) | %5d MB |\n' "$1" "$(echo "${size[$2]} / 1000000" | bc -l)" \
        "$(echo "${size[$2]} / $reference" | bc -l)" "$(median "$2")" "$(rounds_of "$2" | paste -sd' ')" \
        $((${peak[$2]} / 1000))
}
echo
echo "| installer | size | x peer LZMA | pack time: median (each round) | peak memory |"
echo "|---|---|---|---|---|"
row "tarvik-payload build (deflate)" deflate
for level in "${levels[@]}"; do
    label="tarvik-payload build --zstd=$level"
    [ "$level" = "$default" ] && label="$label (default)"
    row "$label" "zstd$level"
done
row "makensis, zlib solid" peer-zlib
row "makensis, LZMA solid" peer-lzma

rule=none
for level in "${levels[@]}"; do
    if [ "$(echo "$(rounds_of "zstd$level" | tail -n 1) <= 0.9 * $(rounds_of peer-lzma | head -n 1)" | bc)" = 1 ] &&
        { [ "$rule" = none ] || [ "${size[zstd$level]}" -lt "${size[zstd$rule]}" ]; }; then
        rule=$level
    fi
done
echo
echo "Smallest installer packed within the peer's LZMA time in every round (its slowest round at most 0.9 x the peer's fastest, $(rounds_of peer-lzma | head -n 1) s): level $rule; the default is level $default."

# The filter: in each executable section of each PE file, a call (E8) whose 32-bit offset lies
# within +-16 MiB gets the target as an offset from the file's start instead, kept within the
# same 25-bit range; the scan always steps over the 4 bytes behind an E8, converted or not, so
# that decoding meets the same bytes and finds the same calls. Measured on the tree's files
# concatenated in the tool's order, raw and filtered, with the zstd program at the default
# level and the installer's window; the filter is checked to undo itself.
python3 - "$app" "$work" <<'EOF'
import os, struct, sys
app, work = sys.argv[1], sys.argv[2]

def calls(b, start, end, sign):
    i = b.find(0xE8, start, end - 4)
    while i >= 0:
        if b[i + 4] in (0, 0xFF):
            v = (struct.unpack_from("<I", b, i + 1)[0] + sign * (i + 5)) & 0x1FFFFFF
            struct.pack_into("<I", b, i + 1, v | 0xFE000000 if v & 0x1000000 else v)
        i = b.find(0xE8, i + 5, end - 4)

def code_sections(b):
    if len(b) < 64 or b[:2] != b"MZ":
        return
    pe = struct.unpack_from("<I", b, 0x3C)[0]
    if pe + 24 > len(b) or b[pe:pe + 4] != b"PE\0\0":
        return
    count, optional = struct.unpack_from("<H", b, pe + 6)[0], struct.unpack_from("<H", b, pe + 20)[0]
    table = pe + 24 + optional
    for k in range(count):
        at = table + 40 * k
        if at + 40 > len(b):
            return
        raw_size, raw = struct.unpack_from("<II", b, at + 16)
        if struct.unpack_from("<I", b, at + 36)[0] & 0x20000000 and raw < len(b):
            yield raw, min(len(b), raw + raw_size)

with open(os.path.join(work, "raw.bin"), "wb") as raw, open(os.path.join(work, "filtered.bin"), "wb") as filtered:
    for name in sorted(os.listdir(app)):
        data = open(os.path.join(app, name), "rb").read()
        b = bytearray(data)
        for start, end in code_sections(b):
            calls(b, start, end, 1)
        back = bytearray(b)
        for start, end in reversed(list(code_sections(back))):  # sections may overlap
            calls(back, start, end, -1)
        if back != data:
            sys.exit("the filter does not undo itself on " + name)
        raw.write(data)
        filtered.write(b)
EOF
level=${default/none/19}
for part in raw filtered; do
    zstd -q -f --ultra "-$level" --long=27 "-T$threads" "$work/$part.bin" -o "$work/$part.zst"
done
raw=$(stat -c %s "$work/raw.zst") filtered=$(stat -c %s "$work/filtered.zst")
estimate=$((${size[zstd$level]} - raw + filtered))
echo "x86 call filter at level $level: the tree's files $raw bytes raw, $filtered filtered" \
    "($(echo "100 * ($raw - $filtered) / $raw" | bc -l | xargs printf '%.1f')% less);" \
    "the installer would be about $estimate bytes, $(echo "$estimate / $reference" | bc -l | xargs printf '%.3f') x the peer's LZMA:" \
    "$([ "$estimate" -le "$reference" ] && echo "it pays" || echo "it does not pay")."
rm -f "$work"/*.bin "$work"/*.zst
