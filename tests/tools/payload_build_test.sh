#!/usr/bin/env bash
# tarvik-payload build from the outside: the walk's own order whatever the disk's, names
# stored in the installer's code page, driver names found whatever their case, a one-line
# error with no installer written for each kind of bad input (the refusals the builder under
# Windows shares), and an older installer that survives every failed write.
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
names=(b.txt A.txt _x.txt a1.txt Emberlin.exe Zeta/m.txt alpha/n.txt)
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
[ "$(keys first.exe)" = "FILE0 FILE1 FILE2 FILE3 FILE4 FILE5 FILE6 FilesInfo MyLangage xp_2303_ser2pl_cat " ] \
    || fail "entries $(keys first.exe)"
"$tool" extract first.exe FILE4 got && [ "$(cat got)" = _x.txt ] || fail "FILE4 is not _x.txt (NTFS order)"

# Names are stored in the installer's code page (GBK), not as UTF-8.
rm -rf app && mkdir -p app && printf 'x' > "app/激光.txt" && printf 'e' > app/Emberlin.exe
build gbk.exe 2>/dev/null || fail "GBK name"
"$tool" extract gbk.exe FilesInfo info
grep -q $'FILE1="\\\\\xbc\xa4\xb9\xe2.txt"' info || fail "name not stored in GBK: $(tr -d '\000' < info)"

# Driver files are found whatever the case of their folders and names, as on Windows; one
# that is there but cannot be read stops the build; the inkscape gap is noted.
mkdir -p drivers/Win7/2303 drivers/ch341ser && printf 'c7' > drivers/Win7/2303/SER2PL.CAT
printf 'ch' > drivers/ch341ser/ch341ser.cat
check "drivers in another case" 0 'note: no inkscape.inkscape.exe in app' build case.exe
[[ "$(keys case.exe)" == *"ch341ser_ch341ser_cat win7_2303_ser2pl_cat xp_2303_ser2pl_cat "* ]] \
    || fail "drivers in another case: entries $(keys case.exe)"
mkdir drivers/xp/2303/ser2pl.inf
check "a folder where a driver file belongs" 1 '^tarvik-payload: cannot read drivers/xp/2303/ser2pl.inf; no installer written$' build o1.exe
rmdir drivers/xp/2303/ser2pl.inf
check "no drivers folder" 1 '^tarvik-payload: no drivers folder /nonexistent$' \
    "$tool" build stub o1.exe --app app --drivers /nonexistent --language Language.zip
check "no language archive" 1 '^tarvik-payload: cannot read /nonexistent.zip; no installer written$' \
    "$tool" build stub o1.exe --app app --drivers drivers --language /nonexistent.zip

# Bad input: a clear message, exit code 1, nothing written. The reasons are the builder's own.
rm -rf app && mkdir -p app/sub && printf 'a' > app/a.txt && printf 'e' > app/Emberlin.exe
check "missing option" 1 '^tarvik-payload: usage: tarvik-payload .*build \[-j N\] \[--zstd\[=LEVEL\]\] STUB OUT' "$tool" build stub o1.exe --app app --drivers drivers
check "repeated option" 1 'usage' "$tool" build stub o1.exe --app app --app app --drivers drivers --language Language.zip
check "no application folder" 1 '^tarvik-payload: cannot list the folder nothing; no installer written$' build o1.exe nothing
check "stub with payload" 1 'stub already carries a payload' "$tool" build first.exe o1.exe --app app --drivers drivers --language Language.zip
: > empty-stub
check "empty stub" 1 '^tarvik-payload: empty stub: empty-stub$' "$tool" build empty-stub o1.exe --app app --drivers drivers --language Language.zip
perl -MSocket -e 'socket(S, AF_UNIX, SOCK_STREAM, 0) && bind(S, pack_sockaddr_un($ARGV[0])) or die' app/sub/c.sock
check "socket" 1 'neither a file nor a folder: app/sub/c.sock; no installer written' build o1.exe
rm app/sub/c.sock && mkfifo app/sub/pipe
check "FIFO" 1 'neither a file nor a folder: app/sub/pipe; no installer written' build o1.exe
rm app/sub/pipe
for link in "..:linked folder" "nowhere:dangling link" "loop:link cycle"; do
    ln -s "${link%%:*}" app/sub/loop
    check "${link#*:}" 1 'symbolic link to a folder, or one that leads nowhere \(not followed\): app/sub/loop;' build o1.exe
    rm app/sub/loop
done
long=$(printf 'd%.0s' {1..200})
mkdir -p "app/$long" && printf 'x' > "app/$long/$(printf 'f%.0s' {1..30}).txt"
check "path too long to install" 1 'path too long to install' build o1.exe
rm -rf "app/$long"
# A file keeps room for its part file: 214 characters under the install folder fit, 215 (which
# fit 259 without it) do not.
printf 'x' > "app/$(printf 'f%.0s' {1..213})"
check "214 characters with the part file" 0 '' build fits.exe
rm -f fits.exe
printf 'x' > "app/$(printf 'g%.0s' {1..214})"
check "215 characters with the part file" 1 "path too long to install .*part file included\): app/g+; no installer written" build o1.exe
rm -f app/ff* app/gg*
# Each pair is one name on Windows; each single name is one Windows cannot create.
for names in 'a.txt A.TXT' 'Привет.txt ПРИВЕТ.txt' 'Ω.txt ω.txt' 'ａ.txt Ａ.txt'; do
    for name in $names; do printf 'x' > "app/sub/$name"; done
    check "one name on Windows: $names" 1 'two names that are one on Windows' build o1.exe
    for name in $names; do rm -f "app/sub/$name"; done
done
for name in 'back\slash' 'co:lon' 'dot.' 'CON.txt' 'nul' 'com1.log'; do
    printf 'x' > "app/$name"
    check "name $name" 1 'name Windows cannot create' build o1.exe
    rm "app/$name"
done
rm app/Emberlin.exe
check "no Emberlin.exe" 1 "^tarvik-payload: no Emberlin.exe at the top of the application folder app; no installer written$" build o1.exe
mkdir -p app/sub/x && printf 'e' > app/sub/x/Emberlin.exe
check "Emberlin.exe only further down" 1 'no Emberlin.exe at the top' build o1.exe
rm -rf app && mkdir app
check "empty application folder" 1 'no Emberlin.exe at the top' build o1.exe
[ ! -e o1.exe ] || fail "a failed build wrote an installer"

# The output: written whole or not at all, never through something that is no regular file,
# and never over an input.
mkdir -p app && printf 'e' > app/Emberlin.exe
printf 'older installer' > old.exe && chmod 755 old.exe
inputs=$(md5sum stub Language.zip)
ln -s /dev/full device.exe
check "output on a device" 1 '^tarvik-payload: output exists and is not a regular file: device.exe$' build device.exe
[ -L device.exe ] || fail "the device link was removed"
mkdir folder.exe
check "output a folder" 1 'not a regular file: folder.exe' build folder.exe
check "output the stub" 1 '^tarvik-payload: output is one of the inputs: stub$' build stub
check "output the language archive" 1 'one of the inputs: Language.zip' build Language.zip
[ "$(md5sum stub Language.zip)" = "$inputs" ] || fail "an input was changed"
# A disk that fills up: writes beyond 2 KiB fail (the stub alone is 3000 bytes).
check "full disk" 1 '^tarvik-payload: cannot write old.exe$' bash -c 'trap "" XFSZ; ulimit -f 2; exec "$@"' full "$tool" build stub old.exe --app app --drivers drivers --language Language.zip
[ "$(cat old.exe)" = "older installer" ] || fail "full disk: the older installer was changed"
[ -z "$(ls -A | grep '\.part$')" ] || fail "full disk: a partial file was left: $(ls -A)"
check "replacing an installer" 0 '' build old.exe
[ "$(stat -c %a old.exe)" = 755 ] && "$tool" list old.exe >/dev/null || fail "the replaced installer: mode $(stat -c %a old.exe)"

[ "$failures" = 0 ] && echo "tarvik-payload build: all checks passed"
exit $(( failures > 0 ))
