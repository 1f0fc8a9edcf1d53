#!/usr/bin/env bash
# Shows that the desktop window can be driven through the accessibility bus, as a screen reader
# or a GUI test tool drives it: starts a virtual X display, a session bus and the accessibility
# bus, opens oakvane on the sample card with a configuration of its own, presses Start by its
# accessible name and reads the output list through AT-SPI (scripts/a11y_drive.py). Exit status
# 0 when the run's output reached the bus and says the ingestion succeeded.
#
# The virtual screen is 1600x1200 (OAKVANE_A11Y_SCREEN=1024x768x24 for another). Everything goes
# in a temporary folder (OAKVANE_A11Y_WORK to choose it), removed afterwards
# unless OAKVANE_A11Y_KEEP=1; every process started here is ended by its id.
#
# scripts/screenshots.sh sources this file for the same session and sample configuration.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${OAKVANE_BUILD:-$top/build}
# Debian's python carries the AT-SPI bindings; a python3 earlier on PATH may not.
python=/usr/bin/python3

started=()   # pids to end, in order
session_work=""

a11y_cleanup() {
  local pid
  # Last started first: the program before the buses it talks to, the display last. Each one's
  # children go with it (the accessibility bus launcher runs its own bus daemon).
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    pid=${started[i]}
    kill_tree "$pid"
  done
  started=()
  if [ -n "$session_work" ] && [ "${OAKVANE_A11Y_KEEP:-0}" != 1 ]; then
    rm -rf "$session_work"
  fi
}

kill_tree() {
  local pid=$1 child
  for child in $(pgrep -P "$pid" 2>/dev/null); do
    kill_tree "$child"
  done
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      # A zombie has finished; only its parent can reap it.
      [ "$(ps -o stat= -p "$pid" 2>/dev/null | cut -c1)" = Z ] && break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  # Reaps it when it is this shell's own child; returns at once otherwise.
  wait "$pid" 2>/dev/null || true
}

# Starts Xvfb, a session bus and the accessibility bus; exports DISPLAY and
# DBUS_SESSION_BUS_ADDRESS. $1 is the folder for their logs.
a11y_session_start() {
  local work=$1 display_file=$1/display
  : >"$display_file"
  Xvfb -displayfd 3 -screen 0 "${OAKVANE_A11Y_SCREEN:-1600x1200x24}" -nolisten tcp 3>"$display_file" \
    2>"$work/xvfb.log" &
  started+=($!)
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || { echo "Xvfb did not start; see $work/xvfb.log" >&2; return 1; }
  export DISPLAY=:$(head -n1 "$display_file")
  export XDG_RUNTIME_DIR=$work/runtime
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"

  local bus
  bus=$(dbus-launch --sh-syntax)
  eval "$bus"
  started+=("$DBUS_SESSION_BUS_PID")
  export DBUS_SESSION_BUS_ADDRESS

  # The launcher owns org.a11y.Bus on the session bus and runs the accessibility bus's own
  # daemon; the registry is the desktop node that clients ask for the applications.
  /usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/at-spi-bus.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
      org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.1
  done
  /usr/libexec/at-spi2-registryd >"$work/at-spi-registry.log" 2>&1 &
  started+=($!)
  echo "session: DISPLAY=$DISPLAY, session bus pid $DBUS_SESSION_BUS_PID, accessibility bus up"
}

# Makes the sample card and a private configuration in $1 whose "Default" set names the card
# as CardFolder, with backup and primary trees there too. $2 is the converter program.
make_sample_setup() {
  local work=$1 converter=$2
  mkdir -p "$work/backup" "$work/config/Oakvane/Metadata Templates"
  "$build/tests/standins/make_sample_card" "$work/card" --preset demo >/dev/null
  cp "$top/samples/Basic.xmp" "$work/config/Oakvane/Metadata Templates/"
  # A profile as an earlier version left it: the first start turns it into the "Default" set.
  cat >"$work/config/Oakvane/Oakvane.ini" <<INI
[App]
CardFolder=$work/card/DCIM
BackupFolder=$work/backup
PrimaryFolder=$work/primary
ConverterApp=$converter
KeepRaw=1
Preview=-p1
Arrangement=2
NameFmt=SDNE
DateFolders=1
UserFolder=1
RangeFolder=1
Template=Basic
INI
}

# Starts oakvane in the session with the private configuration in $1; sets oakvane_pid.
start_oakvane() {
  local work=$1
  env XDG_CONFIG_HOME="$work/config" HOME="$work" TZ=UTC \
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    OAKVANE_UPDATE_URL=http://127.0.0.1:1 \
    "$build/desktop/oakvane" >"$work/oakvane.log" 2>&1 &
  oakvane_pid=$!
  started+=("$oakvane_pid")
}

drive() { "$python" "$top/scripts/a11y_drive.py" --pid "$oakvane_pid" "$@"; }

# Presses Exit and waits for the program to end; true when it did.
close_oakvane() {
  drive press Exit >/dev/null || return 1
  for _ in $(seq 100); do
    kill -0 "$oakvane_pid" 2>/dev/null || return 0
    [ "$(ps -o stat= -p "$oakvane_pid" 2>/dev/null | cut -c1)" = Z ] && return 0
    sleep 0.1
  done
  return 1
}

a11y_main() {
  "$top/scripts/install-deps.sh"
  "$top/scripts/build.sh" oakvane make_sample_card standin-converter >/dev/null

  session_work=${OAKVANE_A11Y_WORK:-$(mktemp -d /tmp/oakvane-a11y.XXXXXX)}
  mkdir -p "$session_work"
  trap a11y_cleanup EXIT
  local work=$session_work
  a11y_session_start "$work"
  make_sample_setup "$work" "$build/tests/standins/standin-converter"
  start_oakvane "$work"

  local status=0
  drive ingest || status=1
  if [ $status -eq 0 ]; then
    local images
    images=$(find "$work/primary" -type f 2>/dev/null | wc -l)
    echo "primary tree: $images files"
    [ "$images" -gt 0 ] || { echo "the run put nothing into the primary tree" >&2; status=1; }
    # Toggle through the bus must reach the set as a click does.
    drive toggle-prefs || status=1
    grep -q "^Arrangement	1$" "$work/config/Oakvane/Main/Default" ||
      { echo "Date Only, toggled through the bus, was not stored" >&2; status=1; }
    grep -q "^DecodeRaws	0$" "$work/config/Oakvane/Main/Default" ||
      { echo "raw decoding, toggled off through the bus, was not stored" >&2; status=1; }
    close_oakvane || { echo "oakvane did not end on Exit" >&2; status=1; }
  fi
  if [ $status -ne 0 ]; then
    echo "--- oakvane's output ($work/oakvane.log) ---" >&2
    tail -n 30 "$work/oakvane.log" >&2 || true
  fi
  echo "a11y: $([ $status -eq 0 ] && echo PASSED || echo FAILED)"
  return $status
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  a11y_main "$@"
fi
