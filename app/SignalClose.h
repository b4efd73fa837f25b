// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class QWidget;

// SIGTERM and SIGINT close the window in order, exactly as its close button does, so that the
// shutdown save runs. `CatchTerminationSignals` runs first thing in main: from then on a signal
// only writes a byte to a pipe. `CloseWindowOnTermination` makes the GUI thread read that pipe;
// create it before the window, so that a dialog the window shows while it starts (an error box
// waits for the musician) is answered "cancel" too, and a session manager's signal never waits
// for a human. The window closes once it is built and no dialog is open.
void CatchTerminationSignals();
// The same for the command-line modes: `action` runs on the calling thread, under `owner`.
void RunOnTermination(QObject *owner, std::function<void()> action);

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
