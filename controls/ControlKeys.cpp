// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControlKeys.h"

#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

namespace {

constexpr int kNotch = QWheelEvent::DefaultDeltasPerStep;  // 120: one notch of a plain wheel

std::optional<int> KeyStep(int key, int position, int min, int max, int largeStep) {
  switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Right:
      return position + 1;
    case Qt::Key_Down:
    case Qt::Key_Left:
      return position - 1;
    case Qt::Key_PageUp:
      return position + largeStep;
    case Qt::Key_PageDown:
      return position - largeStep;
    case Qt::Key_Home:
      return min;
    case Qt::Key_End:
      return max;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<int> KeyTurnTarget(const QKeyEvent &key, int position, int min, int max,
                                 int largeStep) {
  // NumLock off turns the keypad's digits into arrows and Page keys: those are play-mode keys.
  if (key.modifiers() & ~Qt::KeyboardModifiers(Qt::ShiftModifier)) return std::nullopt;
  const std::optional<int> target = KeyStep(key.key(), position, min, max, largeStep);
  if (!target) return std::nullopt;
  return std::clamp(*target, min, std::max(min, max));
}

int WheelNotches(const QWheelEvent &wheel, int &remainder) {
  // A vertical wheel, or a horizontal one (a tilt wheel, or Alt swapping the axes).
  const QPoint delta = wheel.angleDelta();
  remainder += delta.y() != 0 ? delta.y() : delta.x();
  const int notches = remainder / kNotch;
  remainder -= notches * kNotch;
  return notches;
}

void DrawFocusRing(QPainter &painter, const QRect &area, const QColor &colour) {
  // Two pixels wide, so that it shows on the knob's white corners and on the box's black face.
  painter.save();
  painter.setPen(QPen(colour, 2, Qt::DotLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(area.adjusted(1, 1, -1, -1));
  painter.restore();
}
