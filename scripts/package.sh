#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a Release build in build-package/ and checks
# it: lintian must report no error and no warning, the desktop file and the
# AppStream metadata must validate, and the packaged programs and manual
# pages must work. Fails when anything does. The package is left in
# build-package/ (install it with: sudo apt install ./build-package/pemberlock_*.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# Hardened as Debian builds its own packages.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DPEMBERLOCK_WERROR=ON \
  -DPEMBERLOCK_BUILD_TESTS=OFF -DPEMBERLOCK_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
# The manual pages carry the release's date, so the same source makes the same package.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l build-package/packaging/changelog -S Timestamp)
export SOURCE_DATE_EPOCH
cmake --build build-package -j"$jobs"
rm -f build-package/pemberlock_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(echo build-package/pemberlock_*.deb)
echo "Built $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
root=$work/root/usr

# The files as they are installed.
desktop-file-validate "$root/share/applications/pemberlock.desktop"
appstreamcli validate --no-net "$root/share/metainfo/io.github.pemberlock.Pemberlock.metainfo.xml"
# ... and that the metadata's desktop file is in the package.
appstreamcli validate-tree --no-net "$work/root" >/dev/null

# Both programs name the version project() sets, and their manual pages open.
version=$(dpkg-deb -f "$deb" Version)
for program in pemberlock pemberlock-cli; do
  first=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/$program" --version | head -n 1)
  [ "$first" = "$program $version" ] || { echo "$program --version: \"$first\", not $version"; exit 1; }
  MANWIDTH=80 man -P cat -l "$root/share/man/man1/$program.1.gz" >"$work/$program.txt"
  grep -Eq "^ *$program +- " "$work/$program.txt" || { cat "$work/$program.txt"; exit 1; }
  echo "$first; man $program: $(wc -l <"$work/$program.txt") lines"
done

# lintian warns when run as root, and needs nothing of root: as root, it
# runs as nobody on a copy of the package that nobody may read.
lintian_as=()
if [ "$(id -u)" -eq 0 ]; then
  mkdir "$work/lintian"
  cp "$deb" "$work/lintian/"
  deb=$work/lintian/$(basename "$deb")
  chmod 755 "$work"
  chown -R nobody:nogroup "$work/lintian"
  lintian_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups
              env HOME="$work/lintian" TMPDIR="$work/lintian")
fi
"${lintian_as[@]}" lintian --fail-on error,warning --info --show-overrides "$deb"
echo "lintian: no errors or warnings in $(basename "$deb")"
