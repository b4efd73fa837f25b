// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

// A glide of the bank knobs from where they stand to a snapshot's positions, as plain numbers:
// where each knob should be at a moment of the glide. The window moves the knobs and sends.
class SnapshotMorph {
 public:
  static constexpr int kKnobs = 22;
  using Positions = std::array<int, kKnobs>;

  // A glide of `durationMs` (at least 1) from `from` to `to`.
  void Start(const Positions &from, const Positions &to, int64_t durationMs);
  void Stop();
  bool Running() const { return running_; }
  int64_t DurationMs() const { return durationMs_; }

  // Where knob `index` (0-based) belongs `elapsedMs` into the glide; none for a knob that no
  // longer glides (released) or when no glide runs. Past the end, the target.
  std::optional<int> PositionAt(int index, int64_t elapsedMs) const;
  // The user took knob `index`: it glides no more. When no knob glides, the glide has ended.
  void Release(int index);
  bool Gliding(int index) const { return running_ && gliding_[index]; }
  bool Finished(int64_t elapsedMs) const { return elapsedMs >= durationMs_; }

 private:
  Positions from_{}, to_{};
  std::array<bool, kKnobs> gliding_{};
  int64_t durationMs_ = 1;
  bool running_ = false;
};
