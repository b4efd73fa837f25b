// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMouseEvent>
#include <QPushButton>
#include <functional>

#include "ShiftState.h"

// A push button that reports the release of any mouse button with the shift state held at that
// moment, as the snapshot and scheme buttons need (Shift+click records, a plain click recalls).
// It never takes the keyboard focus.
class TMouseUpButton : public QPushButton {
 public:
  TMouseUpButton(const QString &caption, QWidget *parent) : QPushButton(caption, parent) {
    setFocusPolicy(Qt::NoFocus);
  }

  std::function<void(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
      OnMouseUp;

 protected:
  void mousePressEvent(QMouseEvent *event) override {
    // QPushButton ignores right and middle presses; take them, so that their release comes here.
    if (event->button() == Qt::LeftButton)
      QPushButton::mousePressEvent(event);
    else
      event->accept();
  }

  void mouseReleaseEvent(QMouseEvent *event) override {
    if (event->button() == Qt::LeftButton) QPushButton::mouseReleaseEvent(event);
    event->accept();
    if (!OnMouseUp) return;
    QPoint at = event->position().toPoint();
    OnMouseUp(this, MouseButtonFrom(event->button()),
              ShiftStateFrom(event->modifiers(), event->buttons()), at.x(), at.y());
  }
};
