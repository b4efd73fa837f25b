// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "Circbuf.h"
#include "MidiWake.h"
#include "Miditype.h"

// The one block of memory the driver callback reads and writes. It stays at a fixed address
// from the first open of a port until the port is destroyed or an open fails.
struct CallbackRecord {
  EventRing *ring = nullptr;  // the input port's event ring; null for the output port
  MidiWake *wake = nullptr;   // wakes the GUI thread; the input port watches it
  std::atomic<bool> sysexOnly{false};

  // Input side, used by the driver callback only (set up by the GUI thread before the device
  // opens, torn down after it has closed).
  EventRing *freeBuffers = nullptr;  // receive buffers the GUI thread gave back
  TMyMidiHdr *current = nullptr;     // the receive buffer being filled
  bool inSysex = false;              // inside a SysEx message that has not ended yet
  std::atomic<bool> started{false};
  // When input started, in steady-clock ticks. StartInput may set it again while input flows.
  std::atomic<int64_t> startTime{0};

  // Notices to the GUI thread; at most one posted and not yet handled at a time.
  std::atomic<bool> noticePosted{false};
  std::atomic<bool> inputWaiting{false};
  std::atomic<bool> overflowed{false};
};
