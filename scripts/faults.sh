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
# Columns: the fault, the run's last output line, its exit status, copies of card files
# missing from the backup or the primary tree although the run reported success ("lost"),
# files under a final name that are not whole ("bad": not equal to the card file they are
# named after, to the template, or a DNG of that card raw), files put in both trees before
# the run that changed or went ("overwr."), whether the card changed (content, times, the
# files' access times), and whether the row went as it must ("check": the fault was made, as
# the shim's own log or the phase reached shows, and the run ended with the expected line and
# exit status). Every fault must end with 0 lost, 0 bad, 0 overwritten, the card unchanged
# and the check ok; the script exits 1 when one does not. Needs root for the mounts and the
# device file; rows that can't run say why. Builds into $OAKVANE_BUILD (default build/).
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
add_row() { table+=("$(printf '%-48s | %-62.62s | %4s | %4s | %4s | %7s | %-12s | %s' "$@")"); }

# ---- one case: a fresh folder with a card, trees, and the run's arguments -------------------

# The card lives on a tmpfs of its own mounted with strictatime, so that reading a card file
# without O_NOATIME shows in its access time.
new_case() {  # name
  case_name=$1
  W=$work/case$((${#table[@]} + 1))
  L=$work/logs/case$((${#table[@]} + 1))
  mkdir -p "$W/card" "$work/logs"
  mount -t tmpfs -o strictatime,size=2g,mode=755 tmpfs "$W/card" 2>/dev/null && mounts+=("$W/card")
  card=$W/card/DCIM backup=$W/backup primary=$W/primary
  conv=none switches=--- starting=1 sidecar="" verify=- fmt=EEEE
  run_env=()
  expected_status=0 expected_line='^SUCCESSFUL INGESTION - no errors detected$'
  fault_made=true fault_name=""
  printf '<x:xmpmeta/>\n' >"$W/template.xmp"
}

# The exit status and the last output line the row must end with (extended regular
# expressions).
expect() { expected_status=$1 expected_line=$2; }

# A command that holds when the fault was made, and what it checks, for the "check" column.
fired() { fault_name=$1 fault_made=$2; }

demo_card() { "$sample" "$W/card" --preset demo "$@" >/dev/null; }

# "hash  path" of every regular file below $1 whose path has no part starting with ".", the
# card left out. (sha256sum marks a name holding a newline with a leading backslash: dropped.)
hashes() {
  [ -d "$1" ] && (cd "$1" && find . \( -path '*/.*' -o -samefile "$W/card" \) -prune -o -type f -print0 |
    sort -z | xargs -0 -r sha256sum | sed 's/^\\//')
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

# Reads a card file without touching its access time: the checks must not change the card.
noatime_hash() { dd if="$1" iflag=noatime bs=4M status=none | sha256sum | cut -c1-64; }

# The card as it stands: folders with their times; files, links and devices with their
# access times too (a folder's access time moves whenever it is listed, by the checks as
# well); the content of every file (as read_card found it, with "cached").
card_state() {  # [cached]
  [ -e "$W/card" ] || return
  (cd "$W/card" && { find . -type d -printf '%y %s %T@ %p\n'; find . ! -type d -printf '%y %s %T@ %A@ %p\n'; } | sort)
  local f h
  while IFS= read -r -d '' f; do
    h=${1:+${hash_at[$f]:-}}
    printf '%s %q\n' "${h:-$(noatime_hash "$W/card/$f")}" "$f"
  done < <(cd "$W/card" && find . -type f -print0 | sort -z)
}

# The card files, read once before the run: hash_at[path] for every file, and for the files a
# run copies (no part of the path starting with ".") card_hashes, and card_named[name] with
# the hashes of the card files of that name.
read_card() {
  card_hashes=() card_named=() hash_at=()
  local f h
  while IFS= read -r -d '' f; do
    h=$(noatime_hash "$W/card/$f")
    hash_at[$f]=$h
    [[ "$f" == */.* ]] && continue
    card_hashes+=("$h")
    card_named[${f##*/}]+="$h "
  done < <(cd "$W/card" 2>/dev/null && find . -type f -print0)
}
declare -A card_named hash_at

# The content hash of a copy: a stand-in DNG holds its raw after two header lines.
copy_hash() {
  if [[ "$1" == *.dng ]]; then tail -n +3 "$1" | sha256sum | cut -c1-64; else sha256sum <"$1" | cut -c1-64; fi
}

# The files of a tree, with no part of the path starting with "." and outside its history
# (ascmhl/, the run's own record, has tests of its own) and the card, NUL-separated.
tree_files() {
  [ -d "$1" ] && find "$1" \( -path '*/.*' -o -path "$1/ascmhl" -o -samefile "$W/card" \) -prune -o -type f -print0
}

# The hashes a copy named name may have: those of the card files of that name, with a
# sequence number taken off (IMG_0001_001.JPG), or of the raw a DNG was made from.
own_hashes() {
  local name=$1 stem plain k
  plain=$(sed -E 's/_[0-9]{3}(\.[^.]{3})?$/\1/' <<<"$name")
  printf '%s' "${card_named[$name]:-}${card_named[$plain]:-}"
  if [[ "$plain" == *.dng ]]; then
    stem=${plain%.dng}
    for k in "${!card_named[@]}"; do [[ "${k%.*}" == "$stem" ]] && printf '%s' "${card_named[$k]}"; done
  fi
}

# Files under a final name that are not whole: each copy is compared with the card file it
# is named after, or, where the run names copies anew (fmt other than EEEE), with every card
# file.
bad_files() {  # root pre-existing-list
  local root=$1 pre=$2 n=0 h f want template_hash
  [ -d "$root" ] || { echo 0; return; }
  template_hash=$(sha256sum <"$W/template.xmp" | cut -c1-64)
  while IFS= read -r -d '' f; do
    grep -qxF -e "${f#"$root"/}" <<<"$pre" && continue
    h=$(copy_hash "$f")
    [ "$h" = "$template_hash" ] && continue
    if [ "$fmt" = EEEE ]; then want=$(own_hashes "${f##*/}"); else want="${card_hashes[*]}"; fi
    [[ " $want " == *" $h "* ]] || { n=$((n + 1)); echo "bad: $f" >>"$L.checks"; }
  done < <(tree_files "$root")
  echo $n
}

# Copies of card files missing from a tree.
missing_from() {  # root
  local have n=0 h f
  have=$(while IFS= read -r -d '' f; do copy_hash "$f"; done < <(tree_files "$1"))
  for h in "${card_hashes[@]}"; do grep -qx "$h" <<<"$have" || n=$((n + 1)); done
  echo $n
}

# Staging files and folders, and folders holding nothing, below the trees.
leftovers() {
  local t n=0
  for t in "$@"; do
    [ -d "$t" ] && n=$((n + $(find "$t" -mindepth 1 \( -name '.oakvane-part-*' -o -type d -empty \) | wc -l)))
  done
  echo $n
}

# Files a photographer already has in both trees: one beside where the run writes, and in a
# flat backup tree one under the name the run's first copy wants (the run must take the next).
seed_trees() {
  local t first cardpath
  cardpath=$(realpath -m "$W/card")
  for t in "$backup" "$primary"; do
    [ -n "$t" ] || continue
    case "$(realpath -m "$t")/" in "$cardpath"/*) continue ;; esac
    mkdir -p "$t" 2>/dev/null && head -c 3000 /dev/urandom >"$t/OLD_0001.JPG" 2>/dev/null
  done
  first=$(cd "$W/card" 2>/dev/null && find . -path '*/.*' -prune -o -type f -print | sort | head -n 1)
  if [ "$switches" = --- ] && [ "$fmt" = EEEE ] && [ -n "$first" ] && [ -d "$backup" ]; then
    head -c 3000 /dev/urandom >"$backup/${first##*/}" 2>/dev/null
  fi
}

before_run() {
  seed_trees
  read_card
  card_before=$(card_state cached)
  trees_before=$( (hashes "$backup" | sed 's|^|B |'; hashes "$primary" | sed 's|^|P |') )
}

after_run() {  # status
  local status=$1 outcome lost=- bad overwritten=0 changed=no pre_b pre_p line check=ok
  outcome=$(grep -v '^[[:space:]]*$' "$L.out" | grep -v '^\(Last primary folder\|Next starting number\)' | tail -n 1)
  [ -z "$outcome" ] && outcome="(no output) $(tail -n 1 "$L.err")"
  [ "$(card_state)" = "$card_before" ] || changed=YES
  if grep -q 'SUCCESSFUL INGESTION' "$L.out"; then
    lost=$(($(missing_from "$backup") + $(missing_from "$primary")))
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
  if ! eval "$fault_made"; then
    check="FAULT NOT MADE: $fault_name"
  elif ! [[ "$status" =~ ^($expected_status)$ ]] || ! grep -qE -e "$expected_line" <<<"$outcome"; then
    check="UNEXPECTED END"
  fi
  add_row "$case_name" "$outcome" "$status" "$lost" "$bad" "$overwritten" "$changed" "$check"
  if [ "$lost" != - ] && [ "$lost" != 0 ] || [ "$bad" != 0 ] || [ "$overwritten" != 0 ] ||
     [ "$changed" != no ] || [ "$check" != ok ]; then
    failures=$((failures + 1))
  fi
}

run_case() {  # runs copycard once and records the row
  before_run
  cc "$@"
  after_run $?
}

skip_row() { add_row "$1" "skipped: $2" - - - - - -; }

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
demo_card; ln -s /etc/passwd "$card/PASSWD.JPG"; expect 1 '^Link on card: ".*/PASSWD\.JPG"$'
run_case

new_case "linked folder on the card"
demo_card; ln -s /etc "$card/101LINK"; expect 1 '^Link on card: ".*/101LINK"$'
run_case

new_case "FIFO on the card"
demo_card; mkfifo "$card/IMG_7777.JPG"; expect 1 '^Not a regular file on card: ".*/IMG_7777\.JPG"$'
run_case

new_case "character device on the card"
demo_card; expect 1 '^Not a regular file on card: ".*/IMG_8888\.JPG"$'
if mknod "$card/IMG_8888.JPG" c 1 5 2>/dev/null; then run_case; else skip_row "$case_name" "mknod needs root"; fi

new_case "card folder that is a regular file"
demo_card; card=$(find "$card" -name '*.JPG' | head -n 1); expect 1 '^ftw failed: '
run_case

new_case "backup folder inside the card folder"
demo_card; backup=$card/backup; expect 1 '^The backup folder is inside the card folder: '
run_case

new_case "card folder inside the primary folder"
demo_card; primary=$W; expect 1 '^The card folder is inside the primary folder: '
run_case

new_case "empty primary folder setting"
demo_card; primary=""; expect 1 '^Primary folder must be an absolute path: ""$'
run_case

new_case "relative backup folder setting"
demo_card; backup=backup-here; expect 1 '^Backup folder must be an absolute path: "backup-here"$'
pushd "$W" >/dev/null; run_case; popd >/dev/null

new_case "starting number beyond the int range"
demo_card; fmt=SAEE; starting=3000000000
expect 1 '^Starting number must be from 0 to 2147483647: "3000000000"$'
run_case

new_case "largest starting number (sum over the int range)"
demo_card; fmt=SAEE; starting=2147483647
run_case

new_case "read error on one card file (EIO shim)"
demo_card; expect 1 '^read error: .*/IMG_0003\.(JPG|CR2)'
fired "the shim failed a read" '[ -s "$W/eio.log" ]'
run_case "LD_PRELOAD=$eio_shim" "READ_EIO_MATCH=IMG_0003" "READ_EIO_LOG=$W/eio.log"

new_case "full backup disk (tmpfs of 2 MB)"
demo_card; expect 1 '^Not enough free space for the backup folder '
if mount_tmpfs "$W/small" 2M; then backup=$W/small/backup; run_case; else skip_row "$case_name" "can't mount a tmpfs"; fi

new_case "full primary disk (tmpfs of 2 MB)"
demo_card; expect 1 '^Not enough free space for the primary folder '
if mount_tmpfs "$W/small" 2M; then primary=$W/small/primary; run_case; else skip_row "$case_name" "can't mount a tmpfs"; fi

# A file system may claim more room than it has (some network and FUSE ones do): the run then
# passes the free-space check and meets the full disk while it copies.
new_case "full backup disk claiming room (tmpfs of 2 MB)"
demo_card; expect 1 '^write error: .*/small/backup/'; fired "the shim claimed room" '[ -s "$W/roomy.log" ]'
if mount_tmpfs "$W/small" 2M; then backup=$W/small/backup; run_case "LD_PRELOAD=$roomy_shim" "STATVFS_ROOMY_LOG=$W/roomy.log"; else skip_row "$case_name" "can't mount a tmpfs"; fi

new_case "full primary disk claiming room (tmpfs of 2 MB)"
demo_card; expect 1 '^write error unconverted: .*/small/primary/'; fired "the shim claimed room" '[ -s "$W/roomy.log" ]'
if mount_tmpfs "$W/small" 2M; then primary=$W/small/primary; run_case "LD_PRELOAD=$roomy_shim" "STATVFS_ROOMY_LOG=$W/roomy.log"; else skip_row "$case_name" "can't mount a tmpfs"; fi

new_case "read-only backup folder (run as nobody)"
demo_card; mkdir -p "$backup"; chmod 555 "$backup"; chmod -R a+rX "$W"; expect 1 '^creat error: .*/backup/'
if command -v setpriv >/dev/null && [ "$(id -u)" = 0 ]; then
  before_run; env TZ=UTC setpriv --reuid=nobody --regid=nogroup --clear-groups timeout 60 "$copycard" copy \
    "$card" "$backup" "$primary" none 1 IMG "" "" "" EEEE -p1 "" - "" --- 1 Job >"$L.out" 2>"$L.err"
  after_run $?
else
  skip_row "$case_name" "needs root and setpriv"
fi

new_case "Stop during the backup copy"
big_file_card; expect 130 '^Copying files from card$'; fired "the movie's copy started" '[ $reached = 1 ]'
before_run; cc_bg
reached=0; wait_staging "$backup" 1000000 && reached=1; kill -INT $pid; wait $pid; after_run $?

new_case "Stop during the primary copy"
big_file_card; expect 130 '^Skipping Adobe DNG Converter$'; fired "the movie's primary copy started" '[ $reached = 1 ]'
before_run; cc_bg
reached=0; wait_staging "$primary" 1000000 && reached=1; kill -INT $pid; wait $pid; after_run $?

new_case "Stop while the converter runs"
demo_card; conv=$converter; expect 130 '^Running Adobe DNG Converter$'
fired "the converter's scratch folder appeared" '[ $reached = 1 ]'
before_run; cc_bg STANDIN_CONVERTER_DELAY_MS=500
reached=0
for _ in $(seq 100); do find "$primary" -name '.oakvane-part-*' -type d 2>/dev/null | grep -q . && { reached=1; break; }; sleep 0.1; done
kill -INT $pid; wait $pid; after_run $?

new_case "hostile names (newline, quotes, dash, 250 chars)"
demo_card
d=$(find "$card" -mindepth 1 -maxdepth 1 -type d | head -n 1)
printf 'a' >"$d/$(printf 'new\nline.MOV')"; printf 'b' >"$d/\"quoted' \$(x).MOV"
printf 'c' >"$d/-rf.MOV"; printf 'd' >"$d/$(printf 'N%.0s' $(seq 246)).MOV"
fmt=EEEE; run_case

new_case "converter writes an empty DNG"
demo_card; conv=$converter; expect 1 '^The converter made no DNG file from ".*/IMG_0002\.CR2"$'
run_case STANDIN_CONVERTER_EMPTY=IMG_0002

new_case "converter writes other files as well"
demo_card; conv=$converter
run_case STANDIN_CONVERTER_EXTRA=stray.txt

new_case "converter on with no program"
demo_card; conv=""; expect 1 '^Can.t execute:  \(error code = 2\)$'
run_case

new_case "second run into the same trees at once"
demo_card; mkdir -p "$backup"; expect 1 '^Another ingestion is writing into '
fired "another process held the backup tree throughout" '[ $held = 1 ]'
before_run
flock "$backup" sleep 5 & holder=$!
sleep 0.5; cc; status=$?; held=0; kill -0 $holder 2>/dev/null && held=1
kill $holder 2>/dev/null; wait $holder 2>/dev/null
after_run $status

new_case "two runs at once, range folders"
demo_card; switches=DUR
# Either run may take the trees first; the other must be refused.
expect '1/0|0/1' '^(SUCCESSFUL INGESTION - no errors detected|Another ingestion is writing into .*)$'
fired "one run was refused" 'grep -q "Another ingestion is writing into" "$L.out" "$L.out2"'
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
fired "the shim refused a rename" '[ -s "$W/einval.log" ]'
run_case "LD_PRELOAD=$einval_shim" "RENAMEAT2_SHIM_LOG=$W/einval.log"

new_case "write-back error (ext4 on a too small tmpfs)"
demo_card; head -c 8M /dev/urandom >"$card/BIG.MOV"; expect 1 '^Write-back error: ".*/disk/backup/'
if mount_tmpfs "$W/small" 3M && mkfs.ext4 -q -F -O ^has_journal -E nodiscard "$W/small/disk.img" 64M &&
   mkdir -p "$W/disk" && mount -o loop "$W/small/disk.img" "$W/disk" && mounts+=("$W/disk"); then
  backup=$W/disk/backup; run_case
else
  skip_row "$case_name" "can't make the small disk"
fi

# The files a run has open stay readable after a lazy unmount: the run still ends whole.
new_case "card unmounted lazily during the run"
fired "the card was unmounted during the copy" '[ $reached = 1 ]'
if mkfs.ext2 -q -F "$W/card.img" 600M >/dev/null 2>&1 && mkdir -p "$W/cardmnt" &&
   mount -o loop "$W/card.img" "$W/cardmnt" && mounts+=("$W/cardmnt"); then
  "$sample" "$W/cardmnt" --preset demo >/dev/null
  truncate -s 400M "$(find "$W/cardmnt/DCIM" -mindepth 1 -maxdepth 1 -type d | head -n 1)/MVI_9999.MOV"
  card=$W/cardmnt/DCIM
  cp -a "$W/cardmnt/." "$W/card/"  # what the card held, for the checks
  before_run; cc_bg
  reached=0; wait_staging "$backup" 1000000 && umount -l "$W/cardmnt" && reached=1; wait $pid; after_run $?
else
  skip_row "$case_name" "can't mount a card image"
fi

# A FUSE file system takes syncfs, and often a folder's fsync, as done without reaching its
# disk: the disk as a power cut right after the run's success would leave it must hold it all.
new_case "FUSE destination (bindfs on ext4), power cut after"
demo_card; sidecar=$W/template.xmp; switches=DUR
fired "the trees were on FUSE" '[[ "$fstype" == fuse* ]]'
if command -v bindfs >/dev/null && truncate -s 96M "$W/disk.img" && mkfs.ext4 -q -F "$W/disk.img" &&
   mkdir -p "$W/disk" "$W/fuse" "$W/cut" && mount -o loop "$W/disk.img" "$W/disk" && mounts+=("$W/disk") &&
   bindfs "$W/disk" "$W/fuse" && mounts+=("$W/fuse"); then
  backup=$W/fuse/backup primary=$W/fuse/primary
  before_run
  sync  # the photographer's earlier files are on the disk before the run starts
  fstype=$(stat -f -c %T "$W/fuse")
  cc; status=$?
  # The checks look at the disk as the power cut left it.
  backup=$W/cut/backup primary=$W/cut/primary
  disk_as_cut "$W/disk.img" "$W/cut.img" && mount -o loop,ro "$W/cut.img" "$W/cut" && mounts+=("$W/cut") ||
    echo "FUSE row: the disk image can't be checked" >&2
  after_run $status
else
  skip_row "$case_name" "needs bindfs and a loop-mounted ext4 image"
fi

}

# The disk image as a power cut now would leave it: copied until two copies in a row agree
# (nothing was written meanwhile), its journal replayed.
disk_as_cut() {  # image copy
  local tries
  for ((tries = 0; tries < 10; tries++)); do
    cp --sparse=always "$1" "$2" && cp --sparse=always "$1" "$2.2" && cmp -s "$2" "$2.2" && break
  done
  rm -f "$2.2"
  [ $tries -lt 10 ] || return 1
  e2fsck -fy "$2" >/dev/null 2>&1
  [ $? -le 1 ]
}

# ---- the full part: crash and power-cut sweeps ---------------------------------------------

crash_sweep() {
  new_case "kill -9 at 50 points (both trees, converter)"
  "$sample" "$W/card" --pairs 12 --raw-bytes 8000000 >/dev/null
  conv=$converter; sidecar=$W/template.xmp; switches=DUR
  local start end total i bad_runs=0 failed_reruns=0 bad=0 missing=0 left=0
  read_card
  card_before=$(card_state)
  start=$(date +%s%N); cc STANDIN_CONVERTER_DELAY_MS=20; end=$(date +%s%N); total=$(((end - start) / 1000))
  rm -rf "$backup" "$primary"
  for ((i = 1; i <= 50; i++)); do
    cc_bg STANDIN_CONVERTER_DELAY_MS=20
    sleep "$(awk -v t=$total -v i=$i 'BEGIN { printf "%.3f", t * i / 51 / 1e6 }')"
    kill -9 $pid 2>/dev/null; wait $pid 2>/dev/null
    local n=$(($(bad_files "$backup" "") + $(bad_files "$primary" "")))
    [ $n = 0 ] || bad_runs=$((bad_runs + 1))
    bad=$((bad + n))
    # The second run must end with everything in both trees and nothing of the killed one's
    # unfinished work left.
    if ! cc || ! grep -q 'SUCCESSFUL INGESTION' "$L.out"; then
      failed_reruns=$((failed_reruns + 1))
    else
      missing=$((missing + $(missing_from "$backup") + $(missing_from "$primary")))
      left=$((left + $(leftovers "$backup" "$primary")))
    fi
    rm -rf "$backup" "$primary"
  done
  add_row "$case_name" "$bad_runs kills left bad, $failed_reruns reruns failed, $left leftovers" - \
    "$missing" "$bad" - "$( [ "$(card_state)" = "$card_before" ] && echo no || echo YES)" -
  [ $bad = 0 ] && [ $failed_reruns = 0 ] && [ $missing = 0 ] && [ $left = 0 ] || failures=$((failures + 1))
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
  local copies=0 broken=0 bad=0 missing=0 status i pre_b pre_p
  snapshot() {  # copy-to; pauses the run (when there is one) while copying
    [ -n "${pid:-}" ] && kill -STOP "$pid" 2>/dev/null
    disk_as_cut "$W/disk.img" "$1" && copies=$((copies + 1)) || { rm -f "$1"; broken=$((broken + 1)); }
    [ -n "${pid:-}" ] && kill -CONT "$pid" 2>/dev/null
  }
  before_run; sync
  pre_b=$(sed -n 's|^B [0-9a-f]*  \./||p' <<<"$trees_before")
  pre_p=$(sed -n 's|^P [0-9a-f]*  \./||p' <<<"$trees_before")
  cc_bg
  for ((i = 0; i < 8; i++)); do
    sleep 0.3
    snapshot "$W/cut$i.img"
  done
  wait $pid; status=$?; pid=""
  snapshot "$W/cut-after.img"
  for img in "$W"/cut*.img; do
    mkdir -p "$W/check" && mount -o loop,ro "$img" "$W/check" || { broken=$((broken + 1)); continue; }
    local n=$(($(bad_files "$W/check/backup" "$pre_b") + $(bad_files "$W/check/primary" "$pre_p")))
    [ $n = 0 ] || echo "power cut: ${img##*/} holds $n bad files" >&2
    bad=$((bad + n))
    if [ "$img" = "$W/cut-after.img" ] && [ $status = 0 ]; then
      missing=$(($(missing_from "$W/check/backup") + $(missing_from "$W/check/primary")))
    fi
    umount "$W/check"; rm -f "$img"
  done
  add_row "$case_name" "$copies copies: $broken not clean, $missing missing after success" "$status" \
    "$missing" "$bad" - - -
  [ $broken = 0 ] && [ $bad = 0 ] && [ $missing = 0 ] || failures=$((failures + 1))
}

[ "$mode" = --sweeps ] || quick_part
if [ "$mode" = --full ] || [ "$mode" = --sweeps ]; then
  [ -n "${FAULTS_NO_CRASH_SWEEP:-}" ] || crash_sweep
  power_cut_sweep
fi

add_row "fault" "outcome line" "exit" "lost" "bad" "overwr." "card changed" "check"
printf '%s\n' "${table[-1]}"
printf '%s\n' "$(printf '%.0s-' $(seq 150))"
unset 'table[-1]'
printf '%s\n' "${table[@]}"
echo "$failures fault(s) lost, damaged or replaced something"
[ $failures = 0 ]
