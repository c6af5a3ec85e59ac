#!/usr/bin/env bash
# The payload inspector from the outside: pack, list, extract, and a one-line error with exit
# code 1 for each kind of bad input.
#   tarvik_payload_test.sh TOOL-COMMAND...   (the program, or a runner and the program)
set -u
tool=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check DESCRIPTION EXPECTED-EXIT EXPECTED-STDOUT-OR-STDERR-PATTERN COMMAND...
    local what=$1 code=$2 pattern=$3; shift 3
    local out rc
    out=$("$@" 2>&1); rc=$?
    out=${out//$'\r'/}  # Windows programs end their lines with CR LF
    if [ "$rc" != "$code" ] || ! grep -qE -- "$pattern" <<<"$out"; then
        echo "FAIL: $what (exit $rc): $out"; failures=$((failures + 1))
    fi
}

head -c 4000 /dev/urandom > stub
printf 'hello' > a.txt
: > empty.txt

check "pack" 0 '^$' "${tool[@]}" pack stub out.exe FILE10=a.txt FILE2=empty.txt MyLangage=a.txt
check "list header" 0 '^stub 4000 bytes, 3 entries, deflate$' "${tool[@]}" list out.exe
[ "$("${tool[@]}" list out.exe | tr -d '\r' | tail -n +2)" = "$(printf 'FILE10\t5\nFILE2\t0\nMyLangage\t5')" ] || { echo "FAIL: list order and sizes"; failures=$((failures + 1)); }
check "extract" 0 '^$' "${tool[@]}" extract out.exe FILE10 got.txt
cmp -s a.txt got.txt || { echo "FAIL: extracted bytes"; failures=$((failures + 1)); }
check "extract empty entry" 0 '^$' "${tool[@]}" extract out.exe FILE2 got-empty.txt
[ -f got-empty.txt ] && [ ! -s got-empty.txt ] || { echo "FAIL: empty entry"; failures=$((failures + 1)); }

# --zstd: both builds seal with Zstandard.
check "pack --zstd" 0 '^$' "${tool[@]}" pack --zstd stub zstd.exe FILE10=a.txt
check "list a Zstandard installer" 0 '^stub 4000 bytes, 1 entries, zstd$' "${tool[@]}" list zstd.exe

head -c $(( $(stat -c %s out.exe) - 1 )) out.exe > cut.exe
check "missing key" 1 '^tarvik-payload: no entry nope in out.exe$' "${tool[@]}" extract out.exe nope x
check "no payload" 1 '^tarvik-payload: no payload in stub$' "${tool[@]}" list stub
check "unreadable" 1 '^tarvik-payload: cannot read missing.exe$' "${tool[@]}" list missing.exe
check "damaged" 1 '^tarvik-payload: damaged payload in cut.exe$' "${tool[@]}" list cut.exe
check "stub with payload" 1 'already carries a payload' "${tool[@]}" pack out.exe o2.exe a=a.txt
check "repeated key" 1 'cannot add a ' "${tool[@]}" pack stub o3.exe a=a.txt a=empty.txt
check "missing source" 1 'cannot add b ' "${tool[@]}" pack stub o4.exe b=missing.txt
check "bad pair" 1 'expected KEY=PATH' "${tool[@]}" pack stub o5.exe =a.txt
check "usage" 1 '^tarvik-payload: usage:' "${tool[@]}" frobnicate
check "folder" 1 '^tarvik-payload: cannot read \.$' "${tool[@]}" list .
: > empty-stub
check "empty stub" 1 '^tarvik-payload: empty stub: empty-stub$' "${tool[@]}" pack empty-stub o6.exe a=a.txt
# A source of 4 GiB and more does not fit the 32-bit size field (sparse: no disk space used).
truncate -s 4294967301 huge.bin
check "source of 4 GiB + 5" 1 '^tarvik-payload: cannot add big from huge.bin \(a file of 4 GiB or more' \
    "${tool[@]}" pack stub o7.exe big=huge.bin
rm -f huge.bin
[ ! -e o3.exe ] && [ ! -e o4.exe ] && [ ! -e o6.exe ] && [ ! -e o7.exe ] ||
    { echo "FAIL: failed pack wrote a file"; failures=$((failures + 1)); }

# The payload deflated in pieces on 1, 2 or 8 threads: the same bytes (several pieces of 1 MiB).
seq 1 500000 > many.txt
for threads in 1 2 8; do
    check "pack -j $threads" 0 '^$' "${tool[@]}" pack -j $threads stub "j$threads.exe" FILE0=many.txt FILE1=a.txt
done
cmp -s j1.exe j2.exe && cmp -s j1.exe j8.exe || { echo "FAIL: threads change the bytes"; failures=$((failures + 1)); }
check "extract from 8 threads' installer" 0 '^$' "${tool[@]}" extract j8.exe FILE0 many-got.txt
cmp -s many.txt many-got.txt || { echo "FAIL: 8 threads' entry differs"; failures=$((failures + 1)); }

# Without entries the output would be a plain stub, a builder: refused. An output that is an
# input, or no regular file, is refused before anything is written; the inputs stay as they were.
check "pack without entries" 1 '^tarvik-payload: nothing to pack' "${tool[@]}" pack stub o8.exe
check "pack onto the stub" 1 '^tarvik-payload: output is one of the inputs: stub$' "${tool[@]}" pack stub stub a=a.txt
check "pack onto a source" 1 'output is one of the inputs: a.txt' "${tool[@]}" pack stub a.txt a=a.txt
check "extract onto the installer" 1 'output is one of the inputs: out.exe' "${tool[@]}" extract out.exe FILE10 out.exe
mkdir folder.exe
check "pack onto a folder" 1 'output exists and is not a regular file: folder.exe' "${tool[@]}" pack stub folder.exe a=a.txt
[ "$(stat -c %s stub)" = 4000 ] && [ "$(cat a.txt)" = hello ] && [ ! -e o8.exe ] ||
    { echo "FAIL: a refused pack changed its inputs or wrote a file"; failures=$((failures + 1)); }

# Keys with a tab, line breaks, a terminal escape and a backslash are listed escaped, one line each.
check "pack odd keys" 0 '^$' "${tool[@]}" pack stub odd.exe "$(printf 'a\tb')=a.txt" "$(printf 'c\nd\re')=a.txt" \
    "$(printf '\033[2Jf')=a.txt" 'g\h=a.txt'
expected=$(printf '%s\t5\n' '\x1B[2Jf' 'a\tb' 'c\nd\re' 'g\\h')
listed=$("${tool[@]}" list odd.exe | tr -d '\r' | tail -n +2)
[ "$listed" = "$expected" ] || { echo "FAIL: escaped keys: $(od -c <<<"$listed" | head)"; failures=$((failures + 1)); }

# Short of memory is not damage: a payload that unpacks to 256 MiB, read with 150 MB of address
# space. Sanitized builds reserve terabytes of shadow memory and cannot run under such a limit.
if [[ $(ulimit -v 150000; "${tool[@]}" list stub 2>&1) == *"no payload in stub" ]]; then
    truncate -s 256M zeros.bin
    check "pack 256 MiB" 0 '^$' "${tool[@]}" pack stub zeros.exe FILE0=zeros.bin
    rm -f zeros.bin
    check "not enough memory" 1 '^tarvik-payload: not enough memory to load zeros.exe$' \
        bash -c 'ulimit -v 150000 && exec "$@"' limited "${tool[@]}" list zeros.exe
    check "enough memory" 0 '^FILE0	268435456$' "${tool[@]}" list zeros.exe
else
    echo "skipped: not enough memory (this build cannot run under an address-space limit)"
fi

# A disk that fills up (writes beyond 2 KiB fail): the older file at the output, here the
# installer itself packed from its own stub copy, stays byte for byte, and no partial file is left.
cp out.exe older.exe
check "full disk" 1 '^tarvik-payload: cannot write older.exe$' \
    bash -c 'trap "" XFSZ; ulimit -f 2; exec "$@"' full "${tool[@]}" pack stub older.exe a=a.txt
cmp -s out.exe older.exe || { echo "FAIL: full disk: the older file was changed"; failures=$((failures + 1)); }
ls -A | grep -qE '\.(part|tmp)$' &&
    { echo "FAIL: full disk left files: $(ls -A)"; failures=$((failures + 1)); }

[ "$failures" = 0 ] && echo "tarvik-payload: all checks passed"
exit $(( failures > 0 ))
