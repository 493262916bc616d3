#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when any C++ file differs from what clang-format (Debian 12's, 14)
# makes of it with the project's .clang-format. To mend: the same files
# through clang-format -i.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --style=file --dry-run --Werror
echo "Formatting: all $(git ls-files '*.cpp' '*.h' | wc -l) files as .clang-format says"
