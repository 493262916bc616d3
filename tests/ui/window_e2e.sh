#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real window as a person would, on a virtual X display with
# openbox, through xdotool:
#   - starts it with a map given on the command line (as a file manager does
#     for a double-clicked .mpn) and checks its title and fixed size;
#   - types "130" into knob 1's box (it must show 120) and saves with Ctrl+S,
#     which must rewrite that same map file;
#   - saves again through File > Save Map As and the file dialog;
#   - drags the patches of PATCHES from pcmanfm onto the red drop area,
#     answers Drop to the question about the map's controller 120, and
#     copies the status box's text through the clipboard.
# Usage: window_e2e.sh [--windows] PATCHES OUT PROGRAM [ARG...]
# OUT gets patches/ (as rewritten), start.mpn, saved.mpn, status.txt and
# screenshots; the caller compares them with another run's. --windows: the
# program is a Windows one under Wine, whose paths are Z:\... ones.
# Exits 77 (skipped) when a tool it needs is missing.
set -euo pipefail
windows=false
if [ "${1:-}" = --windows ]; then windows=true; shift; fi
patches=$1 out=$2
shift 2

for tool in Xvfb openbox xdotool xclip pcmanfm import xwininfo; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done

rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  local status=$?
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  import -window root "$out/failed.png" 2>/dev/null || true
  [ ! -s "$work/program.log" ] || { echo "--- the program's output:"; cat "$work/program.log"; } >&2
  exit 1
}
# Paths as the program sees them.
native() { if $windows; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi; }

# --- A desktop: Xvfb, a window manager, a clipboard --------------------------
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
# A home of its own, so that no setting of the user's (pcmanfm's view, Qt's
# recent files) plays a part.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
export XDG_STATE_HOME=$work/home/.local/state XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$XDG_CONFIG_HOME/pcmanfm/default"
printf '[ui]\nview_mode=list\nshow_hidden=0\n[desktop]\n' \
  >"$XDG_CONFIG_HOME/pcmanfm/default/pcmanfm.conf"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1
if $windows; then
  # Wine's desktop process (explorer.exe, which also serves the clipboard)
  # must belong to this display: a Wine server of its own, started now.
  server=/usr/lib/wine/wineserver
  "$server" -k 2>/dev/null && "$server" -w || true
  "$server" -p >/dev/null 2>&1
  trap '"$server" -k 2>/dev/null || true; cleanup' EXIT
fi

wait_for() {  # wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND
  local seconds=$1 what=$2
  shift 2
  for _ in $(seq $((seconds * 5))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
  fail "no $what after $seconds s"
}
window_named() { xdotool search --onlyvisible --name "^$1\$" | head -n 1; }

# --- Start with a map ------------------------------------------------------------
mkdir "$work/maps"
start=$work/maps/start.mpn
# Knobs 1 to 18 get 11 to 28; existing mappings take precedence.
for i in $(seq 11 28); do printf '%d\r\n' "$i"; done >"$start"
printf ' 1 \r\n' >>"$start"
cp -a "$patches" "$work/patches"

"$@" "$(native "$start")" >"$work/program.log" 2>&1 &
pids+=($!)
program=$!
shown() { kill -0 "$program" || fail "the program ended early"; [ -n "$(window_named Pemberlock)" ]; }
wait_for 60 'window titled "Pemberlock"' shown
win=$(window_named Pemberlock)
xdotool windowmove --sync "$win" 20 40 2>/dev/null || true
sleep 2
# Where the window's own area is on the screen (xdotool's position counts the
# frame's title bar twice under openbox).
geometry() {  # geometry WINDOW PREFIX: sets PREFIX{X,Y,WIDTH,HEIGHT}
  local info
  info=$(xwininfo -id "$1")
  eval "$2X=$(awk -F: '/Absolute upper-left X/ {print $2 + 0}' <<<"$info")"
  eval "$2Y=$(awk -F: '/Absolute upper-left Y/ {print $2 + 0}' <<<"$info")"
  eval "$2WIDTH=$(awk -F: '/^ *Width/ {print $2 + 0}' <<<"$info")"
  eval "$2HEIGHT=$(awk -F: '/^ *Height/ {print $2 + 0}' <<<"$info")"
}
geometry "$win" ''
echo "window \"Pemberlock\" at $X,$Y, $WIDTH x $HEIGHT"
# The client area is 537 x 369, below the menu bar, and the window keeps its
# size when something tries to change it.
[ "$WIDTH" -eq 537 ] || fail "the window is $WIDTH wide, not 537"
[ "$HEIGHT" -gt 369 ] && [ "$HEIGHT" -lt 420 ] || fail "the window is $HEIGHT high"
size="$WIDTH x $HEIGHT"
xdotool windowsize "$win" 800 600 2>/dev/null || true
sleep 2
geometry "$win" ''
[ "$WIDTH x $HEIGHT" = "$size" ] || fail "the window was resized from $size to $WIDTH x $HEIGHT"
menu=$((HEIGHT - 369))  # the menu bar's height
import -window root "$out/1-started.png"

# --- Type 130 into knob 1's box, save to the map it started with -------------------
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
# Knob 1's box is at (8 + 8 + 24, 8 + 24 + 16) in the client area.
xdotool mousemove $((X + 8 + 8 + 24 + 12)) $((Y + menu + 8 + 24 + 16 + 12)) click 1
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 120 130
sleep 0.5
import -window root "$out/2-typed-130.png"
xdotool key ctrl+s
expected=$work/expected.mpn
{
  printf '120\r\n'
  for i in $(seq 12 28); do printf '%d\r\n' "$i"; done
  printf ' 1 \r\n'
} >"$expected"
wait_for 20 "Ctrl+S writing the map it started with" cmp -s "$start" "$expected"
cp "$start" "$out/start.mpn"

# --- File > Save Map As, through the dialog ----------------------------------------
saved=$work/maps/saved.mpn
xdotool key alt+f
sleep 1
xdotool key Down Down Return
sleep 2
dialog=$(xdotool getactivewindow)
[ "$dialog" != "$win" ] || fail "no file dialog opened"
import -window root "$out/3-save-as-dialog.png"
# The name box has the focus; replace what it offers.
xdotool key Home shift+End
xdotool type --delay 50 "$(native "$saved")"
sleep 0.5
xdotool key Return
wait_for 20 "map saved through Save Map As" cmp -s "$saved" "$expected"
cp "$saved" "$out/saved.mpn"

# --- Drag the patches from pcmanfm onto the red area ----------------------------------
pcmanfm --no-desktop "$work/patches" >"$work/pcmanfm.log" 2>&1 &
pids+=($!)
wait_for 30 "pcmanfm window" window_named patches
files=$(window_named patches)
xdotool windowmove --sync "$files" 640 40 windowsize --sync "$files" 600 500 2>/dev/null || true
sleep 2
xdotool windowactivate --sync "$files"
geometry "$files" FILES_
xdotool key ctrl+a
sleep 0.5
import -window root "$out/4-files-selected.png"
# The first file's row, in the list below the tool bar, the path bar and the
# column headings.
from_x=$((FILES_X + ${E2E_ROW_X:-250})) from_y=$((FILES_Y + ${E2E_ROW_Y:-110}))
# The middle of the red area: Frame2 (416, 8) + Shape1 (8, 16), 97 x 217.
to_x=$((X + 416 + 8 + 48)) to_y=$((Y + menu + 8 + 16 + 108))
xdotool mousemove "$from_x" "$from_y"
sleep 0.3
xdotool mousedown 1
for step in $(seq 1 20); do
  xdotool mousemove $((from_x + (to_x - from_x) * step / 20)) $((from_y + (to_y - from_y) * step / 20))
  sleep 0.05
done
sleep 0.5
xdotool mouseup 1
# Knob 1 has controller 120 now, which the window warns about: before the
# drop it asks, in a box of its own in front, and Drop (Alt+D) goes ahead.
# (Under Wine the box is not always the active window as X sees it: look
# for a second window of that title, and give it the key.)
question=""
asked() {
  question=$(xdotool search --onlyvisible --name '^Pemberlock$' | grep -vx "$win" | head -n 1)
  [ -n "$question" ]
}
wait_for 30 "question before the drop" asked
import -window root "$out/5-asked.png"
xdotool windowactivate --sync "$question" 2>/dev/null || xdotool windowfocus --sync "$question" || true
xdotool key alt+d
sleep 1

# The status box's text, copied as a person would: click, select all, copy.
copy_status() {
  xdotool windowactivate --sync "$win" 2>/dev/null || true
  xdotool mousemove $((X + 8 + 100)) $((Y + menu + 280 + 30)) click 1
  xdotool key ctrl+a ctrl+c
  sleep 0.5
  xclip -selection clipboard -o >"$out/status.txt" 2>/dev/null
  grep -q 'files processed successfully' "$out/status.txt"
}
wait_for 60 "summary in the status box" copy_status
import -window root "$out/6-dropped.png"
cp -a "$work/patches" "$out/patches"
echo "window_e2e: typed 130 (120 saved), Save Map and Save Map As, $(ls "$work/patches" | wc -l) files dragged"
