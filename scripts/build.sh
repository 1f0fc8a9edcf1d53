#!/usr/bin/env bash
# Configures and builds Oakvane into build/ (or $OAKVANE_BUILD): everything, or the
# targets named as arguments.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" ${1:+--target "$@"}
