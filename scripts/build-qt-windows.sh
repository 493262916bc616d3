#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds what the Windows window links against, into a cache outside the
# repository, and prints that folder on its last line:
# - Qt from Debian's own qt6-base source, the same version as this machine's
#   Qt host tools (the cross build uses their moc, rcc and uic), configured
#   for MinGW-w64 as a static, Release, Core + Gui + Widgets + Test build;
# - RtMidi from Debian's rtmidi source, for RtMidi's own Windows backend
#   (WinMM), as a static library;
# - the licence texts of what these compile into the program, for the zip
#   and the installer (share/doc/third-party/).
#
# Does nothing when the cache is complete: each step writes its stamp only
# after it succeeded, and the last stamp is written last. An interrupted run
# goes on where it stopped: the source and the build folder are kept until
# all is done, and removed then. From nothing it takes about 45 minutes of two
# idle cores (well over an hour and a half on busy ones, at nice 19), and
# leaves about 110 MB.
#
# Fetches nothing but the two source packages, through apt with a private
# configuration: the machine's own sources and package lists stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

installed_version() {
  dpkg-query -W -f='${Version}' "$1" 2>/dev/null || {
    echo "build-qt-windows: $1 is not installed (scripts/install-deps.sh window)" >&2
    exit 1
  }
}
qt_package=$(installed_version qt6-base-dev-tools)
rtmidi_package=$(installed_version librtmidi-dev)
qt_version=${qt_package%%+*}  # 6.4.2+dfsg-10 -> 6.4.2
qt_version=${qt_version%%-*}

# Everything that decides what Qt is built from and how, in one place: the
# cache's name changes with any of it.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  # No OpenGL, dynamic OpenGL included: FEATURE_opengl=OFF alone leaves the
  # Windows platform plugin asking for the dynamic one, and failing to build.
  -DINPUT_opengl=no
  -DFEATURE_testlib=ON
  # Debian removed the Wintab headers from the source for their licence.
  -DFEATURE_tabletevent=OFF
  -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
  # Without Direct2D, Qt Gui leaves out its DirectWrite 3 font database, which
  # the Windows platform plugin would still ask for: fonts through DirectWrite.
  -DFEATURE_directwrite3=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_glib=OFF
  # No MinGW builds of these in Debian: Qt's own copies, linked in.
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_doubleconversion=OFF
)
toolchain=cmake/toolchains/mingw-w64-x86_64.cmake
key=$(printf '%s\n' "$qt_package" "${options[@]}" | cat - "$toolchain" | sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/pemberlock
prefix=$cache/qt-$qt_version-mingw64-static-$key
ready=$prefix/.pemberlock-ready

if [ -f "$ready" ]; then
  echo "$prefix"
  exit 0
fi

started=$(date +%s)
work=$cache/qt-$qt_version-work-$key
mkdir -p "$prefix" "$work/apt/lists/partial" "$work/apt/archives/partial" "$work/apt/sources.list.d"

# The deb-src line for the suite and mirror this machine installs from.
sources=/etc/apt/sources.list.d/debian.sources
if [ -f "$sources" ]; then
  mirror=$(awk '/^URIs:/ {print $2; exit}' "$sources")
  suite=$(awk '/^Suites:/ {print $2; exit}' "$sources")
else
  read -r mirror suite < <(awk '$1 == "deb" && $0 !~ /security/ {print $2, $3; exit}' /etc/apt/sources.list)
fi
echo "deb-src $mirror $suite main" >"$work/apt/sources.list"
apt_private=(
  -o "Dir::Etc::SourceList=$work/apt/sources.list"
  -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
  -o "Dir::State::Lists=$work/apt/lists"
  -o "Dir::Cache::Archives=$work/apt/archives"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
  -o "APT::Sandbox::User=$(id -un)"
)
apt-get "${apt_private[@]}" update -qq
fetch() {  # fetch PACKAGE VERSION: unpacks the source in $work, prints its folder
  local unpacked
  unpacked=$(find "$work" -maxdepth 1 -type d -name "$1-*" | head -n 1)
  if [ -n "$unpacked" ]; then
    echo "$unpacked"
    return
  fi
  echo "build-qt-windows: fetching the source of $1 $2 from $mirror $suite" >&2
  (cd "$work" && apt-get "${apt_private[@]}" source -qq "$1=$2" >"$work/$1-source.log" 2>&1) || {
    cat "$work/$1-source.log" >&2
    exit 1
  }
  find "$work" -maxdepth 1 -type d -name "$1-*" | head -n 1
}

# --- Qt ----------------------------------------------------------------------
if [ ! -f "$prefix/.pemberlock-complete" ] || [ ! -f "$prefix/.pemberlock-notices" ]; then
  src=$(fetch qt6-base "$qt_package")
  grep -q "QT_REPO_MODULE_VERSION \"$qt_version\"" "$src/.cmake.conf" || {
    echo "build-qt-windows: the source is not Qt $qt_version, the host tools' version" >&2
    exit 1
  }
fi
# (.pemberlock-complete: Qt itself is installed.)
if [ ! -f "$prefix/.pemberlock-complete" ]; then
  [ -f "$work/build/build.ninja" ] || nice -n 19 cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    "${options[@]}" >"$work/configure.log" 2>&1 || {
    tail -n 40 "$work/configure.log" >&2
    exit 1
  }
  nice -n 19 cmake --build "$work/build" -j"${QT_BUILD_JOBS:-2}" >"$work/build.log" 2>&1 || {
    grep -m 20 -A 10 -E 'FAILED|error:' "$work/build.log" >&2 || tail -n 40 "$work/build.log" >&2
    exit 1
  }
  cmake --install "$work/build" >"$work/install.log" 2>&1
  touch "$prefix/.pemberlock-complete"
fi

# The notices of Qt and of the libraries it compiles into the program.
if [ ! -f "$prefix/.pemberlock-notices" ]; then
  notices=$prefix/share/doc/third-party
  rm -rf "$notices"
  mkdir -p "$notices/qtbase"
  cp "$src/LICENSES/GPL-3.0-only.txt" "$src/LICENSES/LGPL-3.0-only.txt" "$notices/qtbase/"
  for lib in freetype harfbuzz-ng libpng zlib pcre2 double-conversion md4c tinycbor easing \
             blake2 sha3 md5 rfc6234; do
    [ -d "$src/src/3rdparty/$lib" ] || continue
    mkdir -p "$notices/qtbase/$lib"
    find "$src/src/3rdparty/$lib" -maxdepth 2 -type f \
      \( -iname 'licen[cs]e*' -o -iname 'copying*' -o -iname '*-license.txt' -o -iname 'ftl.txt' \
         -o -name qt_attribution.json \) -exec cp {} "$notices/qtbase/$lib/" \;
  done
  touch "$prefix/.pemberlock-notices"
fi

# --- RtMidi --------------------------------------------------------------------
if [ ! -f "$prefix/.pemberlock-rtmidi" ]; then
  src=$(fetch rtmidi "$rtmidi_package")
  mkdir -p "$prefix/include/rtmidi" "$prefix/lib" "$prefix/share/doc/third-party/rtmidi"
  nice -n 19 x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -D__WINDOWS_MM__ \
    -c "$src/RtMidi.cpp" -o "$work/RtMidi.o"
  rm -f "$prefix/lib/librtmidi.a"
  x86_64-w64-mingw32-ar rcs "$prefix/lib/librtmidi.a" "$work/RtMidi.o"
  cp "$src/RtMidi.h" "$prefix/include/rtmidi/"
  cp "$src/LICENSE" "$prefix/share/doc/third-party/rtmidi/"
  touch "$prefix/.pemberlock-rtmidi"
fi

rm -rf "$work"
date -u +%FT%TZ >"$ready"
echo "build-qt-windows: ready in $(($(date +%s) - started)) s, $(du -sh "$prefix" | cut -f1)" >&2
echo "$prefix"
