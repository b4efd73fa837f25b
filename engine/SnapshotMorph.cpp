// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SnapshotMorph.h"

#include <algorithm>

void SnapshotMorph::Start(const Positions &from, const Positions &to, int64_t durationMs) {
  from_ = from;
  to_ = to;
  durationMs_ = std::max<int64_t>(durationMs, 1);
  gliding_.fill(true);
  running_ = true;
}

void SnapshotMorph::Stop() {
  running_ = false;
}

std::optional<int> SnapshotMorph::PositionAt(int index, int64_t elapsedMs) const {
  if (!Gliding(index)) return std::nullopt;
  const int64_t t = std::clamp<int64_t>(elapsedMs, 0, durationMs_);
  const int64_t distance = to_[index] - from_[index];
  // Rounded to the nearest step, halves away from the start, in integers: exact at both ends.
  const int64_t scaled = distance * t * 2;
  const int64_t offset = (scaled + (distance < 0 ? -durationMs_ : durationMs_)) / (2 * durationMs_);
  return from_[index] + static_cast<int>(offset);
}

void SnapshotMorph::Release(int index) {
  if (index < 0 || index >= kKnobs) return;
  gliding_[index] = false;
  if (std::none_of(gliding_.begin(), gliding_.end(), [](bool g) { return g; })) running_ = false;
}
