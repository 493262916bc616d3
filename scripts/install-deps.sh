#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages needed to build, run and test the tool;
# with "windows", those for the Windows cross build and Wine as well; with
# "window", also those for building Qt for Windows, testing the Windows window
# on a virtual desktop and making its installer (scripts/test-windows.sh --window).
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libcli11-dev libbenchmark-dev
  librtmidi-dev jackd2
  xvfb xauth x11-utils
  clang libclang-rt-14-dev clang-format git
  libxxhash-dev
  dpkg-dev file
  help2man man-db lintian appstream desktop-file-utils
)
if [ "${1:-}" = windows ] || [ "${1:-}" = window ]; then
  packages+=(g++-mingw-w64-x86-64-posix wine64 wine zip)
fi
if [ "${1:-}" = window ]; then
  packages+=(ninja-build nsis xdotool xclip openbox pcmanfm imagemagick unzip)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
