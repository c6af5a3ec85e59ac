#!/usr/bin/env bash
# The builder run for real under Wine, on real folders behind a mapped E: drive in the Chinese
# code page: what it packs and skips, how it numbers, the order of the walk, what it refuses
# (as tarvik-payload build does), its exit code, and an older installer that survives.
#   builder_test.sh WINE_RUN WINE_ROOT SETUPTARVIK_EXE TARVIK_PAYLOAD
# TARVIK_PAYLOAD is the inspector built for this machine. Exit code 77: skipped.
set -u
wine_run=$1 wine_root=$2 setup=$3 tool=$4
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
    echo "SKIP: the zh_CN.UTF-8 locale is missing (scripts/setup.sh makes it); GBK paths need it"
    exit 77
fi
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# tmpfs lists a folder's entries in the reverse of their creation order, which shows whether
# the builder's own order holds.
work=$(mktemp -d /dev/shm/builder-test.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

top="$work/e/Orvanet/激光"
run="$top/Run" out="$top/MyTarvik/SetupTarvik.exe"
"$wine_run" --root "$wine_root" cmd /c exit >/dev/null 2>&1
ln -sfn "$work/e" "$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}/dosdevices/e:"

new_tree() { rm -rf "$top" && mkdir -p "$run" "$top/MyTarvik"; }
put() { mkdir -p "$(dirname "$run/$1")" && printf '%s' "${2:-$1}" > "$run/$1"; }
builder_log() { iconv -f GBK -t UTF-8 "$work/b/SetupTarvik.log" 2>/dev/null; }
# Runs the plain executable from a folder of its own; prints its exit code.
build() {
    rm -rf "$work/b" && mkdir -p "$work/b/drivers" && cp "$setup" "$work/b/SetupTarvik.exe"
    (cd "$work/b" && timeout 60 "$wine_run" --root "$wine_root" SetupTarvik.exe >/dev/null 2>&1)
    echo $?
}
keys() { "$tool" list "$out" | tail -n +2 | cut -f1 | tr '\n' ' '; }
files_info() { "$tool" extract "$out" FilesInfo "$work/info" >/dev/null && cat "$work/info"; }
template_with() { printf '<?xml version="1.0" encoding="gb2312"?><zxmlInfo><ExFastInfo xResult="1" %s></ExFastInfo></zxmlInfo>' "$1"; }

# An empty drivers folder and no Language.zip: only the application entries, the gap logged.
new_tree
put Emberlin.exe
[ "$(build)" = 0 ] || fail "no drivers: exit code"
[ "$(keys)" = "FILE0 FilesInfo " ] || fail "no drivers: entries $(keys)"
builder_log | grep -q 'Language.zip not found' || fail "no drivers: the missing language archive is not logged"

# Skipped names anywhere, a folder named logs.log walked, numbering across folders, a folder
# three levels down after its parent, an empty folder listed.
new_tree
for name in Emberlin.exe x.tds setup.LOG a.log b.txt logs.log/c.txt logs.log/a.log one/e.txt one/two/three/d.txt \
    one/two/three/x.tds; do put "$name"; done
mkdir -p "$run/z"
[ "$(build)" = 0 ] || fail "tree: exit code"
[ "$(keys)" = "FILE0 FILE1 FILE2 FILE3 FILE4 FilesInfo " ] || fail "tree: entries $(keys)"
expected=$(template_with 'FILE0="\b.txt" FileCount="5" FILE1="\Emberlin.exe" PATH0="\logs.log" PathCount="5" PATH1="\one" PATH2="\z" FILE2="\logs.log\c.txt" FILE3="\one\e.txt" PATH3="\one\two" PATH4="\one\two\three" FILE4="\one\two\three\d.txt"')
[ "$(files_info | tr -d '\000')" = "$expected" ] || fail "tree: FilesInfo is $(files_info | tr -d '\000')"
"$tool" extract "$out" FILE4 "$work/d" && [ "$(cat "$work/d")" = one/two/three/d.txt ] || fail "tree: FILE4 bytes"
size=$(stat -c %s "$work/info")
[ "$(tail -c 1 "$work/info" | od -An -tx1 | tr -d ' ')" = 00 ] || fail "FilesInfo does not end with a zero byte"
[ "$(tr -cd '\000' < "$work/info" | wc -c)" = 1 ] || fail "FilesInfo holds more than one zero byte"
[ "$size" = $(( ${#expected} + 1 )) ] || fail "FilesInfo is $size bytes, expected the text and one zero"
head -c -1 "$work/info" | xmllint --noout - 2>/dev/null || fail "FilesInfo text is not a complete XML document"

# The same tree created in two orders gives the same installer, names in NTFS order.
names=(b.txt A.txt _x.txt a1.txt Emberlin.exe Zeta/m.txt alpha/n.txt)
new_tree
for name in "${names[@]}"; do put "$name"; done
first_listing=$(ls -U "$run")
[ "$(build)" = 0 ] || fail "order: exit code"
cp "$out" "$work/first.exe"
new_tree
for ((i = ${#names[@]} - 1; i >= 0; i--)); do put "${names[i]}"; done
[ "$first_listing" = "$(ls -U "$run")" ] && echo "note: this file system lists both orders alike"
[ "$(build)" = 0 ] || fail "order: exit code of the second build"
cmp -s "$out" "$work/first.exe" || fail "order: the same tree made in another order gives other bytes"
expected=$(template_with 'FILE0="\A.txt" FileCount="7" FILE1="\a1.txt" PATH0="\alpha" PathCount="2" FILE2="\b.txt" FILE3="\Emberlin.exe" PATH1="\Zeta" FILE4="\_x.txt" FILE5="\alpha\n.txt" FILE6="\Zeta\m.txt"')
[ "$(files_info | tr -d '\000')" = "$expected" ] || fail "order: not in NTFS order: $(files_info | tr -d '\000')"

# Exit code 1 and the reason in the log when no installer is written; an older installer at
# the output path stays as it was.
new_tree
rm -rf "$run"
[ "$(build)" = 1 ] || fail "no application folder: exit code"
builder_log | grep -q 'cannot list the folder E:\\Orvanet\\激光\\Run; no installer written' \
    || fail "no application folder: log says $(builder_log | tail -n 1)"
[ ! -e "$out" ] || fail "no application folder: an installer was written"

new_tree
put Emberlin.exe
rmdir "$top/MyTarvik"
[ "$(build)" = 1 ] || fail "no output folder: exit code"
builder_log | grep -q 'cannot write E:\\Orvanet\\激光\\MyTarvik\\SetupTarvik.exe' || fail "no output folder: log"

# A walk that stops half-way (a file that cannot be read) saves nothing.
new_tree
put Emberlin.exe
put sub/b.txt
perl -MSocket -e 'socket(S, AF_UNIX, SOCK_STREAM, 0) && bind(S, pack_sockaddr_un($ARGV[0])) or die' "$run/sub/c.sock"
printf 'older installer' > "$out"
[ "$(build)" = 1 ] || fail "half-way: exit code"
builder_log | grep -q 'cannot read the file E:\\Orvanet\\激光\\Run\\sub\\c.sock; no installer written' \
    || fail "half-way: log says $(builder_log | tail -n 1)"
[ "$(cat "$out")" = "older installer" ] || fail "half-way: the older installer was replaced"

# What cannot install is refused, each with the reason tarvik-payload build gives: exit code
# 1, the reason in the log, and the older installer at the output untouched.
refused() {  # refused DESCRIPTION LOG-PATTERN
    printf 'older installer' > "$out"
    [ "$(build)" = 1 ] || fail "$1: exit code"
    builder_log | grep -qE "$2" || fail "$1: log says $(builder_log | tail -n 1)"
    [ "$(cat "$out")" = "older installer" ] || fail "$1: the older installer was replaced"
}
new_tree
put a.txt
refused "no Emberlin.exe" 'no Emberlin.exe at the top of the application folder E:\\Orvanet\\激光\\Run; no installer written'
new_tree
refused "empty application folder" 'no Emberlin.exe at the top'
# Wine hides links that lead nowhere or round in a cycle from the Windows calls altogether
# (tarvik-payload build's test has them); a link to a folder it shows as Windows does.
new_tree
put Emberlin.exe
mkdir -p "$run/sub" && ln -s .. "$run/sub/loop"
refused "linked folder" 'symbolic link to a folder, or one that leads nowhere \(not followed\): E:.*sub\\loop; no installer'
new_tree
put Emberlin.exe
mkdir -p "$run/sub" && mkfifo "$run/sub/pipe"
refused "FIFO" 'neither a file nor a folder: E:.*sub\\pipe; no installer written'
for names in 'a.txt A.TXT' 'Привет.txt ПРИВЕТ.txt' 'Ω.txt ω.txt'; do
    new_tree
    put Emberlin.exe
    for name in $names; do put "sub/$name"; done
    refused "one name on Windows: $names" 'two names that are one on Windows'
done
new_tree
put Emberlin.exe
put "sub/$(printf 'd%.0s' {1..200})/$(printf 'f%.0s' {1..30}).txt"
refused "path too long to install" 'path too long to install'
# Within 259 characters under the install folder, but not with the file's part file.
new_tree
put Emberlin.exe
put "$(printf 'g%.0s' {1..214})"
refused "too long with the part file" 'path too long to install .*part file included'

for name in 'CON.txt' 'nul' 'dot.'; do
    new_tree
    put Emberlin.exe
    put "$name"
    refused "name $name" 'name Windows cannot create'
done
# A driver file that is there but cannot be read (a folder in its place) stops the build;
# names in another letter case are found.
new_tree
put Emberlin.exe
printf 'older installer' > "$out"
rm -rf "$work/b" && mkdir -p "$work/b/drivers/XP/2303/ser2pl.inf" && printf 'cat' > "$work/b/drivers/XP/2303/SER2PL.CAT"
cp "$setup" "$work/b/SetupTarvik.exe"
(cd "$work/b" && timeout 60 "$wine_run" --root "$wine_root" SetupTarvik.exe >/dev/null 2>&1)
[ $? = 1 ] || fail "unreadable driver: exit code"
builder_log | grep -q 'cannot read .*drivers\\xp\\2303\\ser2pl.inf; no installer written' \
    || fail "unreadable driver: log says $(builder_log | tail -n 1)"
# The inkscape gap is logged; a full disk keeps the older installer (writes beyond 100 KiB
# fail, and the stub alone is larger).
new_tree
put Emberlin.exe
[ "$(build)" = 0 ] || fail "no inkscape: exit code"
builder_log | grep -q 'no inkscape\\inkscape.exe in E:' || fail "no inkscape: not logged"
printf 'older installer' > "$out"
rm -rf "$work/b" && mkdir -p "$work/b/drivers" && cp "$setup" "$work/b/SetupTarvik.exe"
(cd "$work/b" && trap '' XFSZ && ulimit -f 100 && timeout 60 "$wine_run" --root "$wine_root" SetupTarvik.exe >/dev/null 2>&1)
[ $? = 1 ] || fail "full disk: exit code"
[ "$(cat "$out")" = "older installer" ] || fail "full disk: the older installer was replaced"
[ "$(ls -A "$top/MyTarvik")" = SetupTarvik.exe ] || fail "full disk: left behind $(ls -A "$top/MyTarvik")"
rm -f "$out" && mkdir "$out"
[ "$(build)" = 1 ] || fail "output a folder: exit code"
[ -d "$out" ] || fail "output a folder: removed"
rmdir "$out"

# The finished installer started where a builder would run starts in installer mode: it
# writes no installer and logs no build.
new_tree
put Emberlin.exe
[ "$(build)" = 0 ] || fail "installer: first build"
cp "$out" "$work/installer.exe"
rm -f "$out"
cp "$work/installer.exe" "$work/b/SetupTarvik.exe"
rm -f "$work/b/SetupTarvik.log"
(cd "$work/b" && timeout 30 "$wine_run" --root "$wine_root" SetupTarvik.exe >/dev/null 2>&1)
[ ! -e "$out" ] || fail "installer: started as a builder"
builder_log | grep -q 'Builder:' && fail "installer: logged a build"

WINEPREFIX="$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}" wineserver -k 2>/dev/null
[ "$failures" = 0 ] && echo "builder: all checks passed"
exit $(( failures > 0 ))
