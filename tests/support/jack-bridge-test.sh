#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# jack-bridge-test.sh KELVANE
# Runs inside the test machine of tools/alsa-vm.sh. JACK's raw MIDI bridge (jackd -X
# alsarawmidi) stands for a synth on a cable: its playback port is flagged physical, and it
# queues only 4,096 bytes per port, dropping what does not fit. `kelvane sysex send` with its
# default options paces SysEx to such a port at MIDI's wire speed, so a 64 KiB file of 512-byte
# messages comes out of the bridge whole (counted on the sequencer port of the raw device). The
# same file at full speed is sent too, and what came of it printed: the reason for the pacing.
set -u
kelvane=${1:?usage: jack-bridge-test.sh KELVANE}
[ -c /dev/snd/seq ] || { echo "jack-bridge-test: no ALSA sequencer here (run me through tools/alsa-vm.sh)" >&2; exit 1; }
work=$(mktemp -d)
export JACK_DEFAULT_SERVER=bridge JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
export QT_QPA_PLATFORM=offscreen
python3 - "$work/file.syx" <<'PY'
import sys
message = lambda seed: bytes([0xF0, 0x7D] + [(i + seed) & 0x7F for i in range(509)] + [0xF7])
open(sys.argv[1], 'wb').write(b''.join(message(i) for i in range(128)))
PY

jackd -n bridge -S --no-realtime -X alsarawmidi -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackd=$!
trap 'kill $jackd 2>/dev/null; wait $jackd 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  jack_lsp 2>/dev/null | grep -q system_midi:playback_1 && break
  sleep 0.1
done

# Sends the file with `$@` and prints how many SysEx bytes came out of the first raw device.
send() {
  aseqdump -p 16:0 >"$work/dump.txt" 2>&1 &
  local dump=$!
  sleep 0.5
  "$kelvane" sysex send "$work/file.syx" --to system_midi:playback_1 "$@" 2>"$work/send.txt"
  local status=$?
  # The bridge's last bytes still leave at the cable's pace: wait until nothing more comes.
  local before=-1 now
  for _ in $(seq 30); do
    sleep 0.5
    now=$(wc -c <"$work/dump.txt")
    [ "$now" = "$before" ] && break
    before=$now
  done
  kill "$dump"
  wait "$dump" 2>/dev/null
  cat "$work/send.txt" >&2
  # A server that overran says so and exits 1; anything else that fails is a failure here.
  if [ $status -ne 0 ] && ! grep -q "overran" "$work/send.txt"; then
    echo "jack-bridge-test: sysex send failed ($status)" >&2
  fi
  python3 - "$work/dump.txt" <<'PY'
import sys
print(sum(len(line.split('System exclusive', 1)[1].split())
          for line in open(sys.argv[1]) if 'System exclusive' in line))
PY
}

paced=$(send)
grep -q "hardware port: MIDI wire speed" "$work/send.txt" || { echo "jack-bridge-test: the pacing was not said" >&2; exit 1; }
fast=$(send --full-speed)
echo "64 KiB to JACK's raw MIDI bridge: $paced bytes came out at wire speed, $fast at full speed"
echo "(the bridge dropped $(grep -c 'Dropping event' "$work/jackd.log") events)"
[ "$paced" = 65536 ] || { echo "jack-bridge-test: the paced file did not come out whole" >&2; exit 1; }
