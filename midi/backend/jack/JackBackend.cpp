// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "JackBackend.h"

#include <utility>

namespace {
const QString kVirtualPortName = QStringLiteral("Kelvane");
// How long choosing a service waits for a JACK server to answer (one that is stopped never does).
constexpr std::chrono::milliseconds kFirstAnswerLimit{2000};
}  // namespace

// ---- devices ----

// ---- output ----

namespace kelvane {

uint16_t MidiOutJack::PortName(int id, QString &name) {
  if (id != -1) return devices_.Name(id, name);
  if (!devices_.Service().Current()) return mrServerGone;
  name = kVirtualPortName;
  return mrOk;
}

uint16_t MidiOutJack::Open(int id) {
  if (client_) return mrOk;
  const auto client = devices_.Service().Current();
  if (!client) return mrServerGone;
  std::string device;
  if (id != -1) {
    device = devices_.PortToOpen(*client, id);
    if (device.empty()) return mrBadDeviceId;
  }
  JackSlot *slot = nullptr;
  if (const uint16_t result = client->Slot(JackClient::Direction::Output, slot)) return result;
  queue_.Reset();
  // What is sent before the server has made the connection waits for it in the queue.
  client->AttachOutput(*slot, queue_, /*waitForConnection=*/id != -1);
  if (id != -1) client->Connect(*slot, device);
  client_ = client;
  slot_ = slot;
  device_ = device;
  connectionSeen_ = false;
  attached_ = true;
  return mrOk;
}

namespace {

// The server died, refused the connection, or the device's port went (a port of its name may
// have come since). A connection made takes effect in a later cycle: only one that was seen can
// be lost.
bool JackConnectionLost(const JackClient &client, const JackSlot &slot, const std::string &device,
                        bool &seen) {
  if (!client.Alive()) return true;
  if (device.empty()) return false;
  if (slot.link.load() == JackSlot::Link::Refused) return true;
  const bool connected = client.ConnectedTo(slot, device);
  seen = seen || connected;
  return seen && !connected;
}

}  // namespace

bool MidiOutJack::Lost() const {
  return client_ && JackConnectionLost(*client_, *slot_, device_, connectionSeen_);
}

uint16_t MidiOutJack::Close() {
  if (!client_) return mrInvalidHandle;
  // A receiver left inside a SysEx message would swallow what the next session sends: the
  // cancel ends it with F7 in the next cycle, which a running server brings within milliseconds.
  if (attached_ && queue_.Cancel() && client_->Alive() && !client_->Stalled())
    client_->WaitForCycles(2, std::chrono::milliseconds(100));
  if (attached_) client_->DetachOutput(*slot_);
  attached_ = false;
  queue_.Reset();
  client_->SetWirePaced(*slot_, false);
  client_->DisconnectAll(*slot_);  // a stalled server finishes this when it runs again
  client_.reset();
  slot_ = nullptr;
  return mrOk;
}

uint16_t MidiOutJack::Health() {
  if (!client_) return mrInvalidHandle;
  if (!client_->Alive()) return mrServerGone;
  if (slot_->registerRefused.load() || slot_->link.load() == JackSlot::Link::Refused)
    return mrAllocated;
  if (client_->Stalled()) return mrNotTaking;
  return mrOk;
}

// A server that died finishes nothing more: what was still queued fails now, not later.
bool MidiOutJack::TakeFinished(MidiOutQueue::Finished &finished) {
  if (attached_ && !client_->Alive()) {
    client_->DetachOutput(*slot_);
    attached_ = false;
    queue_.FailUnfinished(mrServerGone);
  }
  return MidiOutConnection::TakeFinished(finished);
}

uint16_t MidiOutJack::SendSysEx(std::vector<uint8_t> bytes) {
  if (client_ && attached_)
    client_->SetWirePaced(*slot_,
                          !hardwareLifted_ && client_->ReachesPhysicalPort(*slot_, device_));
  return MidiOutConnection::SendSysEx(std::move(bytes));
}

MidiOutPacing MidiOutJack::WirePacing() const {
  if (!client_ || !client_->ReachesPhysicalPort(*slot_, device_)) return MidiOutPacing::Service;
  return hardwareLifted_ ? MidiOutPacing::HardwareLifted : MidiOutPacing::HardwareWire;
}

void MidiOutJack::LiftHardwarePacing(bool lift) {
  hardwareLifted_ = lift;
  if (client_ && attached_ && lift) client_->SetWirePaced(*slot_, false);
}

// ---- input ----

uint16_t MidiInJack::Open(int id, MidiInputCallback callback, void *context) {
  if (client_) return mrOk;
  const auto client = devices_.Service().Current();
  if (!client) return mrServerGone;
  const std::string device = devices_.PortToOpen(*client, id);
  if (device.empty()) return mrBadDeviceId;
  JackSlot *slot = nullptr;
  if (const uint16_t result = client->Slot(JackClient::Direction::Input, slot)) return result;
  target_ = JackInputTarget{callback, context};
  client->AttachInput(*slot, target_);
  client->Connect(*slot, device);
  client_ = client;
  slot_ = slot;
  device_ = device;
  connectionSeen_ = false;
  return mrOk;
}

bool MidiInJack::Lost() const {
  return client_ && JackConnectionLost(*client_, *slot_, device_, connectionSeen_);
}

uint16_t MidiInJack::Close() {
  if (!client_) return mrInvalidHandle;
  client_->DetachInput(*slot_);  // from here on the callback runs no more
  client_->DisconnectAll(*slot_);
  client_.reset();
  slot_ = nullptr;
  return mrOk;
}

}  // namespace kelvane

// ---- backend ----

std::optional<QString> JackBackend::ErrorText(uint16_t code) const {
  switch (code) {
    case mrServerGone:
      return QStringLiteral(
          "The JACK server is not running; Kelvane uses the device again once it runs");
    case mrNotTaking:
      return QStringLiteral("The JACK server is not taking data (it has stopped running)");
    case mrAllocated:
      return QStringLiteral("JACK refused to connect Kelvane to the MIDI port");
    default:
      return MidiBackend::ErrorText(code);
  }
}

std::unique_ptr<MidiBackend> CreateJackBackend(bool mustWork) {
  auto service = std::make_shared<JackService>();
  // Opened here, where the caller may be opening it while the window starts, not on first use;
  // the caller is not the GUI thread, and may wait for the server's first answer.
  const bool answers = service->WaitForAnswer(kFirstAnswerLimit);
  if (mustWork && !answers) return nullptr;
  return std::make_unique<JackBackend>(std::move(service));
}

QString JackOpenFailure() {
  // The bits jack_client_open sets, the likeliest first.
  static const std::pair<int, const char *> kWords[] = {
      {JackServerFailed, "no server answers"},
      {JackServerError, "the server refused the client"},
      {JackVersionError, "the server speaks another version of JACK"},
      {JackShmFailure, "no access to the server's shared memory"},
      {JackNameNotUnique, "the client's name is taken"},
      {JackInvalidOption, "the server refused an option of the client"},
      {JackInitFailure, "the client could not start"},
      {JackClientZombie, "the server dropped the client"},
      {JackBackendError, "the server's driver failed"},
      {JackNoSuchClient, "the server knows no such client"},
      {JackLoadFailure, "the server could not load the client"},
  };
  const int status = JackClient::lastOpenStatus.load();
  QStringList words;
  for (const auto &[bit, text] : kWords)
    if (status & bit) words << QString::fromLatin1(text);
  if (words.isEmpty() && (status & JackFailure)) words << QStringLiteral("the client did not open");
  if (words.isEmpty()) words << QStringLiteral("no server answers");  // none answered in time
  return words.join(QStringLiteral(", "));
}
