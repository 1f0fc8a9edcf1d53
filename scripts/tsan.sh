#!/usr/bin/env bash
# Runs the engine and the command-line end-to-end suites under ThreadSanitizer in a build of
# its own: build-tsan/ (or $OAKVANE_TSAN_BUILD). Any race report fails the run (the programs
# the suites start exit with status 66). The suites' pipeline tests run the JPEG decoders on
# several threads and on one. The window suites are left out: Debian's Qt, D-Bus and GLib are
# not instrumented, and reports inside them are suppressed (scripts/tsan-suppressions.txt).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_TSAN_BUILD:-$top/build-tsan}
flags="-fsanitize=thread -fno-omit-frame-pointer"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread >/dev/null
suites=(engine_tests copycard_e2e_tests oakvane_ingest_e2e_tests)
cmake --build "$build" --target "${suites[@]}"

export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$top/scripts/tsan-suppressions.txt"
pattern="^($(IFS='|'; echo "${suites[*]}"))\$"
ctest --test-dir "$build" --output-on-failure -R "$pattern" </dev/null
