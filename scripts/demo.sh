#!/usr/bin/env bash
# On a fresh Debian machine: installs what is missing, builds, makes a sample card and
# ingests it with oakvane-ingest from a preference set (raws through the stand-in converter,
# sidecars from the sample template), then shows the trees and the preference set it kept.
# The preferences live in a configuration folder of the demo's own, never in your home.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}

# Only what the demo builds: not the window's test tools, the fuzzers' compiler or the
# benchmark library.
"$top/scripts/install-deps.sh" demo
echo "Building the demo's programs (a first build takes a few minutes)..."
"$top/scripts/build.sh" oakvane-ingest make_sample_card standin-converter

# A folder of the user's own: a fixed name under /tmp is shared with every other user, who
# could have put anything there. A folder named in the environment is the user's choice.
if [ -n "${OAKVANE_DEMO:-}" ]; then
  work=$OAKVANE_DEMO
  rm -rf "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/oakvane-demo.XXXXXX")
fi
echo "Demo folder: $work"
mkdir -p "$work/backup" "$work/config/Oakvane/Metadata Templates"
export TZ=${TZ:-UTC} XDG_CONFIG_HOME="$work/config" HOME="$work"
"$build/tests/standins/make_sample_card" "$work/card" --preset demo
cp "$top/samples/Basic.xmp" "$work/config/Oakvane/Metadata Templates/"

# An application profile as an earlier version left it: the first start turns it into the
# "Default" preference set.
cat >"$work/config/Oakvane/Oakvane.ini" <<INI
[App]
BackupFolder=$work/backup
PrimaryFolder=$work/primary
ConverterApp=$build/tests/standins/standin-converter
KeepRaw=1
Preview=-p1
Arrangement=2
NameFmt=SDNE
DateFolders=1
UserFolder=1
UserFolderName=Wedding
RangeFolder=1
Template=Basic
INI

echo
echo "== oakvane-ingest =="
status=0
"$build/tools/oakvane-ingest" --card "$work/card/DCIM" 2>"$work/diagnostics.txt" || status=$?
echo "(exit status $status; engine diagnostics in $work/diagnostics.txt)"

for tree in backup primary; do
  echo
  echo "== $tree tree =="
  (cd "$work" && find "$tree" | sort)
done
echo
echo "== preference set $work/config/Oakvane/Main/Default =="
cat "$work/config/Oakvane/Main/Default"
exit "$status"
