#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# jack-registry-test.sh JACK-SERVER-SCRIPT
# Servers killed with SIGKILL keep their entries in JACK's shared-memory registry; once eight
# are taken no server starts ("Too many servers already active"). This fills the registry with
# killed servers, sees the next start fail, and sees the start script free the dead entries and
# start its server. It runs in a mount namespace of its own with a fresh /dev/shm, so the
# machine's registry and its running servers are never touched; exit 77 (skipped) where no such
# namespace can be made.
set -u
script=${1:?usage: jack-registry-test.sh JACK-SERVER-SCRIPT}
if [ -z "${KELVANE_REGISTRY_NAMESPACE:-}" ]; then
  unshare --mount true 2>/dev/null || exit 77
  KELVANE_REGISTRY_NAMESPACE=1 exec unshare --mount --fork "$0" "$@"
fi
mount -t tmpfs kelvane-jack-shm /dev/shm 2>/dev/null || exit 77
TMPDIR=$(mktemp -d) || exit 1
export TMPDIR JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
trap 'rm -rf "$TMPDIR"' EXIT

answers() { JACK_DEFAULT_SERVER=$1 timeout 5 jack_lsp >/dev/null 2>&1; }

# Starts jackd as NAME, a child of this shell (so that `wait` reaps it once killed: a zombie
# still counts as running), and waits until it answers; its process id is $started and its log
# $TMPDIR/NAME.log.
start() {
  jackd -n "$1" --no-realtime -d dummy -r 48000 -p 256 >"$TMPDIR/$1.log" 2>&1 &
  started=$!
  for _ in $(seq 50); do
    answers "$1" && return 0
    kill -0 "$started" 2>/dev/null || return 1
    sleep 0.1
  done
  kill -9 "$started"
  return 1
}

for i in $(seq 8); do
  start "killed-$i" || { echo "server killed-$i did not start:"; cat "$TMPDIR/killed-$i.log"; exit 1; }
  kill -9 "$started"
  wait "$started" 2>/dev/null
done
if start one-too-many; then
  echo "a ninth server started beside eight dead ones: the registry has more room than we know"
  kill -9 "$started"
  exit 1
fi
if ! grep -q "Too many servers" "$TMPDIR/one-too-many.log"; then
  echo "the ninth server failed otherwise:"
  cat "$TMPDIR/one-too-many.log"
  exit 1
fi
echo "eight killed servers fill the registry: $(grep -m1 'Too many servers' "$TMPDIR/one-too-many.log")"

if ! "$script" start cured; then
  echo "the start script did not free the dead servers' entries"
  exit 1
fi
JACK_DEFAULT_SERVER=cured answers cured || { echo "the cured server does not answer"; exit 1; }
"$script" stop cured
echo "the start script freed the dead entries and its server runs"
