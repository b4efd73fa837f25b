// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QObject;
class QWidget;

// SIGTERM and SIGINT close the window in order, exactly as its close button does, so that the
// shutdown save runs. `CatchTerminationSignals` runs first thing in main: from then on a signal
// only writes a byte to a pipe. `CloseWindowOnTermination` makes the GUI thread read that pipe
// and close `window`; a signal that came before it closes the window as soon as it is shown.
void CatchTerminationSignals();
void CloseWindowOnTermination(QWidget *window);
// The same for the command-line modes: `action` runs on the calling thread, under `owner`.
void RunOnTermination(QObject *owner, std::function<void()> action);
