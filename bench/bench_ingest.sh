#!/usr/bin/env bash
# Ingestion benchmark: copycard against what the same work costs with standard tools.
#
#   bench_ingest.sh             card 1 and card 2, copycard with its default decoders and with
#                               one (OAKVANE_VERIFY_WORKERS=1), and with read-back off
#                               (OAKVANE_READ_BACK=0), against the baselines
#   bench_ingest.sh --scaling   also cards of 200, 2,000 and 20,000 files and one of 1,000
#                               JPEGs of 24 megapixels: wall time, per file, per MB, peak memory
#
#   card 1: 200 files, RAW+JPEG pairs (4000x3000 JPEGs of ~4.5 MB, 24-megapixel lossless-JPEG
#           DNG raws of ~20 MB).
#           sequential baseline: cp -r of the card into two folders, sync, then djpeg of every
#           JPEG to /dev/null and a LibRaw unpack of every raw (bench/raw_unpack): the least
#           work of the job, one step after another.
#           Target: copycard with read-back off <= 0.6 of it; peak memory < 300 MB.
#           read-back baseline: the same, and every check read-back adds with a standard tool
#           each: both copies dropped from the page cache file by file (dd iflag=nocache
#           count=0), then xxh128sum of both trees. Target: copycard <= 0.6 of it.
#   card 2: 2000 raws of 100 KB (small uncompressed DNGs, no JPEGs). copy baseline: cp -r
#           twice, sync (copycard flushes every copy to stable storage before success), then a
#           LibRaw unpack of every raw. Target: copycard with read-back off <= 1.0 of it; with
#           read-back on, shown against the read-back baseline. Peak memory < 30 MB.
#   card 3: 200 JPEGs of 4000x3000, no raws: peak memory < 30 MB.
#   card 1 through a camera: copycard reading the card through libgphoto2's "Directory Browse"
#           camera (camera:disk:<card>), as a camera connected over USB is read. Target: at
#           most 1.3 times copycard reading the card folder.
#
#   COMPARE_COPYCARD=/path/to/other/copycard times another build of copycard in the same rounds
#   (say, the one before a change), so that both are measured under the same load.
#
# The timed commands take turns within each round, so that load from elsewhere falls on
# all of them alike; each figure is the best of $RUNS rounds, with the card in the page
# cache. Needs about 12 GB free under $BENCH_DIR (the scaling cards about 35 GB more).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
runs=${RUNS:-3}
scaling=0
[ "${1:-}" = "--scaling" ] && scaling=1
export TZ=UTC

"$top/scripts/install-deps.sh"
OAKVANE_BUILD=$build "$top/scripts/build.sh" copycard make_sample_card raw_unpack >/dev/null
copycard=$build/tools/copycard
make_card=$build/tests/standins/make_sample_card
raw_unpack=$build/bench/raw_unpack

# A folder of the user's own unless one is named: a fixed name under /tmp is shared.
if [ -n "${BENCH_DIR:-}" ]; then
  work=$BENCH_DIR
  rm -rf "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/oakvane-bench.XXXXXX")
fi
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# Each command takes the card and a fresh folder of its own for what it writes.
ingest() {  # card out
  "$copycard" copy "$1/DCIM" "$2/backup" "$2/primary" none 1 IMG "" "" "" SDNE -p1 "" - "" D-R 1 Job
}
# The same card read as a camera through libgphoto2.
ingest_camera() {  # card out
  "$copycard" copy "camera:disk:$1" "$2/backup" "$2/primary" none 1 IMG "" "" "" SDNE -p1 "" - "" D-R 1 Job
}
copy_twice() { cp -r "$1" "$2/copy1" && cp -r "$1" "$2/copy2" && sync; }
copy_and_unpack() { copy_twice "$1" "$2" && decode_all "$1"; }
decode_all() {
  find "$1" -name '*.JPG' -print0 | xargs -0 -r -n 1 djpeg -outfile /dev/null &&
    find "$1" \( -name '*.CR2' -o -name '*.DNG' \) -print0 | xargs -0 -r -n 1 "$raw_unpack"
}
sequential() { copy_twice "$1" "$2" && decode_all "$1"; }
drop_and_hash() {
  find "$1/copy1" "$1/copy2" -type f -print0 |
    xargs -0 -I{} dd if={} iflag=nocache count=0 status=none
  find "$1/copy1" "$1/copy2" -type f -print0 | xargs -0 xxh128sum >/dev/null
}
read_back_baseline() { copy_twice "$1" "$2" && drop_and_hash "$2" && decode_all "$1"; }
read_back_off() { OAKVANE_READ_BACK=0 env -u OAKVANE_VERIFY_WORKERS bash -c 'ingest "$0" "$1"' "$1" "$2"; }
default_workers() { env -u OAKVANE_VERIFY_WORKERS bash -c 'ingest "$0" "$1"' "$1" "$2"; }
compared() { env -u OAKVANE_VERIFY_WORKERS copycard="$COMPARE_COPYCARD" bash -c 'ingest "$0" "$1"' "$1" "$2"; }
one_worker() { OAKVANE_VERIFY_WORKERS=1 bash -c 'ingest "$0" "$1"' "$1" "$2"; }
camera() { env -u OAKVANE_VERIFY_WORKERS bash -c 'ingest_camera "$0" "$1"' "$1" "$2"; }
export -f ingest ingest_camera camera copy_twice copy_and_unpack decode_all sequential default_workers one_worker compared \
  drop_and_hash read_back_baseline read_back_off
export copycard raw_unpack COMPARE_COPYCARD
compare=()
[ -n "${COMPARE_COPYCARD:-}" ] && compare=(compared)

# What the runs wrote is kept until a card's measurements end, when the card's size
# allows: ext4 is slow to create inodes while many were deleted in the last minutes (it
# skips them), which would make the per-file figures depend on what ran just before.
keep=0
run_no=0
clean() {
  [ "$keep" = 1 ] || rm -rf "$work/runs"
  sync
}

# Runs the function named $1 on card $2 once; sets $secs (wall time) and $kb (peak resident
# memory of the largest process it ran).
timed() {
  clean
  local out=$work/runs/$((run_no += 1))
  mkdir -p "$out"
  /usr/bin/time -f '%e %M' -o "$work/time" bash -c "$1 \"\$0\" \"\$1\"" "$2" "$out" \
    >"$work/out" 2>"$work/err" ||
    { echo "failed: $*" >&2; tail -n 5 "$work/out" "$work/err" >&2; exit 1; }
  read -r secs kb <"$work/time"
}

declare -A best mem
# $runs rounds of each named command once on the card; the best wall time is kept, and the
# peak memory of the last run.
measure() {  # card name...
  local card=$1; shift
  best=(); mem=()
  find "$card" -type f -exec cat {} + >/dev/null
  for _ in $(seq "$runs"); do
    for name in "$@"; do
      timed "$name" "$card"
      best[$name]=$(awk -v a="$secs" -v b="${best[$name]:-$secs}" 'BEGIN { print (a < b ? a : b) }')
      mem[$name]=$kb
    done
  done
  keep=0
  clean
}

djpeg_version=$(djpeg -version 2>&1 | head -n 1 || true)
echo "machine: $(nproc) CPUs, $(uptime | sed 's/.*load/load/'); decoder: ${djpeg_version:-djpeg}"
echo "making cards in $work ..."
"$make_card" "$work/card1" --preset bench
"$make_card" "$work/card2" --preset many

measure "$work/card1" sequential read_back_baseline copy_twice default_workers read_back_off \
  one_worker camera "${compare[@]}"
awk -v seq="${best[sequential]}" -v cp="${best[copy_twice]}" -v d="${best[default_workers]}" \
    -v o="${best[one_worker]}" -v md="${mem[default_workers]}" -v mo="${mem[one_worker]}" \
    -v rb="${best[read_back_baseline]}" -v off="${best[read_back_off]}" \
    -v moff="${mem[read_back_off]}" -v cam="${best[camera]}" -v mcam="${mem[camera]}" 'BEGIN {
  printf "card 1: sequential baseline %.2f s (copy baseline %.2f s + decode %.2f s)\n", seq, cp, seq - cp
  printf "        read-back baseline %.2f s (drop and xxh128sum %.2f s)\n", rb, rb - seq
  printf "        copycard (read-back) %.2f s, ratio %.3f to read-back baseline (target <= 0.6); one worker %.2f s, ratio %.3f\n", d, d / rb, o, o / rb
  printf "        copycard read-back off %.2f s, ratio %.3f to sequential baseline (target <= 0.6)\n", off, off / seq
  printf "        peak memory %.1f MB, one worker %.1f MB, read-back off %.1f MB (target < 300)\n", md / 1024, mo / 1024, moff / 1024
  printf "        copycard through the Directory Browse camera %.2f s, ratio %.3f to the card folder (target <= 1.3), peak memory %.1f MB\n", cam, cam / d, mcam / 1024 }'
report_compared() {  # baseline-seconds
  [ ${#compare[@]} -eq 0 ] && return
  awk -v c="${best[compared]}" -v base="$1" -v m="${mem[compared]}" 'BEGIN {
    printf "        compared copycard %.2f s, ratio %.3f, peak memory %.1f MB\n", c, c / base, m / 1024 }'
}
report_compared "${best[sequential]}"
rm -rf "$work/card1"

keep=1
"$make_card" "$work/card3" --preset bench --pairs 0 --jpegs 200 >/dev/null
measure "$work/card2" copy_and_unpack read_back_baseline default_workers read_back_off one_worker \
  "${compare[@]}"
awk -v cp="${best[copy_and_unpack]}" -v d="${best[default_workers]}" -v o="${best[one_worker]}" \
    -v md="${mem[default_workers]}" -v mo="${mem[one_worker]}" -v rb="${best[read_back_baseline]}" \
    -v off="${best[read_back_off]}" 'BEGIN {
  printf "card 2: copy and unpack baseline %.2f s; copycard read-back off %.2f s, ratio %.3f (target <= 1.0)\n", cp, off, off / cp
  printf "        read-back baseline %.2f s; copycard (read-back) %.2f s, ratio %.3f; one worker %.2f s\n", rb, d, d / rb, o
  printf "        per file %.0f us vs %.0f us; peak memory %.1f MB, one worker %.1f MB (target < 30)\n", d / 2000 * 1e6, cp / 2000 * 1e6, md / 1024, mo / 1024 }'
report_compared "${best[copy_and_unpack]}"
rm -rf "$work/card2"

measure "$work/card3" default_workers
awk -v d="${best[default_workers]}" -v md="${mem[default_workers]}" 'BEGIN {
  printf "card 3: copycard %.2f s; peak memory %.1f MB (target < 30)\n", d, md / 1024 }'
rm -rf "$work/card3"

[ "$scaling" = 1 ] || exit 0

# Cards of the same make-up at growing size (RAW+JPEG pairs of 640x480 JPEGs and 400 KB
# raws), then one of large JPEGs only; one run each, default decoders.
echo
printf '%-26s %7s %9s %9s %10s %9s %8s\n' card files MB "wall s" "ms/file" "ms/MB" "peak MB"
scale_row() {  # label card
  local mb files
  files=$(find "$2" -type f | wc -l)
  mb=$(du -sm "$2" | cut -f1)
  find "$2" -type f -exec cat {} + >/dev/null
  keep=0
  timed default_workers "$2"
  awk -v l="$1" -v f="$files" -v mb="$mb" -v s="$secs" -v kb="$kb" 'BEGIN {
    printf "%-26s %7d %9d %9.2f %10.3f %9.3f %8.1f\n", l, f, mb, s, s / f * 1000, s / mb * 1000, kb / 1024 }'
  clean
  rm -rf "$2"
}
for files in 200 2000 20000; do
  "$make_card" "$work/scale" --preset bench --pairs $((files / 2)) --jpeg-size 640x480 \
    --raw-bytes 400000 >/dev/null
  scale_row "$files files (pairs)" "$work/scale"
done
"$make_card" "$work/scale" --preset bench --pairs 0 --jpegs 1000 --jpeg-size 6000x4000 >/dev/null
scale_row "1000 JPEGs of 24 MP" "$work/scale"
