// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "AlsaClient.h"
#include "MidiBackend.h"
#include "PumpedOutConnection.h"
#include "ServiceClient.h"
#include "ServiceDevices.h"

// The ALSA sequencer as Kelvane's MIDI service: our one client, opened when a sequencer is
// there (a module loaded later is found at the next look).
using AlsaService = ServiceClient<AlsaClient>;

// A sequencer port's name, "client:port" as `aconnect -l` lists them.
inline const std::string &DeviceNameOf(const AlsaClient::Device &device) {
  return device.name;
}

// What both directions share: the device list of the other clients' ports, and the device that
// was described last, which opens by its name.
class AlsaDevices : public ServiceDevices<AlsaClient> {
 public:
  AlsaDevices(std::shared_ptr<AlsaService> service, AlsaClient::Direction direction)
      : ServiceDevices(std::move(service), direction, mrNoDriver) {}
  // The client, and the port to connect for device `id` (none for -1: our own port is left for
  // others to connect).
  uint16_t Resolve(int id, std::shared_ptr<AlsaClient> &client,
                   std::optional<snd_seq_addr_t> &device);
};

// In a namespace of ours: librtmidi exports classes of these names.
namespace kelvane {

class AlsaOutWire;

// Output from our port "output", subscribed to the device (device -1: left for others to
// connect). The connection's pump writes the queue into the sequencer as fast as every receiver
// takes it, so the GUI thread never waits for a transfer.
class MidiOutAlsa : public PumpedOutConnection {
 public:
  explicit MidiOutAlsa(std::shared_ptr<AlsaService> service);
  ~MidiOutAlsa() override;

  uint16_t PortCount() override { return devices_.Count(); }
  uint16_t PortName(int id, QString &name) override;
  QStringList PortNames() override { return devices_.Names(); }
  bool IsOpen() const override { return client_ != nullptr; }
  // Any thread: events the sequencer refused since the connection opened (each is also reported
  // as the result of its block or short message). The pump waits until every receiver has room,
  // so a receiver refuses only when another sender filled it in between or it shrank its pool;
  // and a pool that refused has dropped what it held: a transfer during which this count grew
  // may have lost bytes of blocks that had already finished.
  uint64_t Refusals() const { return refusals_.load(std::memory_order_relaxed); }
  // A refusal is the sequencer's loss of data: a transfer it fell in ends with a warning.
  uint64_t Overruns() const override { return Refusals(); }

 protected:
  uint16_t Health() override;
  uint16_t OpenDevice(int id) override;
  uint16_t CloseDevice() override;
  uint16_t WireShort(uint32_t packed) override;
  uint16_t WireBytes(const uint8_t *bytes, size_t length) override;
  MidiSysExPacing Pacing() const override;
  size_t WireRoom() override;
  std::chrono::steady_clock::time_point RetryAt(std::chrono::steady_clock::time_point) override;
  // Every write waits for room in every receiver's pool.
  bool ShortsAlwaysQueue() const override { return true; }

 private:
  AlsaDevices devices_;
  std::shared_ptr<AlsaClient> client_;  // the client we are open on; null while closed
  int port_ = -1;
  std::unique_ptr<AlsaOutWire> wire_;
  std::atomic<uint64_t> refusals_{0};
};

// Input from the device into our port "input"; the client's thread hands each event to the
// input port's callback.
class MidiInAlsa : public MidiInConnection {
 public:
  explicit MidiInAlsa(std::shared_ptr<AlsaService> service)
      : devices_(std::move(service), AlsaClient::Direction::Input) {}
  ~MidiInAlsa() override { Close(); }

  uint16_t PortCount() override { return devices_.Count(); }
  uint16_t PortName(int id, QString &name) override { return devices_.Name(id, name); }
  QStringList PortNames() override { return devices_.Names(); }
  uint16_t Open(int id, MidiInputCallback callback, void *context) override;
  uint16_t Close() override;
  bool IsOpen() const override { return client_ != nullptr; }

 private:
  AlsaDevices devices_;
  std::shared_ptr<AlsaClient> client_;
  int port_ = -1;
};

}  // namespace kelvane

class AlsaBackend : public MidiBackend {
 public:
  explicit AlsaBackend(std::shared_ptr<AlsaService> service) : service_(std::move(service)) {}
  QString Api() const override { return QStringLiteral("alsa"); }
  std::unique_ptr<MidiOutConnection> CreateOutput() override {
    return std::make_unique<kelvane::MidiOutAlsa>(service_);
  }
  std::unique_ptr<MidiInConnection> CreateInput() override {
    return std::make_unique<kelvane::MidiInAlsa>(service_);
  }
  std::optional<QString> ErrorText(uint16_t code) const override;
  // False when the sequencer there now refused to announce its changes to us.
  bool WatchDevices(MidiWake *wake) override;
  bool Answers() override { return service_->Current() != nullptr; }

 private:
  std::shared_ptr<AlsaService> service_;
};

// With `mustWork`, null unless there is a sequencer now.
std::unique_ptr<MidiBackend> CreateAlsaBackend(bool mustWork);
