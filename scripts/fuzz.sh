#!/usr/bin/env bash
# Fuzzes the set-file reader with libFuzzer for a bounded time: fuzz.sh [seconds] (default 60).
# Builds a clang build of its own in build-fuzz/ (or $OAKVANE_FUZZ_BUILD) with the address and
# undefined-behaviour sanitizers. Exits non-zero on any crash, sanitizer report or failed check;
# the input that caused it is left in <build>/propset-findings/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_FUZZ_BUILD:-$top/build-fuzz}
seconds=${1:-60}

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DOAKVANE_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target propset_fuzz

corpus=$build/propset-corpus
findings=$build/propset-findings
mkdir -p "$corpus" "$findings"
# Seeds: a set as the store writes it, CR LF line ends, a multi-valued property, odd TABs,
# and a line longer than the reader's line buffer.
printf 'Version\t1\nDate\tSun Feb 26 14:23:45 2006\nArrangement\t2\nUserFolder\tMy Job\n' \
  >"$corpus/seed-written"
printf 'Version\t1\r\nDate\tSun Feb 26 14:23:45 2006\r\nK\tp\r\nK\tq\r\nK\tr\r\n' >"$corpus/seed-crlf"
printf '\t\tN\t\tv\nno tab\n\nE\t\n\t\t' >"$corpus/seed-tabs"
{ printf 'L\t'; head -c 3000 /dev/zero | tr '\0' 'x'; printf '\tT\tz\n'; } >"$corpus/seed-long"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
"$build/tests/fuzz/propset_fuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$findings/" "$corpus"
