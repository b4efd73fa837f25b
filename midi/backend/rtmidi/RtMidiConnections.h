// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <RtMidi.h>

#include <atomic>
#include <memory>

#include "MidiBackend.h"
#include "PumpedOutConnection.h"
#include "RtMidiService.h"

// One output connection over RtMidi. Every call first makes sure the service is alive and the
// RtMidi object belongs to the service's current generation.
class RtMidiOutConnection : public PumpedOutConnection {
 public:
  explicit RtMidiOutConnection(std::shared_ptr<RtMidiService> service)
      : service_(std::move(service)) {}
  ~RtMidiOutConnection() override;

  uint16_t PortCount() override;
  uint16_t PortName(int id, QString &name) override;
  bool IsOpen() const override { return open_; }

 protected:
  uint16_t OpenDevice(int id) override;
  uint16_t CloseDevice() override;
  uint16_t Health() override;
  uint16_t WireShort(uint32_t packed) override;
  uint16_t WireBytes(const uint8_t *bytes, size_t length) override;
  MidiSysExPacing Pacing() const override { return service_->Pacing(); }

 private:
  uint16_t Ensure();
  void Drop();
  // RtMidi's error callback, on the thread that made the failing call.
  static void OnError(RtMidiError::Type type, const std::string &text, void *self);

  // Sender thread: waits until the service has run a whole cycle since the last SysEx piece.
  void WaitForACycleSinceLastPiece();

  std::shared_ptr<RtMidiService> service_;
  std::unique_ptr<RtMidiOut> midi_;
  uint64_t generation_ = 0;
  std::atomic<bool> open_{false};
  // Set by OnError during the current call. The GUI thread (PortCount, PortName) and the pump
  // thread (Wire*) touch it, and midi_, only under the wire lock; Open and Close while no pump
  // runs.
  bool failed_ = false;
  uint64_t lastPieceCycle_ = 0;
  int describedId_ = -2;  // the device the last PortName described, and its port's name
  std::string describedName_;
};

// One input connection over RtMidi; its messages reach the port's callback on RtMidi's thread.
class RtMidiInConnection : public MidiInConnection {
 public:
  explicit RtMidiInConnection(std::shared_ptr<RtMidiService> service)
      : service_(std::move(service)) {}
  ~RtMidiInConnection() override;

  uint16_t PortCount() override;
  uint16_t PortName(int id, QString &name) override;
  uint16_t Open(int id, MidiInputCallback callback, void *context) override;
  uint16_t Close() override;
  bool IsOpen() const override { return open_; }

 private:
  uint16_t Ensure();
  void Drop();
  void StopDelivery();
  static void OnError(RtMidiError::Type type, const std::string &text, void *self);
  // RtMidi's input thread: hands the message on while delivery is enabled.
  static void OnInput(double timeStamp, std::vector<unsigned char> *message, void *self);

  std::shared_ptr<RtMidiService> service_;
  std::unique_ptr<RtMidiIn> midi_;
  uint64_t generation_ = 0;
  bool open_ = false;
  bool failed_ = false;
  int describedId_ = -2;
  std::string describedName_;
  MidiInputCallback callback_ = nullptr;
  void *context_ = nullptr;
  std::atomic<bool> delivering_{false};
  std::atomic<int> inCallback_{0};
};

// One class per service and direction, named as RtMidi names its own. They live in a namespace
// because librtmidi exports classes of the same names, which ours must never interpose.
namespace kelvane {
class MidiOutAlsa : public RtMidiOutConnection {
  using RtMidiOutConnection::RtMidiOutConnection;
};
class MidiInAlsa : public RtMidiInConnection {
  using RtMidiInConnection::RtMidiInConnection;
};
// RtMidi's own JACK API ("rtmidi-jack"), kept to run the RtMidi path on Linux.
class MidiOutRtJack : public RtMidiOutConnection {
  using RtMidiOutConnection::RtMidiOutConnection;
};
class MidiInRtJack : public RtMidiInConnection {
  using RtMidiInConnection::RtMidiInConnection;
};
class MidiOutCore : public RtMidiOutConnection {
  using RtMidiOutConnection::RtMidiOutConnection;
};
class MidiInCore : public RtMidiInConnection {
  using RtMidiInConnection::RtMidiInConnection;
};
class MidiOutWinMM : public RtMidiOutConnection {
  using RtMidiOutConnection::RtMidiOutConnection;
};
class MidiInWinMM : public RtMidiInConnection {
  using RtMidiInConnection::RtMidiInConnection;
};
}  // namespace kelvane
