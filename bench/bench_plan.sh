#!/usr/bin/env bash
# Plan benchmark: how long "oakvane-ingest --plan" takes on a card of 20,000 files that is in
# the page cache, with date folders, a user folder, number-range folders and automatic
# numbers, and with part of the names already taken in the backup tree. Target: under a second.
#
#   bench_plan.sh           FILES=20000 RUNS=5 by default; the best and the worst run are shown
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
files=${FILES:-20000}
runs=${RUNS:-5}
export TZ=UTC

OAKVANE_BUILD=$build "$top/scripts/build.sh" oakvane-ingest make_sample_card >/dev/null
ingest=$build/tools/oakvane-ingest

# A folder of the user's own unless one is named: a fixed name under /tmp is shared.
if [ -n "${BENCH_DIR:-}" ]; then
  work=$BENCH_DIR
  rm -rf "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/oakvane-bench-plan.XXXXXX")
fi
mkdir -p "$work/config/Oakvane/Main" "$work/backup"
trap 'rm -rf "$work"' EXIT
"$build/tests/standins/make_sample_card" "$work/card" --preset many --files "$files" --file-bytes 512 >/dev/null
printf 'Version\t1\nDate\tMon Dec  7 10:00:00 2026\nCardFolder\t%s\nBackupFolder\t%s\nPrimaryFolder\t%s\nKeepRaw\t0\nNameFmt\tSAEE\nWantDateFolders\t1\nWantUserFolder\t1\nUserFolder\tJob\nWantRangeFolder\t1\n' \
  "$work/card/DCIM" "$work/backup" "$work/primary" >"$work/config/Oakvane/Main/Default"
export XDG_CONFIG_HOME=$work/config HOME=$work

# The first plan reads the card into the page cache and makes the preference store.
"$ingest" --plan >"$work/plan.txt"
tail -n 3 "$work/plan.txt"
best= worst=
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$ingest" --plan >/dev/null
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  [ -z "$best" ] || [ "$ms" -lt "$best" ] && best=$ms
  [ -z "$worst" ] || [ "$ms" -gt "$worst" ] && worst=$ms
done
echo "oakvane-ingest --plan, $files files: best $best ms, worst $worst ms of $runs runs (target < 1000 ms)"
