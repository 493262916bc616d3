#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the core, pemberlock-cli.exe and their tests for Windows with
# MinGW-w64 into build-windows/, runs the tests under Wine, compares the
# Windows program with this machine's on the same generated patches, and
# packs the zip. Fails when anything does. Run after scripts/test.sh has
# built build/ (it uses build/cli/pemberlock-cli to compare with), or on its
# own: it then builds what it needs of build/ too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
jobs=$(nproc)
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wine}"

cmake --preset windows-cross >/dev/null
cmake --build --preset windows-cross -j"$jobs"

# Debian's wineserver script passes -p0: the server quits the moment no
# Windows program runs, and a test that starts just then finds it going away
# ("wine client error:0: recvmsg: Connection reset by peer"). One server kept
# for the whole run avoids that race (and restarting it for every test).
work=""
cleanup() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -k >/dev/null 2>&1 && /usr/lib/wine/wineserver -w || true
/usr/lib/wine/wineserver -p >/dev/null 2>&1
# A fresh prefix takes a while to set up; do it before any test runs. Wine's
# own services start here too, so no test's output pipe is held by them.
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
ctest --preset windows-cross -j"$jobs"

# The same patches through both programs: files and output byte for byte.
if [ ! -x build/cli/pemberlock-cli ] || [ ! -x build/tests/windows/pemberlock-make-patches ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$jobs" --target pemberlock-cli pemberlock-make-patches
fi
work=$(mktemp -d)
# The Linux program records its drops for --undo; not in the real home.
export XDG_STATE_HOME="$work/state"
mkdir "$work/linux"
build/tests/windows/pemberlock-make-patches "$work/linux" 200
cp -a "$work/linux" "$work/windows"
# Wine hands the names on to Windows in the locale's encoding.
export LC_ALL=C.UTF-8
top=$PWD
run() {  # run FOLDER PROGRAM...: the batch's output, then its exit status
  (cd "$1" && shift && set +e && "$@" -- *.pch notes.txt 2>/dev/null; echo "exit $?")
}
run "$work/linux" "$top/build/cli/pemberlock-cli" >"$work/linux.out"
run "$work/windows" /usr/lib/wine/wine64 "$top/build-windows/cli/pemberlock-cli.exe" >"$work/windows.out"
cmp "$work/linux.out" "$work/windows.out"
diff -r "$work/linux" "$work/windows"
tail -n 4 "$work/linux.out"
echo "Windows and Linux builds agree on $(ls "$work/linux" | wc -l) patches, names included"

(cd build-windows && cpack -G ZIP >/dev/null)
ls build-windows/pemberlock-cli-*-win64.zip
