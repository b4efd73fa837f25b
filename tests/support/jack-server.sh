#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# jack-server.sh start|stop [NAME]
# A private JACK server on the dummy driver for the integration tests. `start` starts one only
# when no server of that name answers, and returns once jack_lsp answers (at most ~10 s);
# `stop` stops the server only if `start` started it. KELVANE_JACK_PERIOD sets the period
# (frames, default 256); KELVANE_JACK_SYNC=1 runs the server synchronously (-S: every cycle
# waits for all clients); KELVANE_JACK_REALTIME=1 runs it with realtime scheduling (-R), as
# musicians run it.
#
# Servers that were killed (SIGKILL, a crashed test run) leave their entries in JACK's
# shared-memory registry, and after eight of them no server starts ("Too many servers already
# active"): `start` frees the entries of dead servers first (jack-registry-prune.py), under a
# lock so that two starts never meet there.
set -u
. "$(dirname "$0")/stop-daemon.sh"
command=${1:?usage: jack-server.sh start|stop [NAME]}
name=${2:-${JACK_DEFAULT_SERVER:-kelvane-test}}
export JACK_DEFAULT_SERVER="$name" JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
pidfile="${TMPDIR:-/tmp}/kelvane-jack-$name.pid"
period=${KELVANE_JACK_PERIOD:-256}

answers() { timeout 5 jack_lsp >/dev/null 2>&1; }
log="${TMPDIR:-/tmp}/kelvane-jack-$name.log"

# Starts the server and waits until it answers (the caller holds the registry lock).
start_server() {
  local sync=()
  local realtime=--no-realtime
  [ "${KELVANE_JACK_SYNC:-0}" = 1 ] && sync=(-S)
  [ "${KELVANE_JACK_REALTIME:-0}" = 1 ] && realtime=--realtime
  jackd -n "$name" "${sync[@]}" "$realtime" -d dummy -r 48000 -p "$period" >"$log" 2>&1 9>&- &
  echo $! >"$pidfile"
  for _ in $(seq 100); do
    answers && return 0
    kill -0 "$(cat "$pidfile")" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

case "$command" in
  start)
    answers && exit 0
    exec 9>"${TMPDIR:-/tmp}/kelvane-jack-registry.lock"
    flock 9
    "$(dirname "$0")/jack-registry-prune.py" || true
    start_server && exit 0
    echo "JACK server '$name' did not come up:" >&2
    cat "$log" >&2
    exit 1
    ;;
  stop)
    stop_daemon "$pidfile"
    ;;
  *)
    echo "usage: jack-server.sh start|stop [NAME]" >&2
    exit 2
    ;;
esac
