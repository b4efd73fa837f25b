// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "ShiftState.h"

// The value of a drag-tweak box apart from its painting. The box has no number of its own: its
// value is the caption, and its position is where the caption stands in the list of items.
class DragTweakModel {
 public:
  static constexpr int kStep = 1;
  static constexpr int kShiftStep = 10;

  const QStringList &Items() const { return items_; }
  // Replaces the items; when there are any, the caption becomes the first one.
  // Returns true when the caption changed.
  bool SetItems(const QStringList &items);
  // Items prefix + n + suffix for n from `first` to `last` (none when last < first); when there
  // are any, position 0. Returns true when the caption changed.
  bool FillRange(int first, int last, const QString &prefix, const QString &suffix);

  const QString &Caption() const { return caption_; }
  bool SetCaption(const QString &caption);

  // The index of the first item equal to the caption, ignoring case; -1 when none is, or when
  // there are no items.
  int Position() const;
  // Shows item v, clamped to the first or last item; nothing when there are no items.
  // Returns true when the caption changed.
  bool SetPosition(int v);

  int PositionDefault() const { return positionDefault_; }
  void SetPositionDefault(int v) { positionDefault_ = v; }
  bool AllowReset() const { return allowReset_; }
  void SetAllowReset(bool allow) { allowReset_ = allow; }
  bool AllowLoop() const { return allowLoop_; }
  void SetAllowLoop(bool allow) { allowLoop_ = allow; }
  int LastDragX() const { return lastDragX_; }

  // Shows the default item when resetting is allowed and the default is not past the last item.
  bool ResetToDefault();

  // A drag begins at x: the first move of the drag is compared with this point.
  void BeginDrag(int x) { lastDragX_ = x; }
  // One move of the pointer to x with `shift` held; only the left button (with or without Shift)
  // drags. Rightwards a step that would pass the last item is refused (or, with AllowLoop, goes
  // to the first item); leftwards a step stops at the first item, and only from the first item
  // does AllowLoop go round to the last. Returns true when the caption changed.
  bool DragMove(TShiftState shift, int x);

  // One arrow-key step of `delta` items; clamps at both ends and never goes round.
  bool Step(int delta) { return SetPosition(Position() + delta); }

 private:
  QStringList items_;
  QString caption_;
  int positionDefault_ = 0;
  bool allowReset_ = true;
  bool allowLoop_ = false;
  int lastDragX_ = 0;
};
