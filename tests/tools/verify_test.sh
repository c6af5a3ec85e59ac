#!/usr/bin/env bash
# tarvik-payload verify on a sound installer and on a table of damaged ones: each damage named
# in its own line, exit code 1; the sound one passes, and --strict counts missing drivers.
#   verify_test.sh TARVIK_PAYLOAD SETUPTARVIK_EXE PLAIN_EXE
# TARVIK_PAYLOAD is the tool built for this machine; SETUPTARVIK_EXE the plain stub; PLAIN_EXE
# a Windows program without manifest or version resource. Exit code 77: skipped.
set -u
tool=$1 stub=$2 plain=$3
here="$(cd "$(dirname "$0")" && pwd)"
command -v python3 >/dev/null || { echo "SKIP: python3 is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
verify() {  # verify DESCRIPTION EXPECTED-EXIT PATTERN FILE [--strict]
    local what=$1 code=$2 pattern=$3 file=$4 out rc
    out=$("$tool" verify ${5:-} "$file" 2>&1); rc=$?
    if [ "$rc" != "$code" ] || ! grep -qE -- "$pattern" <<<"$out"; then fail "$what (exit $rc): $out"; fi
}
info() {  # the file list document with these values, and its zero byte
    printf '<?xml version="1.0" encoding="gb2312"?><zxmlInfo><ExFastInfo xResult="1" %s></ExFastInfo></zxmlInfo>\0' "$1"
}

# A copy of the stub: nothing lies beside it, so the entries are only those made here.
cp "$stub" stub.exe && stub=$work/stub.exe
mkdir -p app/sub drivers/xp/2303 && printf 'e' > app/Emberlin.exe && printf 'a' > app/sub/a.txt
printf 'cat' > drivers/xp/2303/ser2pl.cat && printf 'zip' > Language.zip
"$tool" build "$stub" good.exe --app app --drivers drivers --language Language.zip 2>/dev/null || fail "build"
verify "sound installer" 0 '^good.exe: 5 entries, [0-9]+ bytes unpacked \(deflate\), 2 files, 1 folders; all checks hold$' good.exe
"$tool" build --zstd "$stub" zstd.exe --app app --drivers drivers --language Language.zip 2>/dev/null || fail "build --zstd"
verify "sound installer sealed with Zstandard" 0 '^zstd.exe: 5 entries, [0-9]+ bytes unpacked \(zstd\), 2 files, 1 folders; all checks hold$' zstd.exe
verify "missing drivers noted" 0 '^note: fixed entry win7_2303_upd64_exe \(drivers.win7.2303.upd64.exe\) missing$' good.exe
verify "missing drivers with --strict" 1 '^problem: fixed entry ch341ser_ch341pt_dll .* missing$' good.exe --strict

python3 "$here/payload_damage.py" good.exe crc.exe
verify "CRC-32 flipped" 1 '^problem: damaged payload in crc.exe \(it does not unseal, or its CRC-32 does not hold\)$' crc.exe
python3 "$here/payload_damage.py" zstd.exe zstd-crc.exe
verify "CRC-32 flipped, Zstandard" 1 '^problem: damaged payload in zstd-crc.exe \(it does not unseal' zstd-crc.exe
"$tool" pack "$stub" no-info.exe FILE0=app/Emberlin.exe MyLangage=Language.zip
verify "FilesInfo missing" 1 '^problem: no FilesInfo entry' no-info.exe
info 'FileCount="2" FILE0="\Emberlin.exe" FILE1="\sub\a.txt" PathCount="1" PATH0="\sub"' > two-files
"$tool" pack "$stub" no-entry.exe FILE0=app/Emberlin.exe FilesInfo=two-files
verify "FILE without entry" 1 '^problem: FilesInfo: FILE1 \(\\sub\\a.txt\) has no entry$' no-entry.exe
info 'FileCount="2" FILE0="\Emberlin.exe" FILE1="\..\evil.exe" PathCount="0"' > unsafe
"$tool" pack "$stub" unsafe.exe FILE0=app/Emberlin.exe FILE1=app/sub/a.txt FilesInfo=unsafe
verify "unsafe path" 1 '^problem: FilesInfo: unsafe path in FILE1: \\\.\.\\evil.exe$' unsafe.exe
"$tool" pack "$stub" extra.exe FILE0=app/Emberlin.exe FILE1=app/sub/a.txt FILE7=app/sub/a.txt FilesInfo=two-files
verify "extra entry" 1 '^problem: extra entry FILE7: nothing installs it$' extra.exe
long=$(printf 'g%.0s' {1..214})
info "FileCount=\"2\" FILE0=\"\\Emberlin.exe\" FILE1=\"\\$long\" PathCount=\"0\"" > long-file
"$tool" pack "$stub" long.exe FILE0=app/Emberlin.exe FILE1=app/sub/a.txt FilesInfo=long-file
verify "a file too long with its part file" 1 "^problem: FilesInfo: path too long to install in FILE1: \\\\$long\$" long.exe
info 'FileCount="3" FILE0="\Emberlin.exe" FILE1="\sub\a.txt" PathCount="1" PATH0="\sub" PATH1="\x"' > counts
"$tool" pack "$stub" counts.exe FILE0=app/Emberlin.exe FILE1=app/sub/a.txt FilesInfo=counts
verify "counts that do not match" 1 '^problem: FilesInfo: FILE2 missing \(FileCount 3\)$' counts.exe
verify "a value beyond its count" 1 '^problem: FilesInfo: PATH1 beyond PathCount 1$' counts.exe
printf 'not a document\0' > broken
"$tool" pack "$stub" broken.exe FILE0=app/Emberlin.exe FilesInfo=broken
verify "FilesInfo not well-formed" 1 '^problem: FilesInfo is not a well-formed file list$' broken.exe
info 'FileCount="1" FILE0="\sub\a.txt" PathCount="1" PATH0="\sub"' > no-app
"$tool" pack "$stub" no-app.exe FILE0=app/sub/a.txt FilesInfo=no-app
verify "no Emberlin.exe" 1 '^problem: FilesInfo: no \\Emberlin.exe at the top' no-app.exe
"$tool" build "$plain" plain.exe --app app --drivers drivers --language Language.zip 2>/dev/null
verify "no manifest" 1 '^problem: stub has no manifest asking for administrator rights$' plain.exe
verify "no version resource" 1 '^problem: stub has no version resource$' plain.exe
verify "summary of a damaged one" 1 '^plain.exe: 5 entries, .*; 2 problems$' plain.exe
verify "no payload" 1 '^problem: no payload in' "$stub"

[ "$failures" = 0 ] && echo "tarvik-payload verify: all checks passed"
exit $(( failures > 0 ))
