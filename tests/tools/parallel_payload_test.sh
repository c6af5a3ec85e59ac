#!/usr/bin/env bash
# The payload deflated in pieces on several threads: the same installer bytes from 1, 2 and 8
# threads, and a member that Python's own zlib inflates with its CRC-32 holding, read by a
# small reader of the container that shares no code with the project.
#   parallel_payload_test.sh TARVIK_PAYLOAD   Exit code 77: skipped.
set -u
tool=$1
here="$(cd "$(dirname "$0")" && pwd)"
reader="$here/payload_reader.py"
command -v python3 >/dev/null || { echo "SKIP: python3 is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

. "$here/sample_entries.sh"
for threads in 1 2 8; do
    "$tool" pack -j $threads stub "j$threads.exe" "${pairs[@]}" || fail "pack -j $threads: exit code $?"
done
"$tool" pack stub all.exe "${pairs[@]}" || fail "pack on every processor: exit code $?"
for other in j2.exe j8.exe all.exe; do cmp -s j1.exe $other || fail "$other differs from one thread's installer"; done

mkdir entries
python3 "$reader" j8.exe entries > listed 2> reason || fail "Python reader: $(cat reason)"
read_back_holds "Python reader" listed entries

out=$("$tool" pack -j 0 stub x.exe FILE0=text.txt 2>&1); [ $? = 1 ] && [[ $out == *usage* ]] || fail "-j 0 accepted: $out"
out=$("$tool" build -j stub x.exe 2>&1); [ $? = 1 ] && [[ $out == *usage* ]] || fail "-j without count accepted: $out"

[ "$failures" = 0 ] && echo "parallel payload: all checks passed"
exit $(( failures > 0 ))
