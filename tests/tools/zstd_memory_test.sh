#!/usr/bin/env bash
# Sealing with Zstandard where the compressor's state for every worker asked for does not fit
# in the address space, as for the 32-bit Windows tool on a machine with many processors: the
# tool makes the same installer with fewer workers instead of failing, and where not even one
# worker fits it fails with the memory message and writes nothing. The room is limited with
# `ulimit -v` around the tool built for this machine (not under a sanitizer, whose shadow
# memory needs more room than any limit here).
#   zstd_memory_test.sh TARVIK_PAYLOAD
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# One arena for every thread: glibc otherwise reserves 64 MiB of address space per thread,
# which is no part of the compressor's state.
export MALLOC_ARENA_MAX=1
limited() {  # limited KIB COMMAND...: the command with at most KIB KiB of address space
    (ulimit -v "$1" && shift && "$@")
}

# 192 MiB: three of level 19's jobs of 64 MiB, mostly zeros (quick to compress) with a piece
# of random bytes in every 8 MiB.
head -c 3000 /dev/urandom > stub
for i in $(seq 24); do head -c 65536 /dev/urandom; head -c $((8 * 1048576 - 65536)) /dev/zero; done > body.bin

"$tool" pack -j 1 --zstd=19 stub one.exe FILE0=body.bin || fail "one worker, no limit: exit code $?"
limited 1048576 "$tool" pack -j 8 --zstd=19 stub eight.exe FILE0=body.bin \
    || fail "eight workers within 1 GiB: exit code $?"
cmp -s one.exe eight.exe || fail "eight workers within 1 GiB: the installer differs from one worker's"

out=$(limited 262144 "$tool" pack -j 8 --zstd=19 stub none.exe FILE0=body.bin 2>&1)
rc=$?
[ "$rc" = 1 ] && grep -q 'not enough memory' <<<"$out" || fail "no room for one worker: exit $rc: $out"
[ ! -e none.exe ] || fail "no room for one worker: none.exe written"

[ "$failures" = 0 ] && echo "Zstandard within limited memory: all checks passed"
exit $(( failures > 0 ))
