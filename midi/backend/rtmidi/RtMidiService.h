// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <RtMidi.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "MidiBackend.h"

// What the connections of one RtMidi service share: which API, whether the service is alive,
// and how SysEx must be paced on it. A service that dies (a JACK server that stops) is marked
// dead; every connection then refuses to call RtMidi, since RtMidi's JACK send spins forever
// when nothing drains its ring, and each connection builds fresh RtMidi objects once the
// service is back (its generation has changed).
class RtMidiService {
 public:
  explicit RtMidiService(RtMidi::Api api) : api_(api) {}
  virtual ~RtMidiService() = default;

  RtMidi::Api Api() const { return api_; }
  // GUI thread: true when the service answers, reconnecting to it when it had died.
  virtual bool Connect() { return true; }
  // Any thread.
  virtual bool Alive() const { return true; }
  uint64_t Generation() const { return generation_.load(); }
  virtual MidiSysExPacing Pacing() const = 0;
  // Any thread: the number of processing cycles the service has run, for services that move
  // MIDI once per cycle (JACK); 0 and false elsewhere.
  virtual bool CountsCycles() const { return false; }
  virtual uint64_t Cycles() const { return 0; }
  virtual bool HasVirtualPorts() const = 0;
  virtual uint16_t DeadResult() const { return mrServerGone; }
  // The longest message the service carries; 0 = no limit. A longer one is refused, never
  // handed to RtMidi, which would drop it without a word.
  virtual size_t MaxMessageBytes() const { return 0; }

 protected:
  std::atomic<uint64_t> generation_{1};

 private:
  RtMidi::Api api_;
};
