// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

#include "ShiftState.h"

// The direction a knob is dragged in.
enum Taxis : uint8_t { axHorizontal = 0, axVertical = 1 };

// True for the only states in which a move drags a control: the left button alone, or with Shift.
inline bool IsDragState(TShiftState shift) {
  return shift == TShiftState(ssLeft) || shift == (ssLeft | ssShift);
}

// The frame of a strip of `frameCount` frames that shows `position` on a knob whose upper bound
// is `max`; -1 when the strip has no frames. A strip of max + 1 frames has one frame per value;
// otherwise frames are spread evenly and the top values share the last frame. A knob with max 0
// shows frame 0.
int KnobFrameIndex(int position, uint16_t max, int frameCount);

// The value of a knob apart from its painting: range, default and the drag rule. The widget owns
// one and paints what it says.
class KnobModel {
 public:
  static constexpr int kStep = 1;
  static constexpr int kShiftStep = 8;

  uint16_t Position() const { return position_; }
  // Clamps `v` to Min..Max and stores it. Returns false, changing nothing, when `v` already is
  // the position.
  bool SetPosition(int v);

  uint16_t Min() const { return min_; }
  void SetMin(uint16_t v) { min_ = v; }
  uint16_t Max() const { return max_; }
  void SetMax(uint16_t v) { max_ = v; }
  uint16_t PositionDefault() const { return positionDefault_; }
  void SetPositionDefault(uint16_t v) { positionDefault_ = v; }
  Taxis Axis() const { return axis_; }
  void SetAxis(Taxis axis) { axis_ = axis; }
  int32_t LastDragCoordinate() const { return lastDragCoordinate_; }

  // A drag begins at (x, y): the next move is compared with this point, so the first step of a
  // drag goes the way the pointer went, whatever the previous drag did.
  void BeginDrag(int x, int y) { lastDragCoordinate_ = AxisCoordinate(x, y); }

  // One move of the pointer to (x, y) with `shift` held. Outside a drag state nothing happens;
  // otherwise the move is remembered and the value the knob steps to is returned (at most one
  // step per move, however far the pointer went), or nothing when it stays.
  std::optional<int> DragMove(TShiftState shift, int x, int y);

 private:
  // Increases rightwards, and upwards for a vertical knob. Signed, so that a pointer leaving the
  // knob past its left or top edge still counts the right way.
  int32_t AxisCoordinate(int x, int y) const { return axis_ == axHorizontal ? x : -y; }

  uint16_t position_ = 0;
  uint16_t min_ = 0;
  uint16_t max_ = 127;
  uint16_t positionDefault_ = 0;
  Taxis axis_ = axHorizontal;
  int32_t lastDragCoordinate_ = 0;
};
