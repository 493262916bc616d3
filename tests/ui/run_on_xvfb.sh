#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real program on a virtual X display, waits for its window titled
# "Pemberlock" and saves a screenshot of it.
# Usage: run_on_xvfb.sh PEMBERLOCK SCREEN_GRAB OUTPUT.png
# Exits 77 (skipped) when Xvfb is not installed.
set -euo pipefail
program=$1 grab=$2 output=$3

command -v Xvfb >/dev/null || { echo "Xvfb is not installed: skipped"; exit 77; }
command -v xwininfo >/dev/null || { echo "xwininfo (x11-utils) is missing"; exit 1; }

work=$(mktemp -d)
xvfb_pid='' app_pid=''
cleanup() {
    local status=$?
    for pid in $app_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the fd.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb

(cd "$work" && exec "$program") >"$work/app.log" 2>&1 &
app_pid=$!

geometry=''
for _ in $(seq 150); do
    if ! kill -0 "$app_pid" 2>/dev/null; then
        echo "pemberlock ended early"; cat "$work/app.log"; exit 1
    fi
    if xwininfo -root -tree | grep -q '"Pemberlock"'; then
        geometry=$(xwininfo -name Pemberlock)
        # The window is mapped once it is viewable; give it a moment to paint.
        grep -q 'Map State: IsViewable' <<<"$geometry" && break
    fi
    sleep 0.1
done
grep -q 'Map State: IsViewable' <<<"$geometry" || { echo "no window titled Pemberlock appeared"; cat "$work/app.log"; exit 1; }
sleep 1

field() { awk -F: -v k="$1" '$1 ~ k {gsub(/ /, "", $2); print $2}' <<<"$geometry"; }
x=$(field 'Absolute upper-left X') y=$(field 'Absolute upper-left Y')
w=$(field '^ *Width') h=$(field '^ *Height')
echo "window Pemberlock at ${x},${y} size ${w}x${h}"
"$grab" "$output" "$x" "$y" "$w" "$h"
echo "screenshot saved to $output"
