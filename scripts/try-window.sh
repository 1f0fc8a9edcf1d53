#!/usr/bin/env bash
# For a first look at the desktop window: installs what is missing, builds, makes the sample
# card and a preference set of its own (the card as its card folder, backup and primary trees
# beside it, raws through the stand-in converter, sidecars from the sample template) and opens
# oakvane on it. Press Start and watch the ingestion; your own preferences are not touched.
#
#   scripts/try-window.sh          (folder: a new one under $TMPDIR or /tmp, or $OAKVANE_TRY)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=a11y.sh
source "$top/scripts/a11y.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "try-window.sh opens a window: run it in a desktop session (no DISPLAY or WAYLAND_DISPLAY)." >&2
  exit 1
fi
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" oakvane make_sample_card standin-converter >/dev/null

# A folder of the user's own: a fixed name under /tmp is shared with every other user, who
# could have put anything there. A folder named in the environment is the user's choice.
if [ -n "${OAKVANE_TRY:-}" ]; then
  work=$OAKVANE_TRY
  rm -rf "$work"
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/oakvane-try.XXXXXX")
fi
make_sample_setup "$work" "$build/tests/standins/standin-converter"
cat <<TEXT
Sample card:      $work/card/DCIM
Backup tree:      $work/backup
Primary tree:     $work/primary
Preferences:      $work/config/Oakvane (the set "Default")

Press Start in the window. Preferences... shows the whole set; Exit closes the window.
TEXT

# The update check would otherwise ask the product site, which is no use for a sample run.
status=0
XDG_CONFIG_HOME="$work/config" TZ=${TZ:-UTC} OAKVANE_UPDATE_URL=${OAKVANE_UPDATE_URL:-http://127.0.0.1:1} \
  "$build/desktop/oakvane" 2>"$work/diagnostics.txt" || status=$?

echo
echo "== primary tree =="
(cd "$work" && find primary 2>/dev/null | sort) || true
echo "(engine diagnostics in $work/diagnostics.txt)"
exit "$status"
