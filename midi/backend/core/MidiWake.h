// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A descriptor that a service's thread signals to wake the GUI thread, made before any service
// thread can need it. Signalling is one write to an eventfd (a pipe where there is none): no lock,
// no allocation, safe on a realtime thread. The GUI side watches Fd() (a QSocketNotifier) and
// calls Drain() before it looks at what the service left for it.
class MidiWake {
 public:
  MidiWake();
  ~MidiWake();
  MidiWake(const MidiWake &) = delete;
  MidiWake &operator=(const MidiWake &) = delete;

  // Any thread, including a realtime one.
  void Signal() noexcept;
  // GUI thread: readable while signalled.
  int Fd() const { return readFd_; }
  // GUI thread: clears every signal so far.
  void Drain() noexcept;

 private:
  int readFd_ = -1;
  int writeFd_ = -1;  // the same descriptor as readFd_ for an eventfd
};
