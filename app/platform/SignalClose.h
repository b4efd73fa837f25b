// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

// SIGTERM and SIGINT close the window in order, exactly as its close button does, so that the
// shutdown save runs (see TerminationSignals.h). `CloseWindowOnTermination` makes the GUI thread
// read the signal pipe; create it before the window, so that a dialog the window shows while it
// starts (an error box waits for the musician) is answered "cancel" too, and a session manager's
// signal never waits for a human. The window closes once it is built and no dialog is open.
class CloseWindowOnTermination : public QObject {
 public:
  CloseWindowOnTermination();
  // The window to close, once built; closes it soon if a signal came before.
  void SetWindow(QWidget *window);

 private:
  // Runs every few milliseconds from the signal on, until the window is closed: cancels the
  // dialog in front, else closes the window.
  void Step();

  QPointer<QWidget> window_;
  QTimer steps_;
  bool closing_ = false;
};
