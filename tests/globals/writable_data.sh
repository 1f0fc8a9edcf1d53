#!/usr/bin/env bash
# The engine, posix and app libraries keep no writable global or static data: a run's state
# belongs to the run. Lists every symbol the archives given put into writable data (.data,
# .bss and their thread-local kin; relocated read-only data is read-only) that is not on the
# allow-list below, and fails when there is one.
set -euo pipefail

# What the compiler and Qt's meta-object compiler put there themselves.
allowed='^(DW\.ref\.|QtPrivate::QMetaTypeInterfaceWrapper<.*>::metaType$|QMetaTypeId<.*>::qt_metatype_id\(\)::metatype_id$|(guard variable for )?QMetaType::register(Converter|MutableView)Impl<.*::unregister$)'

found=0
for archive in "$@"; do
  while IFS= read -r symbol; do
    [ -z "$symbol" ] && continue
    printf '%s: %s\n' "$(basename "$archive")" "$symbol"
    found=1
  done < <(objdump -t "$archive" |
             awk '$0 ~ / \.(data|bss|tdata|tbss)[^ ]* / && $0 !~ / \.data\.rel\.ro/ {
                    for (i = 1; i <= NF; ++i) if ($i ~ /^\.(data|bss|tdata|tbss)/) sec = $i
                    name = $NF
                    if (name != sec && name !~ /^\./) print name
                  }' |
             c++filt | sort -u | grep -Ev "$allowed" || true)
done
if [ "$found" -ne 0 ]; then
  echo "writable global or static data found (see above)" >&2
  exit 1
fi
echo "no writable global or static data in $# libraries"
