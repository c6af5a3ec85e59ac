#!/usr/bin/env bash
# Installers sealed with Zstandard by the tool (--zstd): the same bytes from 1, 2 and 8
# threads and for the same inputs again; list names the method; the entries are those of the
# deflated installer; Debian's zstd program, a reader that shares no code with the project,
# decodes the member with its CRC-32 holding; bad levels are refused.
#   zstd_payload_test.sh TARVIK_PAYLOAD   Exit code 77: skipped.
set -u
tool=$1
here="$(cd "$(dirname "$0")" && pwd)"
reader="$here/payload_reader.py"
command -v python3 >/dev/null || { echo "SKIP: python3 is missing"; exit 77; }
command -v zstd >/dev/null || { echo "SKIP: the zstd program is missing (scripts/setup.sh installs it)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # check DESCRIPTION EXPECTED-EXIT PATTERN COMMAND...
    local what=$1 code=$2 pattern=$3; shift 3
    local out rc
    out=$("$@" 2>&1); rc=$?
    if [ "$rc" != "$code" ] || ! grep -qE -- "$pattern" <<<"$out"; then fail "$what (exit $rc): $out"; fi
}

. "$here/sample_entries.sh"
for threads in 1 2 8; do
    "$tool" pack -j $threads --zstd stub "j$threads.exe" "${pairs[@]}" || fail "pack -j $threads --zstd: exit code $?"
done
"$tool" pack --zstd stub again.exe "${pairs[@]}" || fail "pack --zstd on every processor: exit code $?"
for other in j2.exe j8.exe again.exe; do cmp -s j1.exe $other || fail "$other differs from one thread's installer"; done
"$tool" pack stub deflate.exe "${pairs[@]}" || fail "pack with deflate"

check "list names Zstandard" 0 '^stub 3000 bytes, 5 entries, zstd$' "$tool" list j1.exe
check "list names deflate" 0 '^stub 3000 bytes, 5 entries, deflate$' "$tool" list deflate.exe
[ "$("$tool" list j1.exe | tail -n +2)" = "$("$tool" list deflate.exe | tail -n +2)" ] || fail "entries differ from deflate's"
"$tool" extract j8.exe FILE1 got.bin && cmp -s got.bin random.bin || fail "extracted entry differs"
[ "$(stat -c %s j1.exe)" -lt "$(stat -c %s deflate.exe)" ] || fail "Zstandard installer not smaller than deflate's"

mkdir entries
python3 "$reader" j1.exe entries > listed 2> reason || fail "zstd program: $(cat reason)"
read_back_holds "zstd program" listed entries

for level in 1 19 22; do
    "$tool" pack --zstd=$level stub "l$level.exe" "${pairs[@]}" && "$tool" list "l$level.exe" > /dev/null \
        || fail "level $level does not round-trip"
done
for bad in --zstd=0 --zstd=23 --zstd=x --zstd= --zstdx; do
    check "$bad refused" 1 'usage' "$tool" pack $bad stub x.exe FILE0=text.txt
done
check "--zstd twice refused" 1 'usage' "$tool" pack --zstd --zstd=3 stub x.exe FILE0=text.txt
check "-j after --zstd" 0 '^$' "$tool" pack --zstd=3 -j 2 stub order.exe FILE0=text.txt
[ ! -e x.exe ] || fail "a refused command wrote x.exe"

[ "$failures" = 0 ] && echo "Zstandard payload: all checks passed"
exit $(( failures > 0 ))
