#!/usr/bin/env bash
# An ingestion through the desktop window against copycard on the same card: the window's
# worker hands every output line and progress step to the user-interface thread, and a long
# run's output must not slow the run. Target: window / copycard <= 1.2.
#
#   card: 2000 raw-only files of 100 KB in 4 folders (make_sample_card --preset many), in the
#   page cache; each figure is the best of $RUNS runs, the two programs taking turns; the
#   window runs offscreen and only its Start command is timed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
runs=${RUNS:-5}
export TZ=UTC QT_QPA_PLATFORM=offscreen OAKVANE_UPDATE_URL=http://127.0.0.1:1

"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" copycard make_sample_card bench-window-ingest >/dev/null

# A folder of the user's own unless one is named: a fixed name under /tmp is shared.
if [ -n "${BENCH_DIR:-}" ]; then
  work=$BENCH_DIR
  rm -rf "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/oakvane-bench-window.XXXXXX")
fi
mkdir -p "$work/config/Oakvane/Main"
trap 'rm -rf "$work"' EXIT
"$build/tests/standins/make_sample_card" "$work/card" --preset many >/dev/null
find "$work/card" -type f -exec cat {} + >/dev/null

# The same settings for both: date folders, number ranges, the name format SDNE, no converter.
export XDG_CONFIG_HOME=$work/config HOME=$work
printf 'Version\t1\nDate\tMon Dec  7 00:00:00 2026\n%s\n' \
  "CardFolder	$work/card/DCIM" "BackupFolder	$work/backup" "PrimaryFolder	$work/primary" \
  "KeepRaw	0" "Arrangement	1" "NamePfx	IMG" "NameFmt	SDNE" "Preview	-p1" \
  "WantDateFolders	1" "WantUserFolder	0" "WantRangeFolder	1" "Template	[none]" \
  "ViewerApp	[none]" "AutoEject	0" "StartingNumber	1" > "$work/config/Oakvane/Main/Default"

fresh_trees() { rm -rf "$work/backup" "$work/primary"; mkdir -p "$work/backup"; sync; }
min() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN { print (a < b ? a : b) }'; }

copycard_run() {
  local start end
  start=$(date +%s.%N)
  "$build/tools/copycard" copy "$work/card/DCIM" "$work/backup" "$work/primary" none 1 IMG "" "" "" \
    SDNE -p1 "" - "" D-R 1 "" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

window_run() { "$build/bench/bench-window-ingest" 2>/dev/null | cut -d' ' -f1; }

# The runs alternate: the machine's write-back state drifts from run to run, and a block of
# one program's runs after the other's would measure the drift.
t_cc="" t_win=""
for _ in $(seq "$runs"); do
  fresh_trees; t_cc=$(min "$(copycard_run)" "$t_cc")
  fresh_trees; t_win=$(min "$(window_run)" "$t_win")
done
fresh_trees
lines=$("$build/bench/bench-window-ingest" 2>/dev/null | cut -d' ' -f2 || true)
awk -v cc="$t_cc" -v w="$t_win" -v n="$lines" 'BEGIN {
  printf "2000 files: copycard %.3f s, window %.3f s (%s output lines), ratio window/copycard %.3f (target <= 1.2)\n",
         cc, w, n, w / cc }'
