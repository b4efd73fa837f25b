// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SignalClose.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include "TerminationSignals.h"

CloseWindowOnTermination::CloseWindowOnTermination() {
  steps_.setInterval(20);
  connect(&steps_, &QTimer::timeout, this, &CloseWindowOnTermination::Step);
  RunOnTermination(this, [this] {
    steps_.start();
    Step();
  });
}

void CloseWindowOnTermination::SetWindow(QWidget *window) {
  window_ = window;
}

void CloseWindowOnTermination::Step() {
  if (QWidget *dialog = QApplication::activeModalWidget()) {
    // A question box without a cancel button ignores close(): reject() ends any dialog.
    if (auto *box = qobject_cast<QDialog *>(dialog))
      box->reject();
    else
      dialog->close();
    return;
  }
  // Not yet built (its constructor is on the stack below a dialog's loop), or closing already.
  if (!window_ || closing_) return;
  closing_ = true;
  window_->close();  // a dialog the shutdown shows is cancelled by the steps that follow
  steps_.stop();
}
