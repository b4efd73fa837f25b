// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminationSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>

namespace {

int g_signalPipe[2] = {-1, -1};  // [0] written by the signal handler, [1] read by the GUI thread

// Runs on whatever thread takes the signal: only async-signal-safe calls here.
void OnTerminationSignal(int) {
  char byte = 1;
  ssize_t ignored = write(g_signalPipe[0], &byte, 1);
  (void)ignored;
}

}  // namespace

void CatchTerminationSignals() {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

void RunOnTermination(QObject *owner, std::function<void()> action) {
  if (g_signalPipe[1] < 0) return;
  auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [action = std::move(action)] {
    char byte;
    ssize_t ignored = read(g_signalPipe[1], &byte, 1);
    (void)ignored;
    action();
  });
}
