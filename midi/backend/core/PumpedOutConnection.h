// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "MidiBackend.h"

// An output connection to a service that is called, not polled: RtMidi's services and the
// loopback. While open, a thread of the connection pumps the queue into the service, paced as
// the service needs (some block for the wire time of a SysEx message), so the GUI thread never
// waits for a transfer. A short message sent while nothing is queued goes straight out on the
// calling thread, so its error (if any) is the call's own.
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
