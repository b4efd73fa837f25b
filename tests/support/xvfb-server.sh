#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# xvfb-server.sh start|stop STATE_DIR
# A private X display for the end-to-end tests. `start` reuses the display named in
# STATE_DIR/display when it still answers; otherwise it starts Xvfb on a display number the server
# picks itself (-displayfd, so parallel runs in other trees never meet), writes the number to
# STATE_DIR/display and returns once the display answers (at most ~10 s). `stop` stops the server
# only if `start` started it (STATE_DIR/xvfb.pid).
set -u
. "$(dirname "$0")/stop-daemon.sh"
command=${1:?usage: xvfb-server.sh start|stop STATE_DIR}
state=${2:?usage: xvfb-server.sh start|stop STATE_DIR}
displayfile="$state/display"
pidfile="$state/xvfb.pid"
log="$state/xvfb.log"

answers() { timeout 5 xdpyinfo -display "$1" >/dev/null 2>&1; }

case "$command" in
  start)
    mkdir -p "$state"
    if [ -s "$displayfile" ] && answers "$(cat "$displayfile")"; then exit 0; fi
    rm -f "$displayfile"
    number="$state/number"
    rm -f "$number"
    # 96 dpi and no scaling, so that the window's pixels are the screen's pixels.
    Xvfb -displayfd 1 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset \
      >"$number" 2>"$log" &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
      if [ -s "$number" ] && answers ":$(head -n1 "$number")"; then
        echo ":$(head -n1 "$number")" >"$displayfile"
        exit 0
      fi
      kill -0 "$(cat "$pidfile")" 2>/dev/null || break
      sleep 0.1
    done
    echo "Xvfb did not come up:" >&2
    cat "$log" >&2
    kill "$(cat "$pidfile")" 2>/dev/null
    rm -f "$pidfile"
    exit 1
    ;;
  stop)
    stop_daemon "$pidfile"
    rm -f "$displayfile"
    ;;
  *)
    echo "usage: xvfb-server.sh start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
