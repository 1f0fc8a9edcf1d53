#!/usr/bin/env bash
# On a fresh Debian machine: installs what is missing, builds, makes a sample card and
# ingests it with copycard (raws through the stand-in converter, sidecars from the sample
# template), then shows the report and the backup and primary trees.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
work=${OAKVANE_DEMO:-/tmp/oakvane-demo}

"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" copycard make_sample_card standin-converter >/dev/null

rm -rf "$work"
mkdir -p "$work"
export TZ=${TZ:-UTC}
"$build/tools/make_sample_card" "$work/card" --preset demo

echo
echo "== copycard =="
status=0
"$build/tools/copycard" copy "$work/card/DCIM" "$work/backup" "$work/primary" \
  "$build/tools/standin-converter" 2 IMG Job "" "" SDNE -p1 "" - \
  "$top/samples/Basic.xmp" DUR 1 Wedding 2>"$work/diagnostics.txt" || status=$?
echo "(exit status $status; engine diagnostics in $work/diagnostics.txt)"

for tree in backup primary; do
  echo
  echo "== $tree tree =="
  (cd "$work" && find "$tree" | sort)
done
exit "$status"
