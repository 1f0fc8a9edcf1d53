#!/usr/bin/env bash
# The fault matrix: runs copycard on generated cards with one fault each and prints one table
# of what a photographer would be left with.
#
#   scripts/faults.sh [--quick | --full | --sweeps]
#
# --quick (the default, run by CI) takes every single fault; --full adds (and --sweeps runs
# only) the crash sweep
# (kill -9 at 50 points spread over a run, each followed by a check of every final name and
# a second run that must succeed) and the power-cut sweep (copies of an ext4 image taken
# during and right after a run, each checked with e2fsck, mounted and compared).
#
# Columns: the fault, the run's last output line, its exit status, card files missing from
# the backup tree although the run reported success ("lost"), files under a final name that
# are not whole ("bad": not equal to a card file, to the template or to a DNG of a card raw),
# files that were there before the run and changed or went ("overwr."), and whether the card
# changed. Every fault must end with 0 lost, 0 bad, 0 overwritten and the card unchanged;
# the script exits 1 when one does not. Needs root for the mounts and the device file; rows
# that can't run say why. Builds into $OAKVANE_BUILD (default build/).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
mode=${1:---quick}
export TZ=UTC

"$top/scripts/build.sh" copycard make_sample_card standin-converter read-eio-shim \
  renameat2-einval-shim statvfs-roomy-shim >/dev/null || exit 1
copycard=$build/tools/copycard
sample=$build/tests/standins/make_sample_card
converter=$build/tests/standins/standin-converter
eio_shim=$build/tests/libread-eio-shim.so
einval_shim=$build/tests/librenameat2-einval-shim.so
roomy_shim=$build/tests/libstatvfs-roomy-shim.so

work=$(mktemp -d /tmp/oakvane-faults.XXXXXX)
chmod 755 "$work"  # the read-only case runs as nobody
mounts=()
cleanup() {
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
table=()
add_row() { table+=("$(printf '%-48s | %-62.62s | %4s | %4s | %4s | %7s | %s' "$@")"); }

# ---- one case: a fresh folder with a card, trees, and the run's arguments -------------------

new_case() {  # name
  case_name=$1
  W=$work/case$((${#table[@]} + 1))
  L=$work/logs/case$((${#table[@]} + 1))
  mkdir -p "$W" "$work/logs"
  card=$W/card/DCIM backup=$W/backup primary=$W/primary
  conv=none switches=--- starting=1 sidecar="" verify=- fmt=EEEE
  run_env=()
  printf '<x:xmpmeta/>\n' >"$W/template.xmp"
}

demo_card() { "$sample" "$W/card" --preset demo "$@" >/dev/null; }

# "hash path" of every regular file below $1 whose path has no part starting with ".".
# (sha256sum marks a name holding a newline with a leading backslash: dropped.)
hashes() { [ -d "$1" ] && (cd "$1" && find . -path '*/.*' -prune -o -type f -print0 | sort -z | xargs -0 -r sha256sum | sed 's/^\\//'); }
card_state() { [ -e "$W/card" ] && (cd "$W/card" && find . -printf '%y %s %T@ %p\n' | sort && find . -type f -print0 | sort -z | xargs -0 -r sha256sum); }

before_run() {
  card_before=$(card_state)
  trees_before=$( (hashes "$backup" | sed 's|^|B |'; hashes "$primary" | sed 's|^|P |') )
}

cc() {  # runs copycard with the case's settings, then "$@" as extra environment
  env "${run_env[@]}" "$@" timeout 120 "$copycard" copy "$card" "$backup" "$primary" "$conv" 1 \
    IMG "" "" "" "$fmt" -p1 "" "$verify" "$sidecar" "$switches" "$starting" Job \
    >"$L.out" 2>"$L.err"
}

# As cc, started in the background as copycard itself, so that $! is copycard's own pid.
cc_bg() {
  (exec env "${run_env[@]}" "$@" "$copycard" copy "$card" "$backup" "$primary" "$conv" 1 \
    IMG "" "" "" "$fmt" -p1 "" "$verify" "$sidecar" "$switches" "$starting" Job \
    >"$L.out" 2>"$L.err") &
  pid=$!
}

# Whole-file checks of one tree: every file is a card file, the template, or a DNG of a raw
# (the tree's history, ascmhl/, is the run's own record and has tests of its own).
bad_files() {  # root pre-existing-list
  local root=$1 pre=$2 n=0 h f
  [ -d "$root" ] || { echo 0; return; }
  local card_hashes template_hash
  card_hashes=$( (cd "$W/card" 2>/dev/null && find . -type f -print0 | xargs -0 -r sha256sum) | sed 's/^\\//' | cut -c1-64)
  template_hash=$(sha256sum <"$W/template.xmp" | cut -c1-64)
  while IFS= read -r -d '' f; do
    grep -qxF -e "${f#"$root"/}" <<<"$pre" && continue
    h=$(sha256sum <"$f" | cut -c1-64)
    [[ "$f" == *.dng ]] && h=$(tail -n +3 "$f" | sha256sum | cut -c1-64)
    grep -qx "$h" <<<"$card_hashes" || [ "$h" = "$template_hash" ] || n=$((n + 1))
  done < <(find "$root" \( -path '*/.*' -o -path "$root/ascmhl" \) -prune -o -type f -print0)
  echo $n
}

after_run() {  # status
  local status=$1 outcome lost=- bad overwritten=0 changed=no pre_b pre_p line
  outcome=$(grep -v '^[[:space:]]*$' "$L.out" | grep -v '^\(Last primary folder\|Next starting number\)' | tail -n 1)
  [ -z "$outcome" ] && outcome="(no output) $(tail -n 1 "$L.err")"
  if grep -q 'SUCCESSFUL INGESTION' "$L.out"; then
    local have
    have=$(hashes "$backup" | cut -c1-64)
    lost=0
    while read -r line; do
      grep -qx "${line:0:64}" <<<"$have" || lost=$((lost + 1))
    done < <(cd "$W/card" && find . -path '*/.*' -prune -o -type f -print0 | xargs -0 -r sha256sum | sed 's/^\\//')
  fi
  pre_b=$(sed -n 's|^B [0-9a-f]*  \./||p' <<<"$trees_before")
  pre_p=$(sed -n 's|^P [0-9a-f]*  \./||p' <<<"$trees_before")
  bad=$(($(bad_files "$backup" "$pre_b") + $(bad_files "$primary" "$pre_p")))
  while read -r line; do
    [ -z "$line" ] && continue
    local tree=${line:0:1} rest=${line:2}
    local root=$backup; [ "$tree" = P ] && root=$primary
    local path=${rest:66}
    [ -f "$root/$path" ] && [ "$(sha256sum <"$root/$path" | cut -c1-64)" = "${rest:0:64}" ] ||
      overwritten=$((overwritten + 1))
  done <<<"$trees_before"
  [ "$(card_state)" = "$card_before" ] || changed=YES
  add_row "$case_name" "$outcome" "$status" "$lost" "$bad" "$overwritten" "$changed"
  if [ "$lost" != - ] && [ "$lost" != 0 ] || [ "$bad" != 0 ] || [ "$overwritten" != 0 ] || [ "$changed" != no ]; then
    failures=$((failures + 1))
  fi
}

run_case() {  # runs copycard once and records the row
  before_run
  cc "$@"
  after_run $?
}

skip_row() { add_row "$1" "skipped: $2" - - - - -; }

mount_tmpfs() {  # point size
  mkdir -p "$1" && mount -t tmpfs -o "size=$2" tmpfs "$1" 2>/dev/null && mounts+=("$1")
}

# Waits until a staging file of at least $2 bytes exists below $1, for at most 30 s.
wait_staging() {
  local i
  for ((i = 0; i < 3000; i++)); do
    find "$1" -name '.oakvane-part-*' -type f -size +"$2"c 2>/dev/null | grep -q . && return 0
    sleep 0.01
  done
  return 1
}

big_file_card() {  # a demo card and a sparse 400 MB movie, whose copy takes a while
  demo_card
  truncate -s 1G "$(find "$card" -mindepth 1 -maxdepth 1 -type d | head -n 1)/MVI_9999.MOV"
}

# ---- the quick part: one fault each --------------------------------------------------------

quick_part() {

new_case "no fault (demo card, converter, sidecars)"
demo_card; conv=$converter; sidecar=$W/template.xmp; switches=DUR
run_case

new_case "card folder given as a symbolic link"
demo_card; ln -s "$card" "$W/linked"; card=$W/linked
run_case

new_case "link on the card to /etc/passwd"
demo_card; ln -s /etc/passwd "$card/PASSWD.JPG"
run_case

new_case "linked folder on the card"
demo_card; ln -s /etc "$card/101LINK"
run_case

new_case "FIFO on the card"
demo_card; mkfifo "$card/IMG_7777.JPG"
run_case

new_case "character device on the card"
demo_card
if mknod "$card/IMG_8888.JPG" c 1 5 2>/dev/null; then run_case; else skip_row "$case_name" "mknod needs root"; fi

new_case "card folder that is a regular file"
demo_card; card=$(find "$card" -name '*.JPG' | head -n 1)
run_case

new_case "backup folder inside the card folder"
demo_card; backup=$card/backup
run_case

new_case "card folder inside the primary folder"
demo_card; primary=$W
run_case

new_case "empty primary folder setting"
demo_card; primary=""
run_case

new_case "relative backup folder setting"
demo_card; backup=backup-here
pushd "$W" >/dev/null; run_case; popd >/dev/null

new_case "starting number beyond the int range"
demo_card; fmt=SAEE; starting=3000000000
run_case

new_case "largest starting number (sum over the int range)"
demo_card; fmt=SAEE; starting=2147483647
run_case

new_case "read error on one card file (EIO shim)"
demo_card
run_case "LD_PRELOAD=$eio_shim" "READ_EIO_MATCH=IMG_0003"

new_case "full backup disk (tmpfs of 2 MB)"
demo_card
if mount_tmpfs "$W/small" 2M; then backup=$W/small/backup; run_case; else skip_row "$case_name" "can't mount a tmpfs"; fi

new_case "full primary disk (tmpfs of 2 MB)"
demo_card
if mount_tmpfs "$W/small" 2M; then primary=$W/small/primary; run_case; else skip_row "$case_name" "can't mount a tmpfs"; fi

# A file system may claim more room than it has (some network and FUSE ones do): the run then
# passes the free-space check and meets the full disk while it copies.
new_case "full backup disk claiming room (tmpfs of 2 MB)"
demo_card
if mount_tmpfs "$W/small" 2M; then backup=$W/small/backup; run_case "LD_PRELOAD=$roomy_shim"; else skip_row "$case_name" "can't mount a tmpfs"; fi

new_case "full primary disk claiming room (tmpfs of 2 MB)"
demo_card
if mount_tmpfs "$W/small" 2M; then primary=$W/small/primary; run_case "LD_PRELOAD=$roomy_shim"; else skip_row "$case_name" "can't mount a tmpfs"; fi

new_case "read-only backup folder (run as nobody)"
demo_card; mkdir -p "$backup"; chmod 555 "$backup"; chmod -R a+rX "$W"
if command -v setpriv >/dev/null && [ "$(id -u)" = 0 ]; then
  before_run; env TZ=UTC setpriv --reuid=nobody --regid=nogroup --clear-groups timeout 60 "$copycard" copy \
    "$card" "$backup" "$primary" none 1 IMG "" "" "" EEEE -p1 "" - "" --- 1 Job >"$L.out" 2>"$L.err"
  after_run $?
else
  skip_row "$case_name" "needs root and setpriv"
fi

new_case "Stop during the backup copy"
big_file_card
before_run; cc_bg
wait_staging "$backup" 1000000 && kill -INT $pid; wait $pid; after_run $?

new_case "Stop during the primary copy"
big_file_card
before_run; cc_bg
wait_staging "$primary" 1000000 && kill -INT $pid; wait $pid; after_run $?

new_case "Stop while the converter runs"
demo_card; conv=$converter
before_run; cc_bg STANDIN_CONVERTER_DELAY_MS=500
for _ in $(seq 100); do find "$primary" -name '.oakvane-part-*' -type d 2>/dev/null | grep -q . && break; sleep 0.1; done
kill -INT $pid; wait $pid; after_run $?

new_case "hostile names (newline, quotes, dash, 250 chars)"
demo_card
d=$(find "$card" -mindepth 1 -maxdepth 1 -type d | head -n 1)
printf 'a' >"$d/$(printf 'new\nline.MOV')"; printf 'b' >"$d/\"quoted' \$(x).MOV"
printf 'c' >"$d/-rf.MOV"; printf 'd' >"$d/$(printf 'N%.0s' $(seq 246)).MOV"
fmt=EEEE; run_case

new_case "converter writes an empty DNG"
demo_card; conv=$converter
run_case STANDIN_CONVERTER_EMPTY=IMG_0002

new_case "converter writes other files as well"
demo_card; conv=$converter
run_case STANDIN_CONVERTER_EXTRA=stray.txt

new_case "converter on with no program"
demo_card; conv=""
run_case

new_case "second run into the same trees at once"
demo_card; mkdir -p "$backup"
before_run
flock "$backup" sleep 5 & holder=$!
sleep 0.5; cc; status=$?; kill $holder 2>/dev/null; wait $holder 2>/dev/null
after_run $status

new_case "two runs at once, range folders"
demo_card; switches=DUR
before_run
cc & first=$!
timeout 60 "$copycard" copy "$card" "$backup" "$primary" none 1 IMG "" "" "" EEEE \
  -p1 "" - "" DUR 1 Job >"$L.out2" 2>"$L.err2"; second=$?
wait $first; status=$?
after_run "$status/$second"
table[-1]="${table[-1]} (second: $(grep -v '^\(\|Last primary folder.*\|Next starting number.*\)$' "$L.out2" | tail -n 1))"

new_case "card's own sidecar next to an image"
demo_card; sidecar=$W/template.xmp
d=$(find "$card" -name '*.JPG' | head -n 1); printf 'camera\n' >"${d%.JPG}.xmp"
run_case

new_case "renameat2 gives EINVAL (NFS, 9p, FUSE)"
demo_card; switches=DUR; sidecar=$W/template.xmp
run_case "LD_PRELOAD=$einval_shim"

new_case "write-back error (ext4 on a too small tmpfs)"
demo_card; head -c 8M /dev/urandom >"$card/BIG.MOV"
if mount_tmpfs "$W/small" 3M && mkfs.ext4 -q -F -O ^has_journal -E nodiscard "$W/small/disk.img" 64M &&
   mkdir -p "$W/disk" && mount -o loop "$W/small/disk.img" "$W/disk" && mounts+=("$W/disk"); then
  backup=$W/disk/backup; run_case
else
  skip_row "$case_name" "can't make the small disk"
fi

new_case "card unmounted lazily during the run"
if mkfs.ext2 -q -F "$W/card.img" 600M >/dev/null 2>&1 && mkdir -p "$W/cardmnt" &&
   mount -o loop "$W/card.img" "$W/cardmnt" && mounts+=("$W/cardmnt"); then
  "$sample" "$W/cardmnt" --preset demo >/dev/null
  truncate -s 400M "$(find "$W/cardmnt/DCIM" -mindepth 1 -maxdepth 1 -type d | head -n 1)/MVI_9999.MOV"
  card=$W/cardmnt/DCIM
  cp -a "$W/cardmnt" "$W/card"  # what the card held, for the checks
  before_run; cc_bg
  wait_staging "$backup" 1000000 && umount -l "$W/cardmnt"; wait $pid; after_run $?
else
  skip_row "$case_name" "can't mount a card image"
fi

}

# ---- the full part: crash and power-cut sweeps ---------------------------------------------

crash_sweep() {
  new_case "kill -9 at 50 points (both trees, converter)"
  "$sample" "$W/card" --pairs 12 --raw-bytes 8000000 >/dev/null
  conv=$converter; sidecar=$W/template.xmp; switches=DUR
  local start end total i bad_runs=0 failed_reruns=0 bad=0
  before_run
  start=$(date +%s%N); cc STANDIN_CONVERTER_DELAY_MS=20; end=$(date +%s%N); total=$(((end - start) / 1000))
  rm -rf "$backup" "$primary"
  for ((i = 1; i <= 50; i++)); do
    cc_bg STANDIN_CONVERTER_DELAY_MS=20
    sleep "$(awk -v t=$total -v i=$i 'BEGIN { printf "%.3f", t * i / 51 / 1e6 }')"
    kill -9 $pid 2>/dev/null; wait $pid 2>/dev/null
    local n=$(($(bad_files "$backup" "") + $(bad_files "$primary" "")))
    [ $n = 0 ] || bad_runs=$((bad_runs + 1))
    bad=$((bad + n))
    if ! cc || ! grep -q 'SUCCESSFUL INGESTION' "$L.out"; then failed_reruns=$((failed_reruns + 1)); fi
    rm -rf "$backup" "$primary"
  done
  add_row "$case_name" "$bad_runs kills left bad files, $failed_reruns second runs failed" - - "$bad" - \
    "$( [ "$(card_state)" = "$card_before" ] && echo no || echo YES)"
  [ $bad = 0 ] && [ $failed_reruns = 0 ] || failures=$((failures + 1))
}

# The trees live on a loop-mounted ext4 image. A copy of a busy image would be torn (its
# first blocks older than its last), a state no power cut makes; so the run is paused and
# the image copied until two copies in a row agree: then nothing was written meanwhile and
# the copy is the disk as it stood. (What the loop device has taken counts as written.)
power_cut_sweep() {
  new_case "power cut: ext4 image copied during and after"
  if ! { truncate -s 1G "$W/disk.img" && mkfs.ext4 -q -F "$W/disk.img" && mkdir -p "$W/disk" &&
         mount -o loop "$W/disk.img" "$W/disk" && mounts+=("$W/disk"); }; then
    skip_row "$case_name" "can't mount an ext4 image"
    return
  fi
  "$sample" "$W/card" --pairs 12 --raw-bytes 8000000 >/dev/null
  backup=$W/disk/backup primary=$W/disk/primary
  local copies=0 broken=0 bad=0 missing=0 status i
  snapshot() {  # copy-to; pauses the run (when there is one) while copying
    local tries
    [ -n "${pid:-}" ] && kill -STOP "$pid" 2>/dev/null
    for ((tries = 0; tries < 10; tries++)); do
      cp --sparse=always "$W/disk.img" "$1" && cp --sparse=always "$W/disk.img" "$1.2" &&
        cmp -s "$1" "$1.2" && break
    done
    rm -f "$1.2"
    [ $tries -lt 10 ] && copies=$((copies + 1)) || rm -f "$1"
    [ -n "${pid:-}" ] && kill -CONT "$pid" 2>/dev/null
  }
  before_run
  cc_bg
  for ((i = 0; i < 8; i++)); do
    sleep 0.3
    snapshot "$W/cut$i.img"
  done
  wait $pid; status=$?; pid=""
  snapshot "$W/cut-after.img"
  for img in "$W"/cut*.img; do
    e2fsck -fy "$img" >/dev/null 2>&1; [ $? -le 1 ] || broken=$((broken + 1))
    mkdir -p "$W/check" && mount -o loop,ro "$img" "$W/check" || { broken=$((broken + 1)); continue; }
    local n=$(($(bad_files "$W/check/backup" "") + $(bad_files "$W/check/primary" "")))
    [ $n = 0 ] || echo "power cut: ${img##*/} holds $n bad files" >&2
    bad=$((bad + n))
    if [ "$img" = "$W/cut-after.img" ] && [ $status = 0 ]; then
      missing=$(($(cd "$W/card" && find . -path '*/.*' -prune -o -type f -print | wc -l) - $(hashes "$W/check/backup" | wc -l)))
    fi
    umount "$W/check"; rm -f "$img"
  done
  add_row "$case_name" "$copies copies: $broken not clean, $missing missing after success" "$status" \
    "$missing" "$bad" - -
  [ $broken = 0 ] && [ $bad = 0 ] && [ $missing = 0 ] || failures=$((failures + 1))
}

[ "$mode" = --sweeps ] || quick_part
if [ "$mode" = --full ] || [ "$mode" = --sweeps ]; then
  [ -n "${FAULTS_NO_CRASH_SWEEP:-}" ] || crash_sweep
  power_cut_sweep
fi

add_row "fault" "outcome line" "exit" "lost" "bad" "overwr." "card changed"
printf '%s\n' "${table[-1]}"
printf '%s\n' "$(printf '%.0s-' $(seq 150))"
unset 'table[-1]'
printf '%s\n' "${table[@]}"
echo "$failures fault(s) lost, damaged or replaced something"
[ $failures = 0 ]
