#!/usr/bin/env bash
# Installs the Debian packages Oakvane builds, tests and benchmarks with; only what is missing.
#
#   install-deps.sh         everything
#   install-deps.sh demo    only what building the command-line programs and the sample card needs
set -euo pipefail

if [ "${1:-}" = demo ]; then
  packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libjpeg62-turbo-dev
            libxxhash-dev libssl-dev libraw-dev qt6-base-dev libmount-dev libblkid-dev libexiv2-dev
            libgphoto2-dev libglib2.0-dev tzdata)
else
packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev
          libjpeg62-turbo-dev libjpeg-turbo-progs libraw-dev libxxhash-dev xxhash qt6-base-dev clang libclang-rt-14-dev
          libmount-dev libblkid-dev libexiv2-dev libgphoto2-dev libglib2.0-dev dbus-daemon e2fsprogs
          dosfstools exfatprogs exfat-fuse bindfs fuse3 tzdata python3
          python3-jsonschema libxxhash-dev libssl-dev libxml2-utils
          fonts-dejavu-core
          desktop-file-utils appstream groff-base
          xvfb xauth dbus-x11 at-spi2-core python3-pyatspi procps)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
