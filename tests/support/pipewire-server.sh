#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# pipewire-server.sh start|stop DIR
# A bare PipeWire daemon for running the JACK tests a second time on PipeWire's JACK library
# (run them as `pw-jack PROGRAM` with XDG_RUNTIME_DIR and PIPEWIRE_RUNTIME_DIR set to DIR).
# It needs no session bus and no session manager: its dummy driver runs the graph.
# KELVANE_PW_QUANTUM sets the period in frames (default 256).
set -u
. "$(dirname "$0")/stop-daemon.sh"
command=${1:?usage: pipewire-server.sh start|stop DIR}
dir=${2:?usage: pipewire-server.sh start|stop DIR}
export XDG_RUNTIME_DIR="$dir" PIPEWIRE_RUNTIME_DIR="$dir" JACK_NO_START_SERVER=1
unset JACK_DEFAULT_SERVER
pidfile="$dir/pipewire.pid"
quantum=${KELVANE_PW_QUANTUM:-256}

answers() { timeout 5 pw-jack jack_lsp >/dev/null 2>&1; }

case "$command" in
  start)
    mkdir -p "$dir" && chmod 700 "$dir"
    answers && exit 0
    pipewire >"$dir/pipewire.log" 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
      if answers; then
        pw-metadata -n settings 0 clock.force-quantum "$quantum" >/dev/null
        exit 0
      fi
      kill -0 "$(cat "$pidfile")" 2>/dev/null || break
      sleep 0.1
    done
    echo "PipeWire did not come up:" >&2
    cat "$dir/pipewire.log" >&2
    exit 1
    ;;
  stop)
    stop_daemon "$pidfile"
    ;;
  *)
    echo "usage: pipewire-server.sh start|stop DIR" >&2
    exit 2
    ;;
esac
