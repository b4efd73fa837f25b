// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QObject;

// SIGTERM and SIGINT end Kelvane in order: the window closes as its close button closes it, a
// command cancels what it sends. `CatchTerminationSignals` runs first thing in main: from then
// on a signal only writes a byte to a pipe, and `RunOnTermination` reads that pipe on the
// calling thread, under `owner`, and runs `action`. QtCore only: the command line uses it too.
void CatchTerminationSignals();
void RunOnTermination(QObject *owner, std::function<void()> action);
