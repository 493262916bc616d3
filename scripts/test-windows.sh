#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the core, pemberlock-cli.exe and their tests for Windows with
# MinGW-w64 into build-windows/, runs the tests under Wine, compares the
# Windows program with this machine's on the same generated patches, and
# packs the zip. Fails when anything does. Run after scripts/test.sh has
# built build/ (it uses build/cli/pemberlock-cli to compare with), or on its
# own: it then builds what it needs of build/ too.
#
# With --window, the window instead (not part of scripts/test.sh: on a fresh
# machine building its Qt takes longer than the rest of the test command):
# Qt and RtMidi for MinGW (scripts/build-qt-windows.sh, skipped once cached),
# then pemberlock.exe and pemberlock-cli.exe in build-windows-window/, the
# window's Qt tests under Wine, the real window driven on a virtual desktop
# and compared with the Linux window (tests/ui/window_e2e.sh), and the zip and
# the installer made, the installer tried out under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
window=false
[ "${1:-}" = --window ] && window=true
if $window; then
  scripts/install-deps.sh window
  build=build-windows-window
else
  scripts/install-deps.sh windows
  build=build-windows
fi
jobs=$(nproc)
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$PWD/$build/wine}"

if $window; then
  qt_prefix=$(scripts/build-qt-windows.sh | tail -n 1)
  # A build folder configured against another build of Qt and RtMidi keeps
  # its paths in the cache: start it afresh.
  cache=$build/CMakeCache.txt
  if [ -f "$cache" ] && grep -o '/pemberlock/qt-[^/]*-mingw64-static-[0-9a-f]*' "$cache" |
     grep -qvxF "/pemberlock/${qt_prefix##*/pemberlock/}"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
  fi
  cmake --preset windows-window -DCMAKE_PREFIX_PATH="$qt_prefix" >/dev/null
  nice -n 19 cmake --build --preset windows-window -j"$jobs" \
    --target all windows-zip windows-installer
else
  cmake --preset windows-cross >/dev/null
  cmake --build --preset windows-cross -j"$jobs"
fi

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

if $window; then
  # The window's own tests; the core's ran in build-windows/ already.
  # The static Qt has the Windows platform alone (no offscreen one), and
  # Wine makes its windows on an X display: a virtual one.
  # One at a time: run side by side under one Wine, the undo tests failed.
  # Wine's desktop process, to which every window belongs, keeps the display
  # it was started on: a Wine server of their own, started on that display
  # (the one started above had none, and every window failed to be made:
  # "CreateWindowEx failed").
  window_tests() {
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 && /usr/lib/wine/wineserver -w || true
    /usr/lib/wine/wineserver -p >/dev/null 2>&1
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
    local dir
    for dir in ui midi; do
      ctest --test-dir build-windows-window/tests/$dir --output-on-failure -j1 || {
        # What the Qt tests printed under Wine, which CTest does not see.
        tail -n 60 build-windows-window/tests/$dir/*.log
        return 1
      }
    done
  }
  # (Handed over as text: xvfb-run's shell drops exported functions.)
  xvfb-run -a -s '-screen 0 1280x1024x24' \
    bash -c "set -e; jobs=$jobs; $(declare -f window_tests); window_tests"

  # The real window on a virtual desktop, the Windows build and the Linux one
  # given the same patches: the same files and the same status lines.
  if [ ! -x build/app/pemberlock ] || [ ! -x build/tests/windows/pemberlock-make-patches ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    nice -n 19 cmake --build build -j"$jobs" --target pemberlock pemberlock-make-patches
  fi
  work=$(mktemp -d)
  e2e=build-windows-window/e2e
  # A handful of patches (bass 0.pch, Käse—1.pch, lead [2].pch, pad 3 ☃.pch,
  # 4.pch) and a file that is none: Wine 8 itself has crashed on drops of 42.
  mkdir "$work/patches"
  build/tests/windows/pemberlock-make-patches "$work/patches" 5
  printf 'not a patch\r\n' >"$work/patches/notes.txt"
  export LC_ALL=C.UTF-8
  tests/ui/window_e2e.sh "$work/patches" "$e2e/linux" build/app/pemberlock
  tests/ui/window_e2e.sh --windows "$work/patches" "$e2e/windows" \
    /usr/lib/wine/wine64 build-windows-window/app/pemberlock.exe
  diff -r "$e2e/linux/patches" "$e2e/windows/patches"
  ! diff -rq "$work/patches" "$e2e/windows/patches" >/dev/null || {
    echo "the drop rewrote nothing"; exit 1; }
  cmp "$e2e/linux/saved.mpn" "$e2e/windows/saved.mpn"
  # The status lines name the patches by path: the folder differs, and Wine's
  # clipboard hands the text on with LF line ends.
  status() { # status RUN: the status box's lines with the folder's path taken out
    sed -e 's/\r$//' -e 's#[^ ]*[/\\]patches[/\\]#<folder>/#' "$e2e/$1/status.txt"
  }
  diff <(status linux) <(status windows)
  status windows
  echo "The Windows window rewrote $(ls "$work/patches" | wc -l) dragged files as the Linux window did"

  # What is shipped: the zip's files, then the installer under Wine.
  zip=$(ls build-windows-window/pemberlock-*-win64.zip)
  unzip -Z1 "$zip" | sort >"$work/zip.list"
  printf '%s\n' COPYRIGHT.txt LICENSE.txt README.txt pemberlock-cli.exe pemberlock.exe | diff - "$work/zip.list"
  # Nothing but Windows' own DLLs (api-ms-win-*: the API sets that Windows
  # 8 and later resolve to its own DLLs; Qt asks for WinRT strings there).
  for exe in pemberlock.exe pemberlock-cli.exe; do
    unzip -p "$zip" "$exe" >"$work/$exe"
    x86_64-w64-mingw32-objdump -p "$work/$exe" | awk '/DLL Name:/ {print tolower($3)}' |
      grep -v -E '^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|comdlg32|imm32|winmm|ws2_32|uxtheme|dwmapi|version|winspool\.drv|shlwapi|uuid|setupapi|netapi32|userenv|wtsapi32|msvcrt|mpr|d3d9|dwrite|d2d1|dxgi|d3d11|authz|secur32|crypt32|bcrypt|ntdll|rpcrt4|shcore|api-ms-win-[a-z0-9-]+)\.dll$' &&
      { echo "$exe needs a DLL that Windows does not have"; exit 1; } || true
  done
  ls -l "$zip"
  tests/ui/windows_installer.sh "$(ls build-windows-window/pemberlock-*-win64-setup.exe)"
  exit 0
fi
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
