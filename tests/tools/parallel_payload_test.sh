#!/usr/bin/env bash
# The payload deflated in pieces on several threads: the same installer bytes from 1, 2 and 8
# threads, and a member that Python's own zlib inflates with its CRC-32 holding, read by a
# small reader of the container that shares no code with the project.
#   parallel_payload_test.sh TARVIK_PAYLOAD   Exit code 77: skipped.
set -u
tool=$1
reader="$(cd "$(dirname "$0")" && pwd)/payload_reader.py"
command -v python3 >/dev/null || { echo "SKIP: python3 is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Several pieces of 1 MiB: text that deflate shrinks, random bytes it cannot, and zeros.
head -c 3000 /dev/urandom > stub
seq 1 400000 > text.txt
head -c 1500000 /dev/urandom > random.bin
head -c 1048577 /dev/zero > zeros.bin
: > empty.txt
pairs=(FILE0=text.txt FILE1=random.bin FILE2=zeros.bin FILE3=empty.txt MyLangage=text.txt)
for threads in 1 2 8; do
    "$tool" pack -j $threads stub "j$threads.exe" "${pairs[@]}" || fail "pack -j $threads: exit code $?"
done
"$tool" pack stub all.exe "${pairs[@]}" || fail "pack on every processor: exit code $?"
for other in j2.exe j8.exe all.exe; do cmp -s j1.exe $other || fail "$other differs from one thread's installer"; done

mkdir entries
python3 "$reader" j8.exe entries > listed 2> reason || fail "Python reader: $(cat reason)"
[ "$(cat listed)" = "$(printf 'FILE0\t%d\nFILE1\t1500000\nFILE2\t1048577\nFILE3\t0\nMyLangage\t%d' \
    "$(stat -c %s text.txt)" "$(stat -c %s text.txt)")" ] || fail "Python reader lists $(cat listed)"
for pair in "${pairs[@]}"; do
    cmp -s "entries/${pair%%=*}" "${pair#*=}" || fail "Python reader: ${pair%%=*} differs"
done

out=$("$tool" pack -j 0 stub x.exe FILE0=text.txt 2>&1); [ $? = 1 ] && [[ $out == *usage* ]] || fail "-j 0 accepted: $out"
out=$("$tool" build -j stub x.exe 2>&1); [ $? = 1 ] && [[ $out == *usage* ]] || fail "-j without count accepted: $out"

[ "$failures" = 0 ] && echo "parallel payload: all checks passed"
exit $(( failures > 0 ))
