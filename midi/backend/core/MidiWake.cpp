// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiWake.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

#if defined(__linux__)
#include <sys/eventfd.h>
#endif

MidiWake::MidiWake() {
#if defined(__linux__)
  readFd_ = writeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
#endif
  if (readFd_ < 0) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("cannot create the MIDI wake-up descriptor");
    for (int fd : fds) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
      fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
  }
}

MidiWake::~MidiWake() {
  if (writeFd_ != readFd_) close(writeFd_);
  close(readFd_);
}

void MidiWake::Signal() noexcept {
  const uint64_t one = 1;
  // A full pipe or a saturated counter is already signalled: nothing is lost by failing here.
  [[maybe_unused]] const ssize_t written = write(writeFd_, &one, sizeof one);
}

void MidiWake::Drain() noexcept {
  uint64_t buffer[64];
  while (read(readFd_, buffer, sizeof buffer) > 0) {
  }
}
