#!/usr/bin/env bash
# The Windows tool seals with Zstandard too, byte for byte as the Linux tool does: pack at
# several levels and thread counts, and build of an application tree (the staged sample when
# there is one), the same inputs giving the same installer from both.
#   zstd_windows_test.sh WINE_RUN WINE_ROOT TARVIK_PAYLOAD TARVIK_PAYLOAD_EXE [SAMPLE_DIR]
# TARVIK_PAYLOAD is the tool built for this machine, TARVIK_PAYLOAD_EXE the Windows one;
# SAMPLE_DIR holds Run/ and builder/ as the build stages them.
set -u
wine_run=$1 wine_root=$2 tool=$3 tool_exe=$4 sample=${5:-}
here="$(cd "$(dirname "$0")" && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cp "$tool_exe" tarvik-payload.exe
windows() { timeout 300 "$wine_run" --root "$wine_root" tarvik-payload.exe "$@" 2>&1 | tr -d '\r'; }

. "$here/sample_entries.sh"
for row in "1 1" "12 2" "19 2"; do
    set -- $row
    "$tool" pack -j "$2" --zstd="$1" stub "linux-$1.exe" "${pairs[@]}" || fail "Linux pack --zstd=$1: exit code $?"
    out=$(windows pack -j "$2" --zstd="$1" stub "windows-$1.exe" "${pairs[@]}")
    [ -z "$out" ] || fail "Windows pack --zstd=$1 said: $out"
    cmp -s "linux-$1.exe" "windows-$1.exe" || fail "level $1 on $2 threads: the Windows tool's installer differs"
done

# build: a small tree of text and random bytes over several pieces, and the sample.
mkdir -p app/lib drivers/xp/2303
printf 'e' > app/Emberlin.exe
seq 1 300000 > app/lib/numbers.txt
head -c 2500000 /dev/urandom > app/lib/random.dll
printf 'cat' > drivers/xp/2303/ser2pl.cat
printf 'zip' > Language.zip
trees=("stub app drivers Language.zip")
[ -n "$sample" ] && [ -d "$sample/Run" ] &&
    trees+=("$sample/builder/SetupTarvik.exe $sample/Run $sample/builder/drivers $sample/builder/Language.zip")
for i in "${!trees[@]}"; do
    set -- ${trees[i]}
    mkdir "tree$i" && cp "$1" "tree$i/stub.exe" && cp -r "$2" "tree$i/app" && cp -r "$3" "tree$i/drivers" &&
        cp "$4" "tree$i/Language.zip"
    [ -f "$(dirname "$1")/Uninstall.exe" ] && cp "$(dirname "$1")/Uninstall.exe" "tree$i/"
    args=(tree$i/stub.exe --app tree$i/app --drivers tree$i/drivers --language tree$i/Language.zip)
    "$tool" build --zstd "${args[0]}" "linux-tree$i.exe" "${args[@]:1}" 2>/dev/null || fail "Linux build of tree $i"
    windows build --zstd "${args[0]}" "windows-tree$i.exe" "${args[@]:1}" >/dev/null
    cmp -s "linux-tree$i.exe" "windows-tree$i.exe" || fail "tree $i: the Windows tool's build --zstd differs"
done
"$tool" list windows-tree0.exe | head -n 1 | grep -q ', zstd$' || fail "the Windows tool's installer is not Zstandard"

[ "$failures" = 0 ] && echo "Zstandard from Windows: all checks passed (${#trees[@]} trees)"
exit $(( failures > 0 ))
