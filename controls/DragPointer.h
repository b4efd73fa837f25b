// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>

// The pointer during a drag on a knob or a value box: hidden while the button is down, so the
// musician watches the control rather than the arrow, and put back where the drag began.
// Each hide is paired with one show, however the press ends; a control that goes away in the
// middle of a drag shows the pointer again. On Wayland the pointer cannot be placed; the drag
// works all the same, the pointer just stays where it was let go.
// GUI thread only.
class DragPointer {
 public:
  DragPointer() = default;
  DragPointer(const DragPointer &) = delete;
  DragPointer &operator=(const DragPointer &) = delete;
  ~DragPointer() { Show(); }

  // Where the pointer is now, in screen coordinates.
  static QPoint Current();

  bool IsHidden() const { return hidden_; }
  void Hide();
  // Puts the pointer at `screenPoint`, only while it is hidden for a drag: a pointer the user
  // can see is never moved under them.
  void PutBack(QPoint screenPoint) const;
  void Show();

 private:
  bool hidden_ = false;
};
