// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "JackClient.h"
#include "MidiBackend.h"
#include "ServiceClient.h"
#include "ServiceDevices.h"

// The running JACK server as Kelvane's MIDI service: the client of the server that runs now.
using JackService = ServiceClient<JackClient>;

// What both directions share: the device list of the other clients' ports, and the device that
// was described last, which opens by its port's name.
class JackDevices : public ServiceDevices<JackClient> {
 public:
  JackDevices(std::shared_ptr<JackService> service, JackClient::Direction direction)
      : ServiceDevices(std::move(service), direction, mrServerGone) {}
  // The port to connect for device `id`, or "" when there is none.
  std::string PortToOpen(const JackClient &client, int id) const {
    return DeviceToOpen(client, id).value_or(std::string());
  }
};

// The connections live in a namespace because librtmidi exports classes of the same names,
// which ours must never interpose (RtMidi's JACK API would then run our code).
namespace kelvane {

// Output to one JACK port: our port "output" connected to it, written by the client's process
// callback from this connection's queue. Device -1 is our port left for others to connect.
class MidiOutJack : public MidiOutConnection {
 public:
  explicit MidiOutJack(std::shared_ptr<JackService> service)
      : devices_(std::move(service), JackClient::Direction::Output) {}
  ~MidiOutJack() override { Close(); }

  uint16_t PortCount() override { return devices_.Count(); }
  uint16_t PortName(int id, QString &name) override;
  QStringList PortNames() override { return devices_.Names(); }
  uint16_t Open(int id) override;
  uint16_t Close() override;
  bool IsOpen() const override { return client_ != nullptr; }
  bool Lost() const override;
  bool TakeFinished(MidiOutQueue::Finished &finished) override;
  uint64_t Overruns() const override { return client_ ? client_->Overruns() : 0; }
  // Looks afresh at what our port reaches, as a bridge may connect to it at any time.
  uint16_t SendSysEx(std::vector<uint8_t> bytes) override;
  MidiOutPacing WirePacing() const override;
  void LiftHardwarePacing(bool lift) override;

 protected:
  uint16_t Health() override;

 private:
  JackDevices devices_;
  std::shared_ptr<JackClient> client_;  // the client we are open on; null while closed
  JackSlot *slot_ = nullptr;
  std::string device_;  // the port connected to; empty for our port left for others
  mutable bool connectionSeen_ = false;
  bool attached_ = false;
  bool hardwareLifted_ = false;
};

// Input from one JACK port: our port "input" connected from it; the client's process callback
// hands each event to the input port's callback.
class MidiInJack : public MidiInConnection {
 public:
  explicit MidiInJack(std::shared_ptr<JackService> service)
      : devices_(std::move(service), JackClient::Direction::Input) {}
  ~MidiInJack() override { Close(); }

  uint16_t PortCount() override { return devices_.Count(); }
  uint16_t PortName(int id, QString &name) override { return devices_.Name(id, name); }
  QStringList PortNames() override { return devices_.Names(); }
  uint16_t Open(int id, MidiInputCallback callback, void *context) override;
  uint16_t Close() override;
  bool IsOpen() const override { return client_ != nullptr; }
  bool Lost() const override;
  uint64_t Overruns() const override { return client_ ? client_->Overruns() : 0; }

 private:
  JackDevices devices_;
  std::shared_ptr<JackClient> client_;
  JackSlot *slot_ = nullptr;
  std::string device_;
  mutable bool connectionSeen_ = false;
  JackInputTarget target_;
};

}  // namespace kelvane

class JackBackend : public MidiBackend {
 public:
  explicit JackBackend(std::shared_ptr<JackService> service) : service_(std::move(service)) {}
  QString Api() const override { return QStringLiteral("jack"); }
  std::unique_ptr<MidiOutConnection> CreateOutput() override {
    return std::make_unique<kelvane::MidiOutJack>(service_);
  }
  std::unique_ptr<MidiInConnection> CreateInput() override {
    return std::make_unique<kelvane::MidiInJack>(service_);
  }
  std::optional<QString> ErrorText(uint16_t code) const override;
  bool WatchDevices(MidiWake *wake) override {
    service_->WatchDevices(wake);
    return true;
  }
  bool Answers() override { return service_->Current() != nullptr; }

 private:
  std::shared_ptr<JackService> service_;
};

// With `mustWork`, null unless a server answers now.
std::unique_ptr<MidiBackend> CreateJackBackend(bool mustWork);

// What the server answered the last time our client did not open, in a few words ("no server
// answers", "the server refused the client").
QString JackOpenFailure();
