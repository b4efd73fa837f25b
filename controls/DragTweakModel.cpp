// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "DragTweakModel.h"

#include "KnobModel.h"

bool DragTweakModel::SetItems(const QStringList &items) {
  items_ = items;
  return items_.isEmpty() ? false : SetCaption(items_.first());
}

bool DragTweakModel::FillRange(int first, int last, const QString &prefix, const QString &suffix) {
  items_.clear();
  // 64-bit counter: a range ending at the largest int must still end.
  for (qint64 n = first; n <= last; ++n) items_.append(prefix + QString::number(n) + suffix);
  return items_.isEmpty() ? false : SetPosition(0);
}

bool DragTweakModel::SetCaption(const QString &caption) {
  if (caption == caption_) return false;
  caption_ = caption;
  return true;
}

int DragTweakModel::Position() const {
  for (qsizetype i = 0; i < items_.size(); ++i) {
    if (items_[i].compare(caption_, Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool DragTweakModel::SetPosition(int v) {
  if (items_.isEmpty()) return false;
  const qsizetype index = v < 0 ? 0 : (v >= items_.size() ? items_.size() - 1 : v);
  return SetCaption(items_[index]);
}

bool DragTweakModel::ResetToDefault() {
  if (!allowReset_ || positionDefault_ > items_.size() - 1) return false;
  return SetPosition(positionDefault_);
}

bool DragTweakModel::DragMove(TShiftState shift, int x) {
  if (!IsDragState(shift)) return false;
  const int step = shift.testFlag(ssShift) ? kShiftStep : kStep;
  const int p = Position();
  const int count = static_cast<int>(items_.size());
  const int last = lastDragX_;
  lastDragX_ = x;
  if (x > last) {
    if (p < count - step) return SetPosition(p + step);
    return allowLoop_ ? SetPosition(0) : false;
  }
  if (x < last) {
    if (p >= 1) return SetPosition(p - step);
    return allowLoop_ ? SetPosition(count - 1) : false;
  }
  return false;
}
