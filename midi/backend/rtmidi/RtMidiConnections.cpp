// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "RtMidiConnections.h"

#include <thread>
#include <vector>

namespace {

const char *const kClientName = "Kelvane";
const char *const kVirtualPortName = "Kelvane";
const char *const kOutputPortName = "output";
const char *const kInputPortName = "input";

template <typename Midi>
std::unique_ptr<Midi> MakeMidi(RtMidi::Api api, RtMidiErrorCallback onError, void *self) {
  try {
    auto midi = std::make_unique<Midi>(api, kClientName);
    midi->setErrorCallback(onError, self);
    return midi;
  } catch (const RtMidiError &) {
    return nullptr;  // e.g. ALSA without a sequencer
  }
}

// Kelvane's own ports (its output, its virtual port, its input) join the service's lists once
// they are open. Device numbers count only the other ports: otherwise the numbers would shift
// under the stored ones as Kelvane opens its ports, and Kelvane could end up listening to itself.
// Returns the service's index of device `id`, or -1 when there is no such device.
template <typename Midi>
int ServiceIndexOf(Midi &midi, int id) {
  if (id < 0) return -1;
  const unsigned count = midi.getPortCount();
  int seen = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (midi.getPortName(i).rfind(kClientName, 0) == 0) continue;
    if (seen++ == id) return static_cast<int>(i);
  }
  return -1;
}

// Names device `id` in `name` and remembers it as the device described last (see below).
// `failed` is the connection's error flag, which RtMidi sets while it looks the name up.
template <typename Midi>
uint16_t DescribePort(Midi &midi, int id, const bool &failed, QString &name, int &describedId,
                      std::string &describedName) {
  const int index = ServiceIndexOf(midi, id);
  if (index < 0) return mrBadDeviceId;
  const std::string portName = midi.getPortName(static_cast<unsigned>(index));
  if (failed || portName.empty()) return mrBadDeviceId;
  name = QString::fromStdString(portName);
  describedId = id;
  describedName = portName;
  return mrOk;
}

// The service's index of the port to open for device `id`. Other programs' ports come and go
// between the moment a port describes a device and the moment it opens it, so a device that was
// described opens by its name, never by a position that may since name another port.
template <typename Midi>
int ServiceIndexToOpen(Midi &midi, int id, int describedId, const std::string &describedName) {
  if (id != describedId || describedName.empty()) return ServiceIndexOf(midi, id);
  const unsigned count = midi.getPortCount();
  for (unsigned i = 0; i < count; ++i)
    if (midi.getPortName(i) == describedName) return static_cast<int>(i);
  return -1;  // it has gone
}

// A new connection in a JACK graph takes effect at a cycle boundary; bytes written before it
// does are lost. Waits (on the GUI thread, a few milliseconds) until the service has run a few
// cycles since the port was connected, so that the first note after choosing a device arrives.
void WaitForTheConnection(const RtMidiService &service) {
  if (!service.CountsCycles()) return;
  const uint64_t connectedAt = service.Cycles();
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (service.Alive() && service.Cycles() < connectedAt + 3 &&
         std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

template <typename Midi>
uint16_t ForeignPortCount(Midi &midi) {
  const unsigned count = midi.getPortCount();
  unsigned foreign = 0;
  for (unsigned i = 0; i < count; ++i)
    if (midi.getPortName(i).rfind(kClientName, 0) != 0) ++foreign;
  return static_cast<uint16_t>(foreign);
}

// RtMidi objects whose JACK server died cannot be destroyed safely: their destructors call into
// a client that no longer exists (closing an input port there crashes inside libjack, and the
// output waits a second for a process cycle that never comes). They are kept here instead, so
// they stay reachable and are never touched again; one set per server death.
template <typename Midi>
void Abandon(std::unique_ptr<Midi> &midi) {
  static auto *graveyard = new std::vector<std::unique_ptr<Midi>>;
  if (midi) graveyard->push_back(std::move(midi));
}

}  // namespace

// ---- output ----

RtMidiOutConnection::~RtMidiOutConnection() {
  Close();
  Drop();
}

void RtMidiOutConnection::OnError(RtMidiError::Type type, const std::string &, void *self) {
  if (type != RtMidiError::DEBUG_WARNING) static_cast<RtMidiOutConnection *>(self)->failed_ = true;
}

void RtMidiOutConnection::Drop() {
  if (service_->Alive() && generation_ == service_->Generation())
    midi_.reset();
  else
    Abandon(midi_);
  open_ = false;
}

uint16_t RtMidiOutConnection::Ensure() {
  if (!service_->Connect()) {
    if (midi_ && !open_) Drop();
    return service_->DeadResult();
  }
  if (midi_ && generation_ != service_->Generation()) {  // built for a server that died
    if (open_) return service_->DeadResult();            // until the port closes it
    Drop();
  }
  if (!midi_) {
    midi_ = MakeMidi<RtMidiOut>(service_->Api(), &OnError, this);
    if (!midi_) return mrNoDriver;
    generation_ = service_->Generation();
  }
  failed_ = false;
  return mrOk;
}

// The device watch reads the lists on the GUI thread while the pump thread sends through the
// same RtMidi object; both hold the wire lock, so RtMidi and failed_ serve one thread at a time.
uint16_t RtMidiOutConnection::PortCount() {
  const auto wire = LockWire();
  if (Ensure()) return 0;
  return ForeignPortCount(*midi_);
}

uint16_t RtMidiOutConnection::PortName(int id, QString &name) {
  const auto wire = LockWire();  // as in PortCount
  if (uint16_t result = Ensure()) return result;
  if (id == -1) {
    if (!service_->HasVirtualPorts()) return mrNotSupported;
    name = QString::fromLatin1(kVirtualPortName);
    return mrOk;
  }
  return DescribePort(*midi_, id, failed_, name, describedId_, describedName_);
}

uint16_t RtMidiOutConnection::OpenDevice(int id) {
  if (uint16_t result = Ensure()) return result;
  if (id == -1) {
    if (!service_->HasVirtualPorts()) return mrNotSupported;
    midi_->openVirtualPort(kVirtualPortName);
  } else {
    const int index = ServiceIndexToOpen(*midi_, id, describedId_, describedName_);
    if (index < 0) return mrBadDeviceId;
    midi_->openPort(static_cast<unsigned>(index), kOutputPortName);
  }
  if (failed_) {
    Drop();
    return mrAllocated;
  }
  if (id != -1) WaitForTheConnection(*service_);
  open_ = true;
  return mrOk;
}

uint16_t RtMidiOutConnection::CloseDevice() {
  if (!open_) return mrInvalidHandle;
  if (service_->Alive() && generation_ == service_->Generation()) {
    midi_->closePort();
  } else {
    Abandon(midi_);  // its server is gone; a fresh one is made once a server runs
  }
  open_ = false;
  return mrOk;
}

// Never hand bytes to a connection whose server is gone: RtMidi's JACK send would spin.
uint16_t RtMidiOutConnection::Health() {
  if (!open_) return mrInvalidHandle;
  if (!service_->Alive() || generation_ != service_->Generation()) return service_->DeadResult();
  return mrOk;
}

uint16_t RtMidiOutConnection::WireShort(uint32_t packed) {
  const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                            static_cast<uint8_t>(packed >> 16)};
  return WireBytes(bytes, ShortMessageLength(bytes[0]));
}

uint16_t RtMidiOutConnection::WireBytes(const uint8_t *bytes, size_t length) {
  if (const uint16_t result = Health()) return result;
  const size_t limit = service_->MaxMessageBytes();
  if (limit && length > limit) return mrInvalidParam;
  const bool sysexPiece = length > 0 && (bytes[0] == 0xF0 || bytes[0] < 0x80 || bytes[0] == 0xF7);
  if (sysexPiece) WaitForACycleSinceLastPiece();
  failed_ = false;
  midi_->sendMessage(bytes, length);
  if (sysexPiece) lastPieceCycle_ = service_->Cycles();
  return failed_ ? mrError : mrOk;
}

// RtMidi's JACK output writes what it was given into the port's buffer in its next process
// cycle and silently drops what does not fit. A server that stalls (a loaded machine, a
// non-realtime server) would let wall-clock paced pieces pile up into one cycle, so each piece
// also waits until two cycles have begun since the last one: by then the last one has left.
void RtMidiOutConnection::WaitForACycleSinceLastPiece() {
  if (!service_->CountsCycles() || lastPieceCycle_ == 0) return;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (service_->Alive() && service_->Cycles() < lastPieceCycle_ + 2 &&
         std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// ---- input ----

RtMidiInConnection::~RtMidiInConnection() {
  StopDelivery();
  Drop();
}

void RtMidiInConnection::OnError(RtMidiError::Type type, const std::string &, void *self) {
  if (type != RtMidiError::DEBUG_WARNING) static_cast<RtMidiInConnection *>(self)->failed_ = true;
}

void RtMidiInConnection::OnInput(double, std::vector<unsigned char> *message, void *self) {
  auto &connection = *static_cast<RtMidiInConnection *>(self);
  connection.inCallback_.fetch_add(1);
  if (connection.delivering_.load() && !message->empty())
    connection.callback_(connection.context_, message->data(), message->size());
  connection.inCallback_.fetch_sub(1);
}

// Once this returns, no message reaches the port's callback: delivery is switched off and a
// callback already running has finished (it never blocks, so the wait is short).
void RtMidiInConnection::StopDelivery() {
  delivering_.store(false);
  while (inCallback_.load() != 0) std::this_thread::yield();
}

void RtMidiInConnection::Drop() {
  if (service_->Alive() && generation_ == service_->Generation())
    midi_.reset();
  else
    Abandon(midi_);
  open_ = false;
}

uint16_t RtMidiInConnection::Ensure() {
  if (!service_->Connect()) {
    if (midi_ && !open_) Drop();
    return service_->DeadResult();
  }
  if (midi_ && generation_ != service_->Generation()) {
    if (open_) return service_->DeadResult();
    Drop();
  }
  if (!midi_) {
    midi_ = MakeMidi<RtMidiIn>(service_->Api(), &OnError, this);
    if (!midi_) return mrNoDriver;
    generation_ = service_->Generation();
  }
  failed_ = false;
  return mrOk;
}

uint16_t RtMidiInConnection::PortCount() {
  if (Ensure()) return 0;
  return ForeignPortCount(*midi_);
}

uint16_t RtMidiInConnection::PortName(int id, QString &name) {
  if (uint16_t result = Ensure()) return result;
  return DescribePort(*midi_, id, failed_, name, describedId_, describedName_);
}

uint16_t RtMidiInConnection::Open(int id, MidiInputCallback callback, void *context) {
  if (uint16_t result = Ensure()) return result;
  const int index = ServiceIndexToOpen(*midi_, id, describedId_, describedName_);
  if (index < 0) return mrBadDeviceId;
  callback_ = callback;
  context_ = context;
  midi_->ignoreTypes(false, false, false);  // SysEx, clock and sensing all reach the port
  midi_->setBufferSize(4096, 16);           // WinMM delivers each filled buffer as a message
  midi_->setCallback(&OnInput, this);
  delivering_.store(true);
  midi_->openPort(static_cast<unsigned>(index), kInputPortName);
  if (failed_) {
    StopDelivery();
    Drop();
    return mrAllocated;
  }
  WaitForTheConnection(*service_);
  open_ = true;
  return mrOk;
}

uint16_t RtMidiInConnection::Close() {
  if (!open_) return mrInvalidHandle;
  StopDelivery();
  if (service_->Alive() && generation_ == service_->Generation()) {
    midi_->closePort();
    midi_->cancelCallback();
  } else {
    Drop();
  }
  open_ = false;
  return mrOk;
}
