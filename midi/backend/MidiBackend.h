// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The operating system's MIDI service behind the ports, shaped like RtMidi: a backend hands out
// output and input connections; each counts and names the devices of its direction, opens one,
// sends or receives, and reports failures as result codes that ErrorText turns into words.
// Nothing here knows what a port is.

// Result codes shared by every backend (0 = success). A backend words them in its own ErrorText.
enum MidiResult : uint16_t {
  mrOk = 0,
  mrError = 1,          // unspecified failure of the service
  mrBadDeviceId = 2,    // no device has this number
  mrAllocated = 4,      // the device is busy or refused to open
  mrInvalidHandle = 5,  // the connection is not open
  mrNoDriver = 6,       // the service is not there
  mrNoMemory = 7,
  mrNotSupported = 8,  // the service cannot do this (e.g. no virtual port)
  mrInvalidParam = 11,
  mrServerGone = 64,  // the MIDI server stopped while we were connected
  mrDeviceGone = 65,  // the device vanished while open
};

// How SysEx bytes must be fed to an output so that none are dropped: pieces of at most MaxBytes
// (0 = any length) with at least Pause between two pieces.
struct MidiSysExPacing {
  size_t MaxBytes = 0;
  std::chrono::microseconds Pause{0};
};

// One output connection. Called from the GUI thread and from a port's SysEx sender thread, but
// never from both at once (the port serialises its calls).
class MidiOutConnection {
 public:
  virtual ~MidiOutConnection() = default;
  virtual uint16_t PortCount() = 0;
  // Fills `name` for device `id` (-1 = the virtual port "Kelvane" where the service has them).
  virtual uint16_t PortName(int id, QString &name) = 0;
  virtual uint16_t Open(int id) = 0;
  virtual uint16_t Close() = 0;
  virtual bool IsOpen() const = 0;
  // Sends one short message: status in bits 0-7, data 1 in 8-15, data 2 in 16-23.
  virtual uint16_t SendShort(uint32_t packed) = 0;
  // Sends raw bytes: one whole SysEx message or one piece of it, at most Pacing().MaxBytes.
  virtual uint16_t SendBytes(const uint8_t *bytes, size_t length) = 0;
  virtual MidiSysExPacing Pacing() const = 0;
};

// Runs on the backend's own thread (ALSA's, JACK's, CoreMIDI's, WinMM's or a test's) with one
// complete message, or one piece of a long SysEx message. The bytes are only valid during the call.
// It must not block, throw, or allocate without bound.
using MidiInputCallback = void (*)(void *context, const uint8_t *bytes, size_t length) noexcept;

// One input connection; called from the GUI thread only.
class MidiInConnection {
 public:
  virtual ~MidiInConnection() = default;
  virtual uint16_t PortCount() = 0;
  virtual uint16_t PortName(int id, QString &name) = 0;
  // Opens device `id` and delivers its input to `callback` until Close returns.
  virtual uint16_t Open(int id, MidiInputCallback callback, void *context) = 0;
  // After Close returns the callback runs no more.
  virtual uint16_t Close() = 0;
  virtual bool IsOpen() const = 0;
};

class MidiBackend {
 public:
  virtual ~MidiBackend() = default;
  // "jack", "alsa", "coremidi", "winmm", "loopback" or "none".
  virtual QString Api() const = 0;
  virtual std::unique_ptr<MidiOutConnection> CreateOutput() = 0;
  virtual std::unique_ptr<MidiInConnection> CreateInput() = 0;
  // The backend's text for a result code, or nothing when it has none.
  virtual std::optional<QString> ErrorText(uint16_t code) const;
};

// "jack", "alsa", "coremidi", "winmm", "loopback", or "" = the first compiled API that really
// works. Never null: with no working API (or an unknown name), a backend with no devices.
std::unique_ptr<MidiBackend> CreateMidiBackend(const QString &api);
// The names CreateMidiBackend accepts, compiled services first in probing order.
QStringList MidiBackendApis();

// A backend without any device: every enumeration is empty, every open fails.
class NoDeviceBackend : public MidiBackend {
 public:
  QString Api() const override { return QStringLiteral("none"); }
  std::unique_ptr<MidiOutConnection> CreateOutput() override;
  std::unique_ptr<MidiInConnection> CreateInput() override;
};

// Bytes on the wire for a short message with this status byte (1 to 3).
inline size_t ShortMessageLength(uint8_t status) {
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;  // program change, channel pressure
  switch (status) {
    case 0xF1:
    case 0xF3:
      return 2;
    case 0xF2:
      return 3;
    default:
      return 1;
  }
}

#include "LoopbackBackend.h"
