// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "DragPointer.h"

#include <QCursor>
#include <QGuiApplication>

QPoint DragPointer::Current() {
  return QCursor::pos();
}

void DragPointer::Hide() {
  if (hidden_) return;
  QGuiApplication::setOverrideCursor(Qt::BlankCursor);
  hidden_ = true;
}

void DragPointer::PutBack(QPoint screenPoint) const {
  // The warp may come back as a motion event without buttons; the controls ignore those.
  if (hidden_) QCursor::setPos(screenPoint);
}

void DragPointer::Show() {
  if (!hidden_) return;
  hidden_ = false;
  QGuiApplication::restoreOverrideCursor();
}
