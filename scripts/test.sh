#!/usr/bin/env bash
# On a fresh Debian machine: installs what is missing, builds, and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
ctest --test-dir "$build" --output-on-failure
