#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# alsa-tests.sh [--no-amidi] PROGRAM... [--display PROGRAM...]
# Runs inside the test machine of tools/alsa-vm.sh: every ALSA test program given, then (unless
# --no-amidi) amidi's own transfer through the same virtual raw ports, so that the speeds printed
# by our programs stand beside it. The programs after --display run on an X display of their own (Xvfb), started
# once those before it have ended, so that it takes no processor from their measurements;
# KELVANE_E2E_DISPLAY_FILE names the file that holds it. Fails when a program fails.
set -euo pipefail

support=$(cd "$(dirname "$0")" && pwd)

[ -c /dev/snd/seq ] || { echo "alsa-tests: no ALSA sequencer here (run me through tools/alsa-vm.sh)" >&2; exit 1; }

# Seconds since the guest's kernel started.
now() { cut -d' ' -f1 /proc/uptime; }

run_programs() {
  local failed=0 program
  for program in "$@"; do
    if [ "$program" = --display ]; then
      start_display || return 1
      continue
    fi
    echo "== $(basename "$program")"
    "$program" || failed=1
  done
  return "$failed"
}

start_display() {
  local started
  started=$(now)
  display_state=$(mktemp -d)
  export KELVANE_E2E_DISPLAY_FILE=$display_state/display
  # Qt wants a folder of its own for the session's files.
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  trap stop_display EXIT
  if ! "$support/xvfb-server.sh" start "$display_state"; then
    echo "alsa-tests: no X display" >&2
    return 1
  fi
  awk -v s="$started" -v e="$(now)" 'BEGIN { printf "== Xvfb started in %.1f s\n", e - s }'
}

stop_display() {
  "$support/xvfb-server.sh" stop "$display_state"
  rm -rf "$display_state" "$XDG_RUNTIME_DIR"
}

# amidi sends a dump of 512-byte messages into hw:VirMIDI,0, the sequencer carries it to the
# second virtual port, and a second amidi records it from hw:VirMIDI,1. Raw ports have no flow
# control: amidi spaces the messages by 5 ms, as a careful raw MIDI program would. Its losses
# are reported, not failed on: this is a measurement of the tool beside ours.
amidi_transfer() {
  local dir size start took received recorder
  dir=$(mktemp -d)
  LC_ALL=C awk 'BEGIN { for (m = 0; m < 512; m++) {
    printf "%c", 240; for (i = 0; i < 510; i++) printf "%c", (m + i) % 128; printf "%c", 247 } }' \
    >"$dir/dump.syx"
  size=$(stat -c %s "$dir/dump.syx")
  aconnect 'Virtual Raw MIDI 0-0:0' 'Virtual Raw MIDI 0-1:0'
  timeout 60 amidi -p hw:VirMIDI,1 -r "$dir/received.syx" 2>/dev/null &
  recorder=$!
  # Started programs take a while to open their port here.
  sleep 1
  start=$(now)
  timeout 60 amidi -p hw:VirMIDI,0 -s "$dir/dump.syx" -i 5
  for _ in $(seq 100); do
    [ "$(stat -c %s "$dir/received.syx")" -ge "$size" ] && break
    sleep 0.05
  done
  took=$(awk -v s="$start" -v e="$(now)" 'BEGIN { print e - s }')
  kill "$recorder" 2>/dev/null || true
  wait "$recorder" || true
  aconnect -d 'Virtual Raw MIDI 0-0:0' 'Virtual Raw MIDI 0-1:0'
  received=$(stat -c %s "$dir/received.syx")
  awk -v b="$size" -v t="$took" -v r="$received" 'BEGIN {
    printf "[ speed    ] amidi, 256 KiB of 512-byte messages from hw:VirMIDI,0 to hw:VirMIDI,1: "
    printf "%d bytes in %.3f s, %.0f KiB/s; %d bytes arrived\n", b, t, b / 1024 / t, r }'
  cmp -s "$dir/dump.syx" "$dir/received.syx" || echo "[ note     ] amidi's dump came back changed"
  rm -rf "$dir"
}

amidi=1
if [ "${1:-}" = --no-amidi ]; then
  amidi=0
  shift
fi
status=0
run_programs "$@" || status=1
if [ "$amidi" -eq 1 ]; then
  echo "== amidi"
  amidi_transfer
fi
exit "$status"
