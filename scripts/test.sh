#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: once in a normal
# build, then builds and checks the Debian package, then the Windows build's
# tests under Wine, then short fuzz runs, then the whole suite again with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

scripts/check-format.sh
scripts/check-spdx.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEMBERLOCK_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# --- The Debian package --------------------------------------------------------
# A hardened Release build in build-package/, packed with stripped programs;
# lintian must find no error or warning in it, and its desktop file and AppStream
# metadata must validate.
scripts/package.sh

# --- Windows -------------------------------------------------------------------
# The core and pemberlock-cli.exe cross-built with MinGW-w64, their tests run
# under Wine, and the program compared byte for byte with the one just built.
scripts/test-windows.sh

# --- Fuzzing -----------------------------------------------------------------
# Builds the libFuzzer targets with clang in build-fuzz and runs each for about
# 30 seconds from the seed corpus in fuzz/corpus. New inputs go to a work folder
# inside build-fuzz, never into the repository. A property that fails or a
# sanitizer finding stops the fuzzer with an error, and this script with it.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEMBERLOCK_WERROR=ON \
  -DPEMBERLOCK_BUILD_FUZZ=ON -DPEMBERLOCK_BUILD_TESTS=OFF -DPEMBERLOCK_BUILD_GUI=OFF \
  -DPEMBERLOCK_BUILD_BENCH=OFF >/dev/null
fuzzers=(patch_rewrite map_file number_rules)
cmake --build build-fuzz -j"$jobs" --target "${fuzzers[@]/%/_fuzzer}"
for fuzzer in "${fuzzers[@]}"; do
  work=build-fuzz/work/short-$fuzzer
  mkdir -p "$work"
  echo "Fuzzing $fuzzer for 30 seconds"
  (cd build-fuzz/work && "../fuzz/${fuzzer}_fuzzer" -max_total_time=30 -rss_limit_mb=2048 \
     -artifact_prefix="$fuzzer-" "short-$fuzzer" "../../fuzz/corpus/$fuzzer" \
     >"$fuzzer.log" 2>&1) || { tail -n 40 "build-fuzz/work/$fuzzer.log"; exit 1; }
  grep -E '^#[0-9]+[[:space:]]+DONE' "build-fuzz/work/$fuzzer.log" || tail -n 2 "build-fuzz/work/$fuzzer.log"
done

# --- The whole suite under sanitizers ------------------------------------------
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPEMBERLOCK_WERROR=ON \
  -DPEMBERLOCK_SANITIZE=ON -DPEMBERLOCK_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

