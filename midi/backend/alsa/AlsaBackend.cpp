// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlsaBackend.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const QString kVirtualPortName = QStringLiteral("Kelvane");
constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;

// The largest SysEx event: what the kernel's own raw MIDI bridge makes, small enough for any
// receiver's pool.
constexpr size_t kPiece = 256;
// An input cell holds one event, or 28 bytes of a SysEx event's data.
constexpr int kCellBytes = 28;
// Cells left free in every receiver's pool for short messages (a Panic is 16 of them) and for
// whoever else sends to it; a quarter of a smaller pool, so that one that small still fills.
constexpr int kReservedCells = 24;
constexpr int kReservedShare = 4;
// Raw MIDI bridges drop what does not fit their buffers (4 KiB): a hardware port takes MIDI's
// wire speed (31,250 baud), a virtual raw port what a careful reader takes.
constexpr double kWireBytesPerSecond = 3125;
constexpr double kRawBytesPerSecond = 100 * 1024;
constexpr double kBurstBytes = 1024;
// How soon a full receiver is looked at again.
constexpr auto kRetry = 1ms;

}  // namespace

// In a namespace of ours: librtmidi exports classes of these names, and one of ours in their
// place would take over their virtual functions.
namespace kelvane {

// Our output port as the connection's pump writes to it: room as every receiver has it now,
// SysEx as sequencer SysEx events of at most kPiece bytes, short messages as sequencer events.
// Under the connection's wire lock (the pump thread, or the GUI thread once the pump has ended),
// but for Gone (any thread). Every event the sequencer refuses counts in `refusals`.
class AlsaOutWire {
 public:
  // Null when there is no memory for the encoder.
  static std::unique_ptr<AlsaOutWire> Make(AlsaClient &client, int port,
                                           std::optional<snd_seq_addr_t> device,
                                           std::atomic<uint64_t> &refusals);
  ~AlsaOutWire() {
    if (encoder_) snd_midi_event_free(encoder_);
  }
  AlsaOutWire(const AlsaOutWire &) = delete;
  AlsaOutWire &operator=(const AlsaOutWire &) = delete;

  size_t Room();
  uint16_t Write(const uint8_t *bytes, size_t length);
  // How long until Room may have grown.
  Clock::duration Retry() const;
  bool Gone() const { return gone_.load(); }

 private:
  size_t PoolRoom(const AlsaFlow &flow) const;
  size_t RateRoom();
  uint16_t WriteSysEx(const uint8_t *bytes, size_t length, size_t &at);
  uint16_t WriteShortAt(const uint8_t *bytes, size_t length, size_t &at);
  uint16_t Output(snd_seq_event_t &event);

  AlsaOutWire(AlsaClient &client, int port, std::optional<snd_seq_addr_t> device,
              std::atomic<uint64_t> &refusals, snd_midi_event_t *encoder)
      : client_(client), port_(port), device_(device), refusals_(refusals), encoder_(encoder) {}

  AlsaClient &client_;
  int port_;
  std::optional<snd_seq_addr_t> device_;  // the device we subscribed to; none for device -1
  std::atomic<uint64_t> &refusals_;
  snd_midi_event_t *encoder_;
  bool insideSysEx_ = false;
  double rate_ = 0;  // bytes per second the receivers take; 0 = as their pools allow
  double budget_ = kBurstBytes;
  Clock::time_point refilled_ = Clock::now();
  std::atomic<bool> gone_{false};
};

std::unique_ptr<AlsaOutWire> AlsaOutWire::Make(AlsaClient &client, int port,
                                               std::optional<snd_seq_addr_t> device,
                                               std::atomic<uint64_t> &refusals) {
  snd_midi_event_t *encoder = nullptr;
  if (snd_midi_event_new(16, &encoder) < 0) return nullptr;
  return std::unique_ptr<AlsaOutWire>(new AlsaOutWire(client, port, device, refusals, encoder));
}

size_t AlsaOutWire::Room() {
  if (gone_.load()) return kPiece;  // the next write reports it
  if (device_ && !client_.Sends(port_, *device_)) {
    gone_.store(true);  // the device's program ended or it was unplugged
    return kPiece;
  }
  const AlsaFlow flow = client_.Flow(port_);
  rate_ = flow.hardware ? kWireBytesPerSecond : flow.rawMidi ? kRawBytesPerSecond : 0;
  size_t room = kPiece;
  if (flow.freeCells != INT_MAX) room = std::min(room, PoolRoom(flow));
  if (rate_ > 0) room = std::min(room, RateRoom());
  return room;
}

// A SysEx event takes one cell plus one for each 28 bytes of its data.
size_t AlsaOutWire::PoolRoom(const AlsaFlow &flow) const {
  const int reserved = std::min(kReservedCells, flow.poolCells / kReservedShare);
  const int dataCells = flow.freeCells - reserved - 1;
  return dataCells > 0 ? std::min(kPiece, static_cast<size_t>(dataCells * kCellBytes)) : 0;
}

// Whole pieces while the budget lasts: it may run into debt by one piece, which the next pieces
// wait out (small pieces would cost a receiver more cells for the same bytes).
size_t AlsaOutWire::RateRoom() {
  const Clock::time_point now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - refilled_).count();
  budget_ = std::min(kBurstBytes, budget_ + seconds * rate_);
  refilled_ = now;
  return budget_ > 0 ? kPiece : 0;
}

Clock::duration AlsaOutWire::Retry() const {
  if (rate_ <= 0 || budget_ > 0) return kRetry;
  const auto due = std::chrono::duration<double>(-budget_ / rate_);
  return std::max<Clock::duration>(kRetry, std::chrono::duration_cast<Clock::duration>(due));
}

uint16_t AlsaOutWire::Write(const uint8_t *bytes, size_t length) {
  if (gone_.load()) return mrDeviceGone;
  if (rate_ > 0) budget_ -= static_cast<double>(length);
  for (size_t at = 0; at < length;) {
    const bool sysex = insideSysEx_ || bytes[at] == kSysExStart;
    const uint16_t result = sysex ? WriteSysEx(bytes, length, at) : WriteShortAt(bytes, length, at);
    if (result) return result;
  }
  return mrOk;
}

// One SysEx event: from F0 (or where the message goes on) up to F7 or the end of the bytes. Any
// other status byte ends the message unfinished there: no byte of 128 or more goes as data.
uint16_t AlsaOutWire::WriteSysEx(const uint8_t *bytes, size_t length, size_t &at) {
  const size_t from = at;
  size_t end = bytes[at] == kSysExStart ? at + 1 : at;
  while (end < length && bytes[end] < 0x80) ++end;
  const bool ended = end < length && bytes[end] == kSysExEnd;
  if (ended) ++end;
  insideSysEx_ = !ended && end == length;
  at = end;
  if (end == from) return mrOk;
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  snd_seq_ev_set_sysex(&event, static_cast<unsigned>(end - from),
                       const_cast<uint8_t *>(bytes + from));
  return Output(event);
}

// The next short message, or the bytes up to the next F0 when they complete none.
uint16_t AlsaOutWire::WriteShortAt(const uint8_t *bytes, size_t length, size_t &at) {
  while (at < length && bytes[at] != kSysExStart) {
    const uint8_t byte = bytes[at++];
    if (byte == kSysExEnd) continue;  // the end of no message
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    if (snd_midi_event_encode_byte(encoder_, byte, &event) == 1) return Output(event);
  }
  return mrOk;
}

uint16_t AlsaOutWire::Output(snd_seq_event_t &event) {
  const uint16_t result = client_.Output(port_, event);
  // A device that went may be seen here before Room sees it: from now on sends say so.
  if (result == mrDeviceGone)
    gone_.store(true);
  else if (result != mrOk)
    refusals_.fetch_add(1, std::memory_order_relaxed);
  return result;
}

}  // namespace kelvane

// ---- service and devices ----

uint16_t AlsaDevices::Resolve(int id, std::shared_ptr<AlsaClient> &client,
                              std::optional<snd_seq_addr_t> &device) {
  client = Service().Current();
  if (!client) return mrNoDriver;
  device.reset();
  if (id == -1) return mrOk;
  if (const auto toOpen = DeviceToOpen(*client, id)) device = toOpen->address;
  return device ? uint16_t{mrOk} : uint16_t{mrBadDeviceId};
}

namespace kelvane {

// ---- output ----

MidiOutAlsa::MidiOutAlsa(std::shared_ptr<AlsaService> service)
    : devices_(std::move(service), AlsaClient::Direction::Output) {}

MidiOutAlsa::~MidiOutAlsa() {
  Close();
}

uint16_t MidiOutAlsa::PortName(int id, QString &name) {
  if (id != -1) return devices_.Name(id, name);
  if (!devices_.Service().Current()) return mrNoDriver;
  name = kVirtualPortName;
  return mrOk;
}

uint16_t MidiOutAlsa::OpenDevice(int id) {
  std::shared_ptr<AlsaClient> client;
  std::optional<snd_seq_addr_t> device;
  if (const uint16_t result = devices_.Resolve(id, client, device)) return result;
  const int port = client->CreatePort(AlsaClient::Direction::Output);
  if (port < 0) return static_cast<uint16_t>(-port);
  if (device) {
    if (const uint16_t result = client->Connect(port, AlsaClient::Direction::Output, *device)) {
      client->DeletePort(port);
      return result;
    }
  }
  refusals_.store(0);
  wire_ = AlsaOutWire::Make(*client, port, device, refusals_);
  if (!wire_) {
    client->DeletePort(port);
    return mrNoMemory;
  }
  queue_.Reset();
  client_ = client;
  port_ = port;
  return mrOk;
}

uint16_t MidiOutAlsa::CloseDevice() {
  wire_.reset();
  client_->DeletePort(port_);
  client_.reset();
  port_ = -1;
  return mrOk;
}

uint16_t MidiOutAlsa::Health() {
  if (!client_) return mrInvalidHandle;
  return wire_->Gone() ? uint16_t{mrDeviceGone} : uint16_t{mrOk};
}

uint16_t MidiOutAlsa::WireShort(uint32_t packed) {
  const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                            static_cast<uint8_t>(packed >> 16)};
  return wire_->Write(bytes, ShortMessageLength(bytes[0]));
}

uint16_t MidiOutAlsa::WireBytes(const uint8_t *bytes, size_t length) {
  return wire_->Write(bytes, length);
}

// Pieces of the sequencer's event size, paced by the receivers' room (WireRoom), not the clock.
MidiSysExPacing MidiOutAlsa::Pacing() const {
  return {kPiece, std::chrono::microseconds{0}};
}

size_t MidiOutAlsa::WireRoom() {
  return wire_->Room();
}

Clock::time_point MidiOutAlsa::RetryAt(Clock::time_point) {
  return Clock::now() + wire_->Retry();
}

// ---- input ----

uint16_t MidiInAlsa::Open(int id, MidiInputCallback callback, void *context) {
  if (client_) return mrOk;
  std::shared_ptr<AlsaClient> client;
  std::optional<snd_seq_addr_t> device;
  if (const uint16_t result = devices_.Resolve(id, client, device)) return result;
  const int port = client->CreatePort(AlsaClient::Direction::Input);
  if (port < 0) return static_cast<uint16_t>(-port);
  uint16_t result = client->AttachInput(port, callback, loss_, context) ? mrOk : mrAllocated;
  if (!result && device) result = client->Connect(port, AlsaClient::Direction::Input, *device);
  if (result) {
    client->DetachInput(port);
    client->DeletePort(port);
    return result;
  }
  client_ = client;
  port_ = port;
  return mrOk;
}

uint16_t MidiInAlsa::Close() {
  if (!client_) return mrInvalidHandle;
  client_->DetachInput(port_);  // from here on the callback runs no more
  client_->DeletePort(port_);
  client_.reset();
  port_ = -1;
  return mrOk;
}

}  // namespace kelvane

// ---- backend ----

std::optional<QString> AlsaBackend::ErrorText(uint16_t code) const {
  switch (code) {
    case mrNoDriver:
      return QStringLiteral("There is no ALSA sequencer (the snd-seq module is not loaded)");
    case mrDeviceGone:
      return QStringLiteral(
          "The ALSA sequencer port has gone (its program ended or the device was unplugged)");
    case mrNotTaking:
      return QStringLiteral("The receiving ALSA sequencer port is not taking data");
    case mrAllocated:
      return QStringLiteral("The ALSA sequencer refused to connect Kelvane to the MIDI port");
    default:
      return MidiBackend::ErrorText(code);
  }
}

bool AlsaBackend::WatchDevices(MidiWake *wake) {
  service_->WatchDevices(wake);
  const auto client = service_->Current();
  return !client || client->Announces();
}

std::unique_ptr<MidiBackend> CreateAlsaBackend(bool mustWork) {
  auto service = std::make_shared<AlsaService>();
  if (mustWork && !service->Current()) return nullptr;
  return std::make_unique<AlsaBackend>(std::move(service));
}
