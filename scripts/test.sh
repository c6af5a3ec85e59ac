#!/usr/bin/env bash
# The whole test run: installs what is missing, then builds and tests
#  1. the portable cores natively, under AddressSanitizer and UBSan, and fuzzes them briefly;
#  2. the Windows build (product, tools, unit tests) with every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

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

cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
cmake --build build -j "$jobs"
stop_wine() {
  for prefix in build/wine/prefix* build/wine/*/prefix*; do
    [ -d "$prefix" ] && WINEPREFIX="$top/$prefix" wineserver -k 2>/dev/null || true
  done
}
trap stop_wine EXIT
ctest --test-dir build --output-on-failure -j "$jobs"
