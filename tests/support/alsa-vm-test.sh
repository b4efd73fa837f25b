#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# What the ALSA tests count on from tools/alsa-vm.sh: the command's status, stdout and stderr
# come back apart, its arguments and chosen variables arrive intact, shared folders are
# writable, the sequencer is there, and a guest that overstays is stopped with status 124
# and leaves nothing behind.
set -euo pipefail
vm="$(cd "$(dirname "$0")/../.." && pwd)/tools/alsa-vm.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {
  local what=$1 got=$2 wanted=$3
  if [ "$got" != "$wanted" ]; then
    echo "FAIL: $what: got '$got', wanted '$wanted'" >&2
    failures=$((failures + 1))
  fi
}

# One guest for the whole contract of a run that ends by itself.
status=0
KELVANE_PASSED=yes "$vm" -e CHOSEN='a "quoted" value' --share "$work" bash -c '
  echo "$KELVANE_PASSED|$CHOSEN|$1|$PWD"
  echo "to stderr" >&2
  echo written >"$2/from-guest"
  test -c /dev/snd/seq && grep -q "Midi Through" /proc/asound/seq/clients || echo "no sequencer"
  exit 7' _ "it's one argument" "$work" >"$work/out" 2>"$work/err" || status=$?
expect "status" "$status" 7
expect "stdout" "$(cat "$work/out")" "yes|a \"quoted\" value|it's one argument|$PWD"
expect "stderr" "$(cat "$work/err")" "to stderr"
expect "file written in a shared folder" "$(cat "$work/from-guest" 2>/dev/null)" written

# A guest still busy at its deadline: stopped with a message, and its job folder gone.
mkdir "$work/tmp"
status=0
TMPDIR="$work/tmp" "$vm" --timeout 3 sleep 600 2>"$work/err" || status=$?
expect "status after the timeout" "$status" 124
grep -q "still running after 3 s" "$work/err" || expect "timeout message" "$(cat "$work/err")" "still running after 3 s"
expect "files left behind" "$(ls -A "$work/tmp")" ""

[ "$failures" -eq 0 ] && echo "alsa-vm.sh keeps its contract"
exit "$failures"
