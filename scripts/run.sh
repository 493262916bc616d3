#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the window alone, and starts it. It has its
# own build folder, build-run/ (Release), so that it and scripts/test.sh
# (build/) never rebuild each other's files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DPEMBERLOCK_BUILD_TESTS=OFF \
  -DPEMBERLOCK_BUILD_BENCH=OFF >/dev/null
cmake --build build-run -j"$(nproc)" --target pemberlock
exec build-run/app/pemberlock "$@"
