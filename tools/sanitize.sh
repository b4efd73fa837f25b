#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The reliability runs: every test under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# ports and the event ring under ThreadSanitizer (the ALSA ports in the test machine of
# tools/alsa-vm.sh). Fails on the first report.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0
cmake --preset asan -G Ninja >/dev/null
cmake --build --preset asan -j "$(nproc)"
KELVANE_SOAK_SECONDS=${KELVANE_SOAK_SECONDS:-20} ctest --preset asan -j "$(nproc)" -LE packaging

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan.supp
cmake --preset tsan -G Ninja >/dev/null
cmake --build --preset tsan -j "$(nproc)" --target midi_ring_test midi_output_test midi_input_test \
  midi_jack_test alsa_port_test midi_spsc_ring_test
ctest --preset tsan -j "$(nproc)"
