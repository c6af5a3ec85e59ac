#!/usr/bin/env bash
# tarvik-payload build from the outside: the walk's own order whatever the disk's, names
# stored in the installer's code page, and a one-line error with no installer written for
# each kind of bad input.
#   payload_build_test.sh TARVIK_PAYLOAD
set -u
tool=$1
# tmpfs lists a folder's entries in the reverse of their creation order.
work=$(mktemp -d /dev/shm/payload-build.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # check DESCRIPTION EXPECTED-EXIT EXPECTED-OUTPUT-PATTERN COMMAND...
    local what=$1 code=$2 pattern=$3; shift 3
    local out rc
    out=$("$@" 2>&1); rc=$?
    if [ "$rc" != "$code" ] || ! grep -qE -- "$pattern" <<<"$out"; then fail "$what (exit $rc): $out"; fi
}

head -c 3000 /dev/urandom > stub
mkdir -p drivers/xp/2303 && printf 'cat' > drivers/xp/2303/ser2pl.cat
printf 'zip' > Language.zip
build() { "$tool" build stub "$1" --app "${2:-app}" --drivers drivers --language Language.zip; }
keys() { "$tool" list "$1" | tail -n +2 | cut -f1 | tr '\n' ' '; }

# The same tree created in two orders: the same bytes.
names=(b.txt A.txt _x.txt a1.txt Zeta/m.txt alpha/n.txt)
for name in "${names[@]}"; do mkdir -p "app/$(dirname "$name")"; printf '%s' "$name" > "app/$name"; done
check "build" 0 'ser2pl.inf not found, left out' build first.exe
listing=$(ls -U app)
rm -rf app
for ((i = ${#names[@]} - 1; i >= 0; i--)); do
    mkdir -p "app/$(dirname "${names[i]}")"; printf '%s' "${names[i]}" > "app/${names[i]}"
done
[ "$listing" = "$(ls -U app)" ] && echo "note: this file system lists both orders alike"
build second.exe 2>/dev/null || fail "second build"
cmp -s first.exe second.exe || fail "the same tree made in another order gives other bytes"
[ "$(keys first.exe)" = "FILE0 FILE1 FILE2 FILE3 FILE4 FILE5 FilesInfo MyLangage xp_2303_ser2pl_cat " ] \
    || fail "entries $(keys first.exe)"
"$tool" extract first.exe FILE3 got && [ "$(cat got)" = _x.txt ] || fail "FILE3 is not _x.txt (NTFS order)"

# Names are stored in the installer's code page (GBK), not as UTF-8.
rm -rf app && mkdir -p app && printf 'x' > "app/激光.txt"
build gbk.exe 2>/dev/null || fail "GBK name"
"$tool" extract gbk.exe FilesInfo info
grep -q $'FILE0="\\\\\xbc\xa4\xb9\xe2.txt"' info || fail "name not stored in GBK: $(tr -d '\000' < info)"

# Bad input: a clear message, exit code 1, nothing written.
rm -rf app && mkdir -p app/sub && printf 'a' > app/a.txt
check "missing option" 1 '^tarvik-payload: usage: tarvik-payload build' "$tool" build stub o1.exe --app app --drivers drivers
check "repeated option" 1 'usage' "$tool" build stub o1.exe --app app --app app --drivers drivers --language Language.zip
check "no application folder" 1 '^tarvik-payload: cannot list the folder nothing; no installer written$' build o1.exe nothing
check "stub with payload" 1 'stub already carries a payload' "$tool" build first.exe o1.exe --app app --drivers drivers --language Language.zip
: > empty-stub
check "empty stub" 1 '^tarvik-payload: empty stub: empty-stub$' "$tool" build empty-stub o1.exe --app app --drivers drivers --language Language.zip
perl -MSocket -e 'socket(S, AF_UNIX, SOCK_STREAM, 0) && bind(S, pack_sockaddr_un($ARGV[0])) or die' app/sub/c.sock
check "socket" 1 'neither a file nor a folder: app/sub/c.sock; no installer written' build o1.exe
rm app/sub/c.sock && ln -s .. app/sub/loop
check "linked folder" 1 'symbolic link to a folder' build o1.exe
rm app/sub/loop
for name in 'back\slash' 'co:lon' 'dot.' 'A.TXT'; do
    printf 'x' > "app/$name"
    check "name $name" 1 'not storable|differ only in case' build o1.exe
    rm "app/$name"
done
[ ! -e o1.exe ] || fail "a failed build wrote an installer"

[ "$failures" = 0 ] && echo "tarvik-payload build: all checks passed"
exit $(( failures > 0 ))
