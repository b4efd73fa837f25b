#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# jack-server.sh start|stop [NAME]
# A private JACK server on the dummy driver for the integration tests. `start` starts one only
# when no server of that name answers, and returns once jack_lsp answers (at most ~10 s);
# `stop` stops the server only if `start` started it.
set -u
command=${1:?usage: jack-server.sh start|stop [NAME]}
name=${2:-${JACK_DEFAULT_SERVER:-kelvane-test}}
export JACK_DEFAULT_SERVER="$name" JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
pidfile="${TMPDIR:-/tmp}/kelvane-jack-$name.pid"
period=${KELVANE_JACK_PERIOD:-256}

answers() { timeout 5 jack_lsp >/dev/null 2>&1; }

case "$command" in
  start)
    answers && exit 0
    log="${TMPDIR:-/tmp}/kelvane-jack-$name.log"
    jackd -n "$name" --no-realtime -d dummy -r 48000 -p "$period" >"$log" 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
      answers && exit 0
      kill -0 "$(cat "$pidfile")" 2>/dev/null || break
      sleep 0.1
    done
    echo "JACK server '$name' did not come up:" >&2
    cat "$log" >&2
    exit 1
    ;;
  stop)
    [ -f "$pidfile" ] || exit 0
    pid=$(cat "$pidfile")
    rm -f "$pidfile"
    kill "$pid" 2>/dev/null || exit 0
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || exit 0
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null
    exit 0
    ;;
  *)
    echo "usage: jack-server.sh start|stop [NAME]" >&2
    exit 2
    ;;
esac
