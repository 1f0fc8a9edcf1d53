#!/bin/sh
# Usage: help_test.sh VERSION MAN_SOURCE_DIR PROGRAM...
# Every program answers --help and --version with status 0 and without a display, the version
# is the project's, and every long option and environment variable its help names is described
# in its manual page, so that the two cannot drift apart.
set -u
version=$1 mandir=$2
shift 2
fail=0
bad() { echo "FAIL: $*"; fail=1; }
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# The page as a reader sees its words: roff's escaped hyphens and font changes undone.
page_text() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$1"; }

for program in "$@"; do
  name=${program##*/}
  page=$mandir/$name.1
  [ -f "$page" ] || { bad "$name: no manual page $page"; continue; }
  # Read in place with man -l, the page must name the version itself.
  grep -qF ".TH " "$page" && head -n 1 "$page" | grep -qF "\"Oakvane $version\"" ||
    bad "$name.1: its title line does not name Oakvane $version"

  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help >"$out" 2>"$err"
  status=$?
  [ $status -eq 0 ] || bad "$name --help: status $status: $(cat "$err")"
  [ -s "$out" ] || bad "$name --help printed nothing"
  for option in $(grep -oE -- '--[A-Za-z][A-Za-z0-9-]*' "$out" | sort -u); do
    page_text "$page" | grep -qE -- "$option([^A-Za-z0-9-]|\$)" ||
      bad "$name: $option is in --help but not in $name.1"
  done
  for variable in $(grep -oE '(OAKVANE|XDG)_[A-Z_]+' "$out" | sort -u); do
    page_text "$page" | grep -qw -- "$variable" ||
      bad "$name: $variable is in --help but not in $name.1"
  done

  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version >"$out" 2>"$err"
  status=$?
  [ $status -eq 0 ] || bad "$name --version: status $status: $(cat "$err")"
  escaped=$(printf '%s' "$version" | sed 's/\./\\./g')
  grep -qE "(^|[^0-9.])$escaped([^0-9.]|\$)" "$out" ||
    bad "$name --version says '$(cat "$out")', not $version"
done
exit $fail
