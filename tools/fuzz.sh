#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (preset fuzz: clang, AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a bounded time from the seed corpus in fuzz/corpus/<target>/; fails when one
# finds a crash or a broken check. tools/fuzz.sh [seconds per target, default 30]
# What a run learns stays in build/fuzz/corpus/<target>/ for the next run; crashes are written to
# build/fuzz/crashes/ (reproduce with: build/fuzz/fuzz/<target> FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
tools/install-deps.sh
cmake --preset fuzz -G Ninja >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

build=build/fuzz
mkdir -p "$build/crashes"
failed=()
while read -r target; do
  [ -n "$target" ] || continue
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target: ${seconds} s"
  options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1
    -artifact_prefix="$build/crashes/$target-")
  [ -f "fuzz/dict/$target.dict" ] && options+=(-dict="fuzz/dict/$target.dict")
  # The first folder gathers new inputs; the seeds are only read.
  if "$build/fuzz/$target" "${options[@]}" "$corpus" "fuzz/corpus/$target" \
      >"$build/$target.log" 2>&1; then
    grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec' \
      "$build/$target.log" || true
  else
    tail -n 40 "$build/$target.log"
    failed+=("$target")
  fi
done <"$build/fuzz-targets.txt"

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]} (inputs in $build/crashes/, logs in $build/<target>.log)" >&2
  exit 1
fi
echo "fuzz: every target ran ${seconds} s without a failure"
