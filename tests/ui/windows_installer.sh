#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows installer under Wine, for all users and for the current user:
# a silent install puts both programs, the Start-menu entry and the .mpn file
# type in place, opening a map file starts the installed window, and a silent
# uninstall leaves nothing of it behind.
# Usage: windows_installer.sh SETUP.exe   (with WINEPREFIX set)
set -euo pipefail
setup=$1
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all

work=$(mktemp -d)
xvfb_pid=''
cleanup() {
  local status=$?
  for pid in $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

unix() { winepath -u "$1" 2>/dev/null; }
reg_has() { "$wine" reg query "$1" /ve >/dev/null 2>&1; }
reg_value() { "$wine" reg query "$1" /ve 2>/dev/null | tr -d '\r' | awk -F'REG_SZ' 'NF > 1 {sub(/^[ \t]+/, "", $2); print $2}'; }
wait_gone() {  # wait_gone FOLDER: the uninstaller runs on after its own copy returns
  for _ in $(seq 150); do [ ! -e "$1" ] && return 0; sleep 0.2; done
  return 1
}

# The window needs a display to start on.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
# Wine's desktop process must belong to this display: a server of its own.
/usr/lib/wine/wineserver -k 2>/dev/null && /usr/lib/wine/wineserver -w || true
/usr/lib/wine/wineserver -p >/dev/null 2>&1
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; cleanup' EXIT

check_mode() {  # check_mode /AllUsers|/CurrentUser ROOT_KEY PROGRAMS START_MENU
  local mode=$1 root=$2 folder=$3 menu=$4
  local classes="$root\\Software\\Classes"
  local uninstall="$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pemberlock"
  echo "== installing with /S $mode"
  "$wine" "$setup" /S "$mode" || fail "the installer failed ($mode)"
  local dir
  dir=$(unix "$folder\\Pemberlock")
  for f in pemberlock.exe pemberlock-cli.exe README.txt LICENSE.txt COPYRIGHT.txt uninstall.exe; do
    [ -f "$dir/$f" ] || fail "$f is not in $dir"
  done
  [ -f "$(unix "$menu\\Pemberlock.lnk")" ] || fail "no Start-menu entry in $menu"
  [ "$(reg_value "$classes\\.mpn")" = Pemberlock.Map ] || fail ".mpn is not Pemberlock.Map in $classes"
  local command
  command=$(reg_value "$classes\\Pemberlock.Map\\shell\\open\\command")
  [[ $command == *'pemberlock.exe" "%1"' ]] || fail "the open command is: $command"
  reg_has "$uninstall" || "$wine" reg query "$uninstall" >/dev/null 2>&1 || fail "no uninstall entry"

  # The installed window starts when a map file is opened, as from Explorer,
  # and closes when told to. Wine 8 opens files only by the file types of all
  # users (given a current user's own, "start" waits on nothing for ever): for
  # the current user, the program is started as its open command says.
  # A whole map: one that cannot be read would leave a message box open.
  { for i in $(seq 41 58); do printf '%d\r\n' "$i"; done; printf ' 1 \r\n'; } >"$work/map.mpn"
  if [ "$mode" = /AllUsers ]; then
    timeout 60 "$wine" start /unix "$work/map.mpn" >"$work/start.log" 2>&1 || fail "start map.mpn failed"
  else
    "$wine" "$dir/pemberlock.exe" "$(winepath -w "$work/map.mpn")" >"$work/start.log" 2>&1 &
  fi
  local window=''
  for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name '^Pemberlock$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || fail "opening a map file showed no Pemberlock window"
  "$wine" taskkill /im pemberlock.exe >/dev/null 2>&1 || true  # asks it to close
  for _ in $(seq 100); do xdotool search --name '^Pemberlock$' >/dev/null 2>&1 || break; sleep 0.2; done
  ! xdotool search --name '^Pemberlock$' >/dev/null 2>&1 || fail "the window did not close"
  # The uninstaller cannot remove a program that still runs.
  for _ in $(seq 100); do pgrep -f 'Pemberlock.pemberlock\.exe' >/dev/null || break; sleep 0.2; done
  ! pgrep -f 'Pemberlock.pemberlock\.exe' >/dev/null || fail "pemberlock.exe still runs"

  echo "== uninstalling with /S $mode"
  "$wine" "$dir/uninstall.exe" /S "$mode" || fail "the uninstaller failed ($mode)"
  wait_gone "$dir" || fail "$dir is still there: $(ls -A "$dir")"
  [ ! -e "$(unix "$menu\\Pemberlock.lnk")" ] || fail "the Start-menu entry is still there"
  ! reg_has "$classes\\.mpn" || fail ".mpn is still registered"
  ! "$wine" reg query "$classes\\Pemberlock.Map" >/dev/null 2>&1 || fail "Pemberlock.Map is still there"
  ! "$wine" reg query "$uninstall" >/dev/null 2>&1 || fail "the uninstall entry is still there"
  echo "installed, started and removed without a trace ($mode)"
}

appdata=$("$wine" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
localappdata=$("$wine" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
check_mode /AllUsers HKLM 'C:\Program Files' \
  'C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
check_mode /CurrentUser HKCU "$localappdata\\Programs" \
  "$appdata\\Microsoft\\Windows\\Start Menu\\Programs"
