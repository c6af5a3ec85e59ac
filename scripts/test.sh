#!/usr/bin/env bash
# The whole test run: installs what is missing, then builds and tests
#  1. the portable cores natively, under AddressSanitizer and UBSan;
#  2. the Windows build (product, tools, unit tests) with every test under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

if [ "$(id -u)" = 0 ]; then bash scripts/setup.sh; else sudo bash scripts/setup.sh; fi

jobs=$(nproc)

cmake -S . -B build-native -G Ninja -DTARVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-native -j "$jobs"
ctest --test-dir build-native --output-on-failure -j "$jobs"

cmake -S . -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake
cmake --build build -j "$jobs"
stop_wine() {
  for prefix in build/wine/prefix* build/wine/*/prefix*; do
    [ -d "$prefix" ] && WINEPREFIX="$top/$prefix" wineserver -k 2>/dev/null || true
  done
}
trap stop_wine EXIT
ctest --test-dir build --output-on-failure -j "$jobs"
