// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QThread>
#include <cassert>

// Whether the caller runs on the GUI thread: the application's thread. Before the application
// exists (or in a program without one) nothing says which thread is the GUI's: true.
inline bool OnGuiThread() {
  const QCoreApplication *app = QCoreApplication::instance();
  return !app || app->thread() == QThread::currentThread();
}

// Debug builds: stops the program when a member documented as "GUI thread" is called from another
// thread, where it would race with the GUI thread's own calls. Costs nothing in release builds.
inline void AssertGuiThread() {
  assert(OnGuiThread() && "called from a thread other than the GUI thread");
}
