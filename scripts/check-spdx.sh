#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails, naming them, when source files lack the licence's SPDX line.
# To mend: scripts/add-spdx.sh.
exec "$(dirname "$0")/add-spdx.sh" --check
