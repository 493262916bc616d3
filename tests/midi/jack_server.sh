#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops a JACK server with the dummy driver (no sound hardware),
# for the MIDI tests: jack_server.sh start|stop NAME WORK_FOLDER
# start exits 77 (skipped) when jackd is not installed.
set -euo pipefail
action=$1 name=$2 work=$3
pidfile=$work/jackd-$name.pid log=$work/jackd-$name.log
export JACK_DEFAULT_SERVER=$name JACK_NO_START_SERVER=1

stop() {
    [ -f "$pidfile" ] || return 0
    local pid
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    # Not this shell's child, so wait by polling.
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    rm -f "$pidfile"
}

case $action in
start)
    command -v jackd >/dev/null || { echo "jackd is not installed (Debian package jackd2): skipped"; exit 77; }
    stop  # one left behind by an interrupted run
    mkdir -p "$work"
    jackd -n "$name" --no-realtime --port-max 16 -d dummy -r 48000 -p 256 </dev/null >"$log" 2>&1 &
    echo $! >"$pidfile"
    # jack_wait -c exits 0 either way; only its output tells.
    for _ in $(seq 100); do
        if [ "$(jack_wait -c 2>/dev/null)" = running ]; then
            echo "JACK server $name running, pid $(cat "$pidfile")"
            exit 0
        fi
        kill -0 "$(cat "$pidfile")" 2>/dev/null || break
        sleep 0.05
    done
    echo "JACK server $name did not start"
    cat "$log"
    stop
    exit 1
    ;;
stop) stop ;;
*) echo "usage: $0 start|stop NAME WORK_FOLDER" >&2; exit 2 ;;
esac
