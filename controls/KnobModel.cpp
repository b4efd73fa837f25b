// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "KnobModel.h"

int KnobFrameIndex(int position, uint16_t max, int frameCount) {
  if (frameCount <= 0) return -1;
  const int last = frameCount - 1;
  if (max == 0) return 0;  // an empty range has nothing to divide: show the first frame
  if (position < 0) return 0;
  // With one frame per value the index is the value; anything past the top shows the last frame.
  const int index =
      last == max ? position : static_cast<int>(static_cast<int64_t>(frameCount) * position / max);
  return index > last ? last : index;
}

bool KnobModel::SetPosition(int v) {
  if (v == position_) return false;
  if (v > max_) {
    position_ = max_;
  } else if (v < min_) {
    position_ = min_;
  } else {
    position_ = static_cast<uint16_t>(v);
  }
  return true;
}

std::optional<int> KnobModel::DragMove(TShiftState shift, int x, int y) {
  if (!IsDragState(shift)) return std::nullopt;
  const int step = shift.testFlag(ssShift) ? kShiftStep : kStep;
  const int32_t u = AxisCoordinate(x, y);
  const int32_t last = lastDragCoordinate_;
  lastDragCoordinate_ = u;
  const int p = position_;
  if (u > last) return p + step <= max_ ? p + step : int{max_};
  if (u < last) return p - step >= min_ ? p - step : int{min_};
  return std::nullopt;
}
