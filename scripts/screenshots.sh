#!/usr/bin/env bash
# Makes the README's screenshots from the real windows: under a virtual X display with the
# accessibility bus (the session of scripts/a11y.sh), opens oakvane on the sample card with a
# configuration of its own, presses Start through AT-SPI and captures the progress dialog
# during the run (the stand-in converter slowed down so that it stays up), the main window
# after the successful run, and the preferences dialog.
#
#   scripts/screenshots.sh [output folder]      (default: docs/screenshots)
#   OAKVANE_SCREENSHOT_CARD=/media/u/EOS_DIGITAL scripts/screenshots.sh   (on a mounted card)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/docs/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# shellcheck source=a11y.sh
source "$top/scripts/a11y.sh"

"$top/scripts/install-deps.sh"
missing=()
for p in imagemagick x11-utils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
"$top/scripts/build.sh" oakvane make_sample_card standin-converter >/dev/null

# A fixed folder, so that the paths the windows show stay the same from one run to the next;
# the user's own, as a fixed name under /tmp is shared with every other user.
session_work=${XDG_CACHE_HOME:-$HOME/.cache}/oakvane-screenshots
rm -rf "$session_work"
mkdir -p "$session_work"
trap a11y_cleanup EXIT
work=$session_work
a11y_session_start "$work"
make_sample_setup "$work" "$build/tests/standins/standin-converter"
# A card mounted for real (a loop-mounted image, say) shows the main window as it looks with
# one: OAKVANE_SCREENSHOT_CARD names its root, which receives the sample card's files.
if [ -n "${OAKVANE_SCREENSHOT_CARD:-}" ]; then
  cp -r "$work/card/." "$OAKVANE_SCREENSHOT_CARD/"
  sed -i "s|^CardFolder=.*|CardFolder=$OAKVANE_SCREENSHOT_CARD/DCIM|" "$work/config/Oakvane/Oakvane.ini"
fi
# Long enough per raw file for the progress dialog to be caught in the converter's phase.
export STANDIN_CONVERTER_DELAY_MS=800
start_oakvane "$work"

# The id of the largest top-level window titled exactly $1 (Qt keeps a 1x1 helper window
# under the application's name too).
window_id() {
  xwininfo -root -children | awk -v title="\"$1\":" '
    index($0, title) { if (match($0, /[0-9]+x[0-9]+\+/)) {
        split(substr($0, RSTART, RLENGTH - 1), wh, "x"); area = wh[1] * wh[2]
        if (area > best) { best = area; id = $1 } } }
    END { if (id) print id; else exit 1 }'
}

capture() {
  local title=$1 file=$2 id
  id=$(window_id "$title") || { echo "no window \"$title\"" >&2; return 1; }
  import -window "$id" -strip "png:$out/$file"
  echo "captured \"$title\" ($id) into $out/$file: $(identify -format '%wx%h' "$out/$file")"
}

drive press Start
drive wait-window "Oakvane Progress" --timeout 60
drive wait-output "Running Adobe DNG Converter" --timeout 60
sleep 1.5
capture "Oakvane Progress" progress-dialog.png

drive wait-output Finished --timeout 120
drive wait-gone "Oakvane Progress" --timeout 30
sleep 0.5
capture "Oakvane" main-window.png

drive press "Preferences..."
drive wait-window "Oakvane Preferences" --timeout 30
sleep 0.5
capture "Oakvane Preferences (Default)" preferences-dialog.png
drive press Close
drive wait-gone "Oakvane Preferences" --timeout 30
close_oakvane || echo "oakvane did not end on Exit; ending it" >&2
