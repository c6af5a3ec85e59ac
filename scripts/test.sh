#!/usr/bin/env bash
# The whole test run: installs what is missing, then builds and tests
#  1. the portable cores natively, under AddressSanitizer and UBSan, and fuzzes them briefly;
#  2. the Windows build (product, tools, unit tests) with every test under Wine: the 32-bit
#     build where this machine runs 32-bit programs, otherwise the same code built for 64-bit
#     Windows (scripts/windows-arch.sh; TARVIK_WINDOWS_ARCH=32|64 chooses).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
. scripts/windows-arch.sh
windows_arch
mode="Windows tests: the $TARVIK_WINDOWS_ARCH-bit build in $windows_build/ ($windows_arch_why)"
echo "== $mode"
not_run="$windows_build/tests-not-run.txt"
windows_log="$windows_build/windows-tests.log"
# The run ends, passed or failed, with the test cases that this build ended at once (their
# subject a 32-bit program on 64-bit Windows), which build it tested, and ctest's verdict again.
finish() {
  local count log="$windows_build/Testing/Temporary/LastTest.log"
  for prefix in "$windows_build"/wine/prefix* "$windows_build"/wine/*/prefix*; do
    [ -d "$prefix" ] && WINEPREFIX="$top/$prefix" wineserver -k 2>/dev/null || true
  done
  if [ -f "$log" ] && grep -q '^not in the 64-bit build: ' "$log"; then
    echo "== Test cases not run in the 64-bit build, with the reason:"
    awk '/^[0-9]+\/[0-9]+ Test: /{name=$3} sub(/^not in the 64-bit build: /, "") {print "  " name ": " $0}' "$log"
  fi
  count=$(grep -c . "$not_run" 2>/dev/null) || true
  echo "== $mode; test programs not run in it: ${count:-0} (listed before the Windows tests and in $not_run)"
  grep -E '^[0-9]+% tests passed' "$windows_log" 2>/dev/null || true
}
trap finish EXIT

if [ "$(id -u)" = 0 ]; then bash scripts/setup.sh; else sudo bash scripts/setup.sh; fi

jobs=$(nproc)

cmake -S . -B build-native -G Ninja -DTARVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-native -j "$jobs"
ctest --test-dir build-native --output-on-failure -j "$jobs"

# A short fuzzing round of the byte-level cores from the seed inputs (a copy: libFuzzer adds
# what it finds to the corpus folder).
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTARVIK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j "$jobs" --target payload_fuzz xml_fuzz
for fuzzer in payload xml; do
  rm -rf "build-fuzz/corpus-$fuzzer" && cp -r "fuzz/corpus/$fuzzer" "build-fuzz/corpus-$fuzzer"
  log="build-fuzz/$fuzzer-fuzz.log"
  if ! "build-fuzz/fuzz/${fuzzer}_fuzz" -max_total_time=30 -max_len=4096 -print_final_stats=1 -artifact_prefix=build-fuzz/ \
      "build-fuzz/corpus-$fuzzer" >"$log" 2>&1; then
    tail -n 60 "$log"
    exit 1
  fi
  echo "$fuzzer fuzzer: $(grep -E '^stat::number_of_executed_units' "$log"), no failure"
done

cmake -S . -B "$windows_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain"
cmake --build "$windows_build" -j "$jobs"
if [ -s "$not_run" ]; then
  echo "== Not run in the $TARVIK_WINDOWS_ARCH-bit build, with the reason:"
  sed 's/^/  /' "$not_run"
fi
rm -f "$windows_log"
ctest --test-dir "$windows_build" --output-on-failure -j "$jobs" | tee "$windows_log"
