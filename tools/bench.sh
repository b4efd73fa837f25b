#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the default preset and runs Kelvane's whole-program benchmarks against an X server and a
# JACK server (dummy driver, 48 kHz) of their own, then prints one table: figure, baseline,
# target, met. Benchmarks print figures; they never fail a build and are not part of the tests.
#
#   tools/bench.sh            everything (a few minutes)
#   tools/bench.sh --quick    fewer runs, presses and moves, to try the harness
#
# Needs what tools/install-deps.sh installs. Logs stay in the folder printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10 presses=500 moves=10000
if [ "${1:-}" = "--quick" ]; then runs=3 presses=60 moves=1000; fi

echo "Building (default preset)..."
cmake --preset default -G Ninja >/dev/null
cmake --build build/default -j2 --target kelvane bench_floor_window kelvane_drive bench_sysex \
  engine_bench bench_midi bench_monitor >/dev/null
bin=build/default

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-bench.XXXXXX")
rows="$work/rows.tsv"
: >"$rows"
export JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
export JACK_DEFAULT_SERVER="kelvane-bench-$$"
jack_script=tests/support/jack-server.sh
xvfb_pid=""

cleanup() {
  "$jack_script" stop "$JACK_DEFAULT_SERVER" || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# A private X server: it picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

jack_period() {
  "$jack_script" stop "$JACK_DEFAULT_SERVER"
  KELVANE_JACK_PERIOD=$1 "$jack_script" start "$JACK_DEFAULT_SERVER"
}

# Runs one benchmark program; its rows go to the table, everything it prints to its log.
run() {
  local name=$1
  shift
  echo "== $name"
  "$@" >"$work/$name.log" 2>&1 || echo "   ($name ended with $?; see $work/$name.log)"
  grep -v '^ROW' "$work/$name.log" | grep -v '^\s*$' | sed 's/^/   /' | tail -n 40 || true
  grep '^ROW' "$work/$name.log" | cut -f2- >>"$rows" || true
}

run engine_bench "$bin/bench/engine_bench" --benchmark_min_time=0.2
run bench_midi "$bin/bench/bench_midi" --benchmark_min_time=0.2
run monitor "$bin/bench/bench_monitor"
jack_period 256
run startup "$bin/bench/kelvane_drive" startup --kelvane "$bin/app/kelvane" \
  --floor "$bin/bench/bench_floor_window" --runs "$runs" --workdir "$work"
run keys-256 "$bin/bench/kelvane_drive" keys --kelvane "$bin/app/kelvane" --presses "$presses" \
  --workdir "$work"
run drag "$bin/bench/kelvane_drive" drag --kelvane "$bin/app/kelvane" --moves "$moves" \
  --floor "$bin/bench/bench_floor_window" --workdir "$work"
run sysex "$bin/bench/bench_sysex"
jack_period 64
run keys-64 "$bin/bench/kelvane_drive" keys --kelvane "$bin/app/kelvane" --presses "$presses" \
  --workdir "$work"
"$jack_script" stop "$JACK_DEFAULT_SERVER"

echo
echo "Kelvane benchmarks ($(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, JACK dummy driver 48 kHz)"
awk -F'\t' '
  { for (i = 1; i <= 5; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
  END {
    split("figure|value|baseline|target|met", head, "|")
    for (i = 1; i <= 5; i++) if (length(head[i]) > w[i]) w[i] = length(head[i])
    line = ""
    for (i = 1; i <= 5; i++) line = line sprintf("%-*s  ", w[i], head[i])
    print line
    for (r = 1; r <= NR; r++) {
      line = ""
      for (i = 1; i <= 5; i++) line = line sprintf("%-*s  ", w[i], cell[r, i])
      print line
    }
  }' "$rows"
echo "Logs: $work"
