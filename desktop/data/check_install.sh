#!/bin/sh
# Usage: check_install.sh BUILD_DIR SCRATCH_PREFIX APP_ID
# Installs the build into a scratch prefix and checks it as a desktop would find it: the
# programs with their manual pages, the bash completion, a launcher whose program and icon are
# there, an icon in every size it claims, and AppStream data naming that launcher; then the
# manual pages through groff's warnings and both freedesktop validators, when present.
set -u
build=$1 prefix=$2 id=$3
fail=0
bad() { echo "FAIL: $*"; fail=1; }

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

for program in oakvane oakvane-ingest copycard; do
  [ -x "$prefix/bin/$program" ] || bad "bin/$program not installed"
  page=$prefix/share/man/man1/$program.1
  if [ ! -f "$page" ]; then bad "no manual page for $program"; continue; fi
  grep -q '@[A-Z_]*@' "$page" && bad "$program.1 has an unfilled @VARIABLE@"
  # Every warning groff can give (a misspelt macro, a broken escape) is a fault of the page.
  if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "$warnings"; bad "groff warns about $program.1"; }
  fi
done
[ -f "$prefix/share/bash-completion/completions/oakvane-ingest" ] ||
  bad "no bash completion for oakvane-ingest"
command -v groff >/dev/null || echo "groff missing: manual pages not checked for warnings"

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
[ -f "$desktop" ] || { echo "FAIL: no $desktop"; exit 1; }
[ -f "$metainfo" ] || { echo "FAIL: no $metainfo"; exit 1; }

exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_program" ] || bad "Exec=$exec_program is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ "$icon" = "$id" ] || bad "Icon=$icon, expected $id"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || bad "no scalable icon $icon.svg"
for size in 16 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x$size/apps/$icon.png
  if [ ! -f "$png" ]; then bad "no ${size}x$size icon"; continue; fi
  # The PNG header's width and height, big-endian at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x$size" ] || bad "${size}x$size icon is $dims"
done
grep -q "<id>$id</id>" "$metainfo" || bad "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  bad "metainfo does not launch $id.desktop"

[ $fail -eq 0 ] || exit 1
if ! command -v desktop-file-validate >/dev/null || ! command -v appstreamcli >/dev/null; then
  echo "desktop-file-validate or appstreamcli missing: validators not run"
  exit 77
fi
# Its hints (a category that is not a main one, say) leave the status 0 but mean a launcher
# that menus file in the wrong place.
hints=$(desktop-file-validate "$desktop" 2>&1) || bad "desktop-file-validate"
[ -z "$hints" ] || { echo "$hints"; bad "desktop-file-validate has remarks"; }
appstreamcli validate --no-net "$metainfo" || bad "appstreamcli validate"
exit $fail
