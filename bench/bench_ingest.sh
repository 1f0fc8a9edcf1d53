#!/usr/bin/env bash
# Ingestion benchmark: copycard against what the same work costs with standard tools.
#
#   card 1: about 200 files, RAW+JPEG pairs (4000x3000 JPEGs of ~4.5 MB, 25 MB raws)
#           copycard  vs  copy baseline (cp -r of the card into two folders, then sync:
#                         copycard flushes every copy to stable storage before success)
#                         + decode baseline (djpeg of every JPEG to /dev/null)
#   card 2: 2000 files of 100 KB (no JPEGs): per-file overhead, copycard vs cp -r twice + sync
#
# Every figure is the best of $RUNS runs with the card in the page cache; peak resident
# memory is copycard's, from /usr/bin/time. Targets: ratio <= 1.15 on card 1, <= 1.5 on
# card 2, peak memory < 30 MB on both. Needs about 12 GB free under $BENCH_DIR.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
work=${BENCH_DIR:-/tmp/oakvane-bench}
runs=${RUNS:-3}
export TZ=UTC

"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" copycard make_sample_card >/dev/null
copycard=$build/tools/copycard

rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# Best wall time (seconds) of $runs runs of "$@", with $clean run before each, untimed.
best_time() {
  local clean=$1; shift
  local best="" t
  for _ in $(seq "$runs"); do
    eval "$clean"; sync
    /usr/bin/time -f '%e' -o "$work/elapsed" "$@" >/dev/null 2>&1
    t=$(tail -n 1 "$work/elapsed")
    best=$(awk -v a="$t" -v b="${best:-$t}" 'BEGIN { print (a < b ? a : b) }')
  done
  echo "$best"
}

# Peak resident memory (KB) of one copycard run.
peak_kb() {
  rm -rf "$work/backup" "$work/primary"; sync
  /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1
  tail -n 1 "$work/rss"
}

ingest() {  # card folder
  "$copycard" copy "$1" "$work/backup" "$work/primary" none 1 IMG "" "" "" SDNE -p1 "" - "" D-R 1 Job
}

copy_twice() { cp -r "$1" "$work/copy1" && cp -r "$1" "$work/copy2" && sync; }
decode_all() { find "$1" -name '*.JPG' -print0 | xargs -0 -n 1 djpeg -outfile /dev/null; }
export -f ingest copy_twice decode_all
export work copycard

report() {  # name card
  local name=$1 card=$2
  find "$card" -type f -exec cat {} + >/dev/null
  local t_cc t_cp t_dj mem
  t_cc=$(best_time 'rm -rf "$work/backup" "$work/primary"' bash -c 'ingest "$0"' "$card/DCIM")
  t_cp=$(best_time 'rm -rf "$work/copy1" "$work/copy2"' bash -c 'copy_twice "$0"' "$card")
  rm -rf "$work/copy1" "$work/copy2"
  mem=$(peak_kb "$copycard" copy "$card/DCIM" "$work/backup" "$work/primary" none 1 IMG "" "" "" SDNE -p1 "" - "" D-R 1 Job)
  rm -rf "$work/backup" "$work/primary"
  if [ "$name" = "card 1" ]; then
    t_dj=$(best_time ':' bash -c 'decode_all "$0"' "$card")
    awk -v n="$name" -v cc="$t_cc" -v cp="$t_cp" -v dj="$t_dj" -v m="$mem" 'BEGIN {
      printf "%s: copycard %.2f s, copy baseline %.2f s, decode baseline %.2f s, ratio copycard/(copy+decode) %.3f (target <= 1.15), peak memory %.1f MB (target < 30)\n",
             n, cc, cp, dj, cc / (cp + dj), m / 1024 }'
  else
    awk -v n="$name" -v cc="$t_cc" -v cp="$t_cp" -v m="$mem" 'BEGIN {
      printf "%s: copycard %.2f s, copy baseline %.2f s, ratio copycard/copy %.3f (target <= 1.5), per file %.0f us vs %.0f us, peak memory %.1f MB (target < 30)\n",
             n, cc, cp, cc / cp, cc / 2000 * 1e6, cp / 2000 * 1e6, m / 1024 }'
  fi
}

echo "making cards in $work ..."
"$build/tools/make_sample_card" "$work/card1" --preset bench
"$build/tools/make_sample_card" "$work/card2" --preset many
report "card 1" "$work/card1"
rm -rf "$work/card1"
report "card 2" "$work/card2"
