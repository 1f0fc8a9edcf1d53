#!/bin/bash
# Usage: completion_test.sh COMPLETION_FILE OAKVANE_INGEST
# Completes oakvane-ingest command lines as bash would and checks what is offered: every long
# option of its --help, set names from the configuration folder, folders after --card.
set -u
completion=$1 program=$2
fail=0
bad() { echo "FAIL: $*"; fail=1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$completion" || { echo "FAIL: cannot source $completion"; exit 1; }

# The offers for a command line whose last word is being completed.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _oakvane_ingest
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {
  local what=$1 expected=$2
  shift 2
  local got
  got=$(offers "$@")
  [ "$got" = "$expected" ] || bad "$what: offered '$got', expected '$expected'"
}

[ "$(complete -p oakvane-ingest 2>/dev/null)" = "complete -F _oakvane_ingest oakvane-ingest" ] ||
  bad "no completion registered for oakvane-ingest"

expect "--se" $'--select-set\n--set\n--set-value' oakvane-ingest --se
expect "--ca after --verbose" "$(printf -- "--camera\n--card")" oakvane-ingest --verbose --ca
help=$(env -u DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>&1) || bad "$program --help failed"
printf '%s\n' "$help" | grep -q -- --set || bad "$program --help names no --set: $help"
all=$(offers oakvane-ingest --)
for option in $(printf '%s\n' "$help" | grep -oE -- '--[A-Za-z][A-Za-z0-9-]*' | sort -u); do
  printf '%s\n' "$all" | grep -qxF -- "$option" || bad "$option of --help is not completed"
done

export XDG_CONFIG_HOME=$work/config HOME=$work/home
sets=$XDG_CONFIG_HOME/Oakvane/Main
mkdir -p "$sets/Folder" "$HOME"
for set in Default Travel "Trip 2" .Travel; do printf 'Version\t1\n' >"$sets/$set"; done
expect "every set" $'Default\nTravel\nTrip\\ 2' oakvane-ingest --set ""
expect "sets beginning with Tr" $'Travel\nTrip\\ 2' oakvane-ingest --set Tr
expect "--set=Tr" $'Travel\nTrip\\ 2' oakvane-ingest --set = Tr
expect "--set=" $'Default\nTravel\nTrip\\ 2' oakvane-ingest --set =
# A relative XDG_CONFIG_HOME is no configuration folder: ~/.config is used.
XDG_CONFIG_HOME=config expect "sets under ~/.config" "" oakvane-ingest --set ""

mkdir -p "$work/cards/DCIM" && touch "$work/cards/notes.txt"
expect "folders after --card" "$work/cards/DCIM" oakvane-ingest --card "$work/cards/"
expect "files after --report" "$work/cards/DCIM"$'\n'"$work/cards/notes.txt" \
  oakvane-ingest --report "$work/cards/"
exit $fail
