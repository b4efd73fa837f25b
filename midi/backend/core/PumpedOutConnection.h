// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

#include "MidiBackend.h"

// An output connection to a service that is called, not polled: RtMidi's services, the ALSA
// sequencer and the loopback. While open, a thread of the connection pumps the queue into the
// service, paced as the service needs (some block for the wire time of a SysEx message, the
// sequencer's receivers have pools that fill), so the GUI thread never waits for a transfer. A
// short message sent while nothing is queued goes straight out on the calling thread, so its
// error (if any) is the call's own, unless the service queues them all (ShortsAlwaysQueue).
class PumpedOutConnection : public MidiOutConnection {
 public:
  PumpedOutConnection();
  ~PumpedOutConnection() override;

  uint16_t Open(int id) final;
  uint16_t Close() final;
  uint16_t SendShort(uint32_t packed) override;

 protected:
  // The service's own calls. Wire* run on the pump thread, or on the GUI thread while the pump
  // is idle, never on both at once.
  virtual uint16_t OpenDevice(int id) = 0;
  virtual uint16_t CloseDevice() = 0;
  virtual uint16_t WireShort(uint32_t packed) = 0;
  virtual uint16_t WireBytes(const uint8_t *bytes, size_t length) = 0;
  virtual MidiSysExPacing Pacing() const = 0;
  // A service whose calls never block (the loopback) lets a short message wait for the pump to
  // let go of it, so that the message always leaves on the calling thread when nothing is queued.
  virtual bool WireNeverBlocks() const { return false; }
  // A service with buffers of its own (the sequencer's pools) says how many bytes they take now;
  // short messages wait for that room too. Pump side, like Wire*.
  virtual size_t WireRoom() { return std::numeric_limits<size_t>::max(); }
  // When the pump looks again while something waits: by default when the next piece is due; a
  // service whose room ran out says when it may have grown. Pump side, like Wire*.
  virtual std::chrono::steady_clock::time_point RetryAt(
      std::chrono::steady_clock::time_point pieceDue) {
    return pieceDue;
  }
  // A service that must be asked for room before every write queues short messages too, so that
  // the pump writes them once there is room, never straight from the calling thread.
  virtual bool ShortsAlwaysQueue() const { return false; }
  // GUI thread: keeps the pump away from the service while the caller uses it outside Wire* (a
  // device list read through the service object the connection is open on). Waits for the
  // write in flight, if any.
  std::unique_lock<std::mutex> LockWire() { return std::unique_lock(wireMutex_); }
  void Kick() override;

 private:
  class Wire;
  void StartPump();
  void StopPump();
  void Run();

  std::unique_ptr<Wire> wire_;
  std::mutex wireMutex_;  // held by whoever writes to the service
  std::mutex wakeMutex_;
  std::condition_variable wakeUp_;
  bool kicked_ = false;
  bool stop_ = false;
  std::thread thread_;
};
