#!/usr/bin/env bash
# The release steps on the staged sample: the Linux build command writes the same bytes as
# the builder under Wine, tarvik-payload verify passes it, and a signed installer verifies,
# still loads its payload, and fails verification once a payload byte is changed.
#   release_test.sh WINE_RUN WINE_ROOT SAMPLE_DIR TARVIK_PAYLOAD TARVIK_PAYLOAD_EXE
# SAMPLE_DIR holds Run/ and builder/ as the build stages them; TARVIK_PAYLOAD is the inspector
# built for this machine, TARVIK_PAYLOAD_EXE the Windows one. Exit code 77: skipped.
set -u
wine_run=$1 wine_root=$2 sample=$3 tool=$4 tool_exe=$5
for need in osslsigncode openssl; do
    command -v $need >/dev/null || { echo "SKIP: $need is missing (scripts/setup.sh installs it)"; exit 77; }
done
locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || { echo "SKIP: the zh_CN.UTF-8 locale is missing"; exit 77; }
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The builder under Wine, as a developer runs it.
top="$work/e/Orvanet/激光"
mkdir -p "$top/MyTarvik" && cp -r "$sample/Run" "$top/Run" && cp -r "$sample/builder" "$work/b"
"$wine_run" --root "$wine_root" cmd /c exit >/dev/null 2>&1
ln -sfn "$work/e" "$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}/dosdevices/e:"
(cd "$work/b" && timeout 120 "$wine_run" --root "$wine_root" SetupTarvik.exe >/dev/null 2>&1) || fail "builder exit code $?"
built="$top/MyTarvik/SetupTarvik.exe"

# The same job on Linux: byte for byte the same installer.
"$tool" build "$sample/builder/SetupTarvik.exe" "$work/linux.exe" --app "$sample/Run" \
    --drivers "$sample/builder/drivers" --language "$sample/builder/Language.zip" || fail "Linux build exit code $?"
cmp -s "$built" "$work/linux.exe" || fail "the Linux build differs from the builder's installer"
"$tool" list "$work/linux.exe" > "$work/entries"
grep -q "^win7_2303_upd64_exe	" "$work/entries" && grep -q "^MyLangage	" "$work/entries" \
    || fail "installer lacks the updater or the language archive"

# The check between build and sign: the sample installer holds every fixed entry and a sound
# file list, and the signed one still passes.
"$tool" verify --strict "$work/linux.exe" > "$work/verified" || fail "verify: $(cat "$work/verified")"

# Signing with a certificate made here.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Mini Tarvik test" >/dev/null 2>&1 || fail "no test certificate"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Mini Tarvik Setup" \
    -in "$work/linux.exe" -out "$work/signed.exe" >/dev/null || fail "signing failed"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >/dev/null 2>&1 || fail "a signed installer does not verify"

# The signed installer still loads: the same entries, here and under Wine with the product's
# own loader.
"$tool" list "$work/signed.exe" | cmp -s - "$work/entries" || fail "signed installer lists other entries"
"$tool" extract "$work/signed.exe" FilesInfo "$work/signed-info" && "$tool" extract "$work/linux.exe" FilesInfo "$work/info" \
    && cmp -s "$work/signed-info" "$work/info" || fail "signed installer gives another FilesInfo"
cp "$tool_exe" "$work/tarvik-payload.exe"
(cd "$work" && "$wine_run" --root "$wine_root" tarvik-payload.exe list signed.exe 2>/dev/null | tr -d '\r') \
    | cmp -s - "$work/entries" || fail "signed installer does not load under Wine"
"$tool" verify --strict "$work/signed.exe" >/dev/null || fail "the signed installer does not verify"

# One payload byte changed after signing: verification fails.
stub=$(head -n 1 "$work/entries" | awk '{print $2}')
cp "$work/signed.exe" "$work/changed.exe"
offset=$((stub + 1000))
byte=$(od -An -tu1 -j "$offset" -N 1 "$work/changed.exe" | tr -d ' ')
printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$work/changed.exe" bs=1 seek="$offset" conv=notrunc 2>/dev/null
cmp -s "$work/signed.exe" "$work/changed.exe" && fail "the payload byte was not changed"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/changed.exe" >/dev/null 2>&1 && fail "a changed payload still verifies"

WINEPREFIX="$wine_root/prefix${TARVIK_WINDOWS_ARCH:-32}" wineserver -k 2>/dev/null
[ "$failures" = 0 ] && echo "release: all checks passed"
exit $(( failures > 0 ))
