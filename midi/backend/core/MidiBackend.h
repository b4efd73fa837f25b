// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The threads that call into a backend, and what crosses between them: docs/ARCHITECTURE.md.
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "MidiOutQueue.h"
#include "MidiWake.h"

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
  mrServerGone = 64,    // the MIDI server stopped while we were connected
  mrDeviceGone = 65,    // the device vanished while open
  mrNotTaking = 66,     // the service takes no data now (stalled, or far behind)
  mrNotAnswering = 67,  // the service did not answer a request in time
};

// The names of a connection's devices, in the service's order. A device that goes while they are
// read ends the list there: the next look sees the list as it is then.
template <class Connection>
QStringList DeviceNamesOf(Connection &connection) {
  QStringList names;
  const int count = connection.PortCount();
  for (int id = 0; id < count; ++id) {
    QString name;
    if (connection.PortName(id, name) != mrOk) break;
    names << name;
  }
  return names;
}

// How a service that is fed from a thread of ours takes SysEx without dropping any: pieces of at
// most MaxBytes (0 = each message whole, in one call) with at least Pause between two pieces.
struct MidiSysExPacing {
  size_t MaxBytes = 0;
  std::chrono::microseconds Pause{0};
};

// How an output connection paces SysEx: as fast as the service takes it; no faster than a MIDI
// cable (3,125 bytes/s) because the port stands for one (a hardware port, whose bridge drops what
// does not fit its small queue); or at full speed to a hardware port the musician said is fast.
enum class MidiOutPacing { Service, HardwareWire, HardwareLifted };

// One output connection; every member is for the GUI thread. Short messages and SysEx blocks go
// through the connection's queue (MidiOutQueue) to the service's pump, which writes them as the
// service takes them: the GUI thread never waits on the service, and a service that takes no
// data answers at once with mrNotTaking.
class MidiOutConnection {
 public:
  virtual ~MidiOutConnection() = default;
  virtual uint16_t PortCount() = 0;
  // Fills `name` for device `id` (-1 = the virtual port "Kelvane" where the service has them).
  virtual uint16_t PortName(int id, QString &name) = 0;
  // Every device's name, in order, in one look at the service where it can.
  virtual QStringList PortNames() { return DeviceNamesOf(*this); }
  virtual uint16_t Open(int id) = 0;
  // The device this connection is open on has gone from under it: the service died, or the
  // device's port went (one of its name may have come since).
  virtual bool Lost() const { return false; }
  // Whatever is still queued is dropped and reported nothing of.
  virtual uint16_t Close() = 0;
  virtual bool IsOpen() const = 0;
  // Times the service may have lost data on its way to the device (a JACK server's overruns),
  // counted since the connection was made: a transfer compares the count at its end with the
  // count at its start.
  virtual uint64_t Overruns() const { return 0; }
  // How fast SysEx leaves for the device. Looked at afresh when a block is queued.
  virtual MidiOutPacing WirePacing() const { return MidiOutPacing::Service; }
  // The musician knows the device behind a hardware port takes SysEx at full speed.
  virtual void LiftHardwarePacing(bool lift) { (void)lift; }

  // Queues one short message (status in bits 0-7, data 1 in 8-15, data 2 in 16-23). It leaves
  // before any SysEx message that has not begun.
  virtual uint16_t SendShort(uint32_t packed);
  // Queues a SysEx block and returns at once; TakeFinished reports its end.
  virtual uint16_t SendSysEx(std::vector<uint8_t> bytes);
  // Ends the SysEx message in flight with F7 and drops every block queued so far. True when one
  // of them had not finished.
  virtual bool CancelSysEx();
  // Blocks that have finished (or been cancelled) and short messages the service refused, in
  // order; false when there is nothing more.
  virtual bool TakeFinished(MidiOutQueue::Finished &finished);
  // Signalled from the service's thread whenever TakeFinished may have something. Set once,
  // before Open.
  void SetWake(MidiWake *wake) { queue_.SetWake(wake); }

 protected:
  // mrOk while the service takes data; else why not (checked before anything is queued).
  virtual uint16_t Health() { return IsOpen() ? uint16_t{mrOk} : uint16_t{mrInvalidHandle}; }
  // The queue has something new for the pump.
  virtual void Kick() {}

  MidiOutQueue queue_;
};

// Runs on the backend's own thread (ALSA's, JACK's, CoreMIDI's, WinMM's or a test's) with one
// complete message, or one piece of a long SysEx message. The bytes are only valid during the call.
// It must not block, throw, or allocate without bound.
using MidiInputCallback = void (*)(void *context, const uint8_t *bytes, size_t length) noexcept;
// Runs on the backend's thread when the service lost input before it reached the callback (the
// ALSA sequencer's input pool overflowed). The same rules as for the input callback.
using MidiLossCallback = void (*)(void *context) noexcept;

// One input connection; called from the GUI thread only.
class MidiInConnection {
 public:
  virtual ~MidiInConnection() = default;
  virtual uint16_t PortCount() = 0;
  virtual uint16_t PortName(int id, QString &name) = 0;
  virtual QStringList PortNames() { return DeviceNamesOf(*this); }
  // The device this connection is open on has gone from under it: the service died, or the
  // device's port went (one of its name may have come since).
  virtual bool Lost() const { return false; }
  // Opens device `id` and delivers its input to `callback` until Close returns.
  virtual uint16_t Open(int id, MidiInputCallback callback, void *context) = 0;
  // After Close returns the callback runs no more.
  virtual uint16_t Close() = 0;
  virtual bool IsOpen() const = 0;
  // Times the service may have lost input on its way here (a JACK server's overruns), counted
  // since the connection was made; a recording compares the count at its end with its start.
  virtual uint64_t Overruns() const { return 0; }
  // Set once, before Open; called with Open's context. Services that never lose input ignore it.
  void SetLossCallback(MidiLossCallback loss) { loss_ = loss; }

 protected:
  MidiLossCallback loss_ = nullptr;
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

  // GUI thread. From now on, any thread of the service signals `wake` (which must outlive the
  // backend) when its device lists may have changed: a port came or went, a server died. False
  // when the service tells nothing of the kind: the caller then looks again now and then.
  virtual bool WatchDevices(MidiWake *wake) {
    (void)wake;
    return false;
  }
  // GUI thread: whether the service answers now (a JACK server runs, a sequencer is there).
  virtual bool Answers() { return true; }

  // What the services tried before this one answered when it was chosen, one line each
  // ("JACK: no server answers"), for the musician who finds no device.
  const QStringList &TriedServices() const { return tried_; }
  void SetTriedServices(QStringList tried) { tried_ = std::move(tried); }

 private:
  QStringList tried_;
};

// A backend without any device: every enumeration is empty, every open fails.
class NoDeviceBackend : public MidiBackend {
 public:
  QString Api() const override { return QStringLiteral("none"); }
  bool Answers() override { return false; }
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
