// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: arbitrary bytes into TMidiInput, injected through the loopback service on this
// thread (the driver callback runs inside Inject) and drained with ReadEvent.
// Input: two bytes of set-up, then the byte stream.
//   byte 0, bit 0     SysexOnly
//           bits 1-2  SysEx buffer size: 0, 3, 16 or 4096 bytes
//           bits 3-4  SysEx buffer count: 0, 1, 2 or 16
//           bits 5-6  ring capacity: 1, 2, 8 or 1024 events
//           bit 7     raw: the stream is length-prefixed chunks of any bytes, delivered as they
//                     are (a service that passes on whatever a peer sent, as JACK does);
//                     otherwise the stream is cut as a MIDI driver cuts it: one message per
//                     call, real-time bytes on their own, SysEx in pieces
//   byte 1, bits 0-3  drain the port after every n calls (0: only at the end)
//           bits 4-7  the driver's SysEx piece size (0: whole messages)
// Always: nothing crashes; short events carry a status byte and data bytes below 128; no SysEx
// event exceeds a buffer. Driver-cut streams: without a reported overflow, the short events and
// the SysEx bytes are exactly those sent, in order; with one, they are an ordered part of them.

#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "LoopbackBackend.h"
#include "MidiIn.h"

namespace {

const QString kDevice = QStringLiteral("Loopback In 1");
LoopbackBackend *backend = nullptr;

struct ShortEvent {
  uint8_t status, data1, data2;
  bool operator==(const ShortEvent &) const = default;
};

// What the port should deliver, and what it did.
struct Traffic {
  std::vector<ShortEvent> shorts;
  QByteArray sysex;
};

QByteArray Describe(const std::vector<ShortEvent> &events) {
  QByteArray out;
  for (const ShortEvent &e : events)
    out += QByteArray::number(e.status, 16) + " " + QByteArray::number(e.data1, 16) + " " +
           QByteArray::number(e.data2, 16) + " | ";
  return out.left(1500);
}

template <typename T>
bool IsOrderedPart(const T &part, const T &whole) {
  auto w = whole.begin();
  for (const auto &item : part) {
    while (w != whole.end() && !(*w == item)) ++w;
    if (w == whole.end()) return false;
    ++w;
  }
  return true;
}

// Cuts a byte stream into the calls a MIDI driver makes, and works out what the port should
// then deliver: every short message and every ended SysEx message. The bytes of a SysEx
// message still open at the end are `open`: the port may hold them back.
class DriverCut {
 public:
  DriverCut(size_t piece, bool sysexOnly) : piece_(piece), sysexOnly_(sysexOnly) {}

  void Feed(uint8_t byte) {
    if (byte >= 0xF8) {
      if (kind_ == kSysEx) Flush();  // a real-time byte may sit inside SysEx
      Emit(QByteArray(1, char(byte)));
      if (byte != 0xF8 && byte != 0xFE) ExpectShort(QByteArray(1, char(byte)));
      return;
    }
    if (byte == 0xF7 && inSysex_) {
      kind_ = kSysEx;  // also when a real-time byte or a full piece came just before
      Append(byte);
      EndSysEx();
      return;
    }
    if (byte >= 0x80) {
      EndCurrent();
      kind_ = byte == 0xF0 ? kSysEx : byte == 0xF7 ? kStray : kShort;
      inSysex_ = byte == 0xF0;
      Append(byte);
      return;
    }
    if (kind_ == kNone) kind_ = inSysex_ ? kSysEx : kStray;
    Append(byte);
  }

  void End() {
    if (kind_ == kShort) ExpectShort(current_);
    Flush();
  }

  const std::vector<QByteArray> &Calls() const { return calls_; }
  const Traffic &Wanted() const { return wanted_; }
  const QByteArray &Open() const { return open_; }

 private:
  enum Kind { kNone, kShort, kSysEx, kStray };

  void Append(uint8_t byte) {
    current_ += char(byte);
    if (kind_ == kSysEx && inSysex_ && piece_ && size_t(current_.size()) == piece_) Flush();
  }
  void Flush() {
    if (!current_.isEmpty()) Emit(current_);
    if (kind_ == kSysEx) open_ += current_;
    current_.clear();
    kind_ = kNone;
  }
  void EndSysEx() {
    Flush();
    wanted_.sysex += open_;
    open_.clear();
    inSysex_ = false;
  }
  // A status byte ends the message before it; an unfinished SysEx message ends with it.
  void EndCurrent() {
    if (kind_ == kShort) ExpectShort(current_);
    Flush();
    if (inSysex_) EndSysEx();
  }
  void ExpectShort(const QByteArray &bytes) {
    if (sysexOnly_) return;
    auto at = [&](qsizetype i) { return i < bytes.size() ? uint8_t(bytes[i]) : uint8_t(0); };
    wanted_.shorts.push_back({at(0), at(1), at(2)});
  }
  void Emit(const QByteArray &call) { calls_.push_back(call); }

  size_t piece_;
  bool sysexOnly_;
  Kind kind_ = kNone;
  bool inSysex_ = false;
  QByteArray current_, open_;
  std::vector<QByteArray> calls_;
  Traffic wanted_;
};

std::vector<QByteArray> RawCut(const uint8_t *data, size_t size) {
  std::vector<QByteArray> calls;
  size_t at = 0;
  while (at < size) {
    const size_t length = std::min<size_t>(data[at] & 0x1F, size - at - 1);
    calls.emplace_back(reinterpret_cast<const char *>(data + at + 1), qsizetype(length));
    at += 1 + length;
  }
  return calls;
}

void Take(TMidiInput &port, uint32_t bufferSize, bool raw, Traffic &got) {
  while (auto event = port.ReadEvent()) {
    if (event->StatusByte == 0xF0) {
      fuzz::Expect(event->SysExByteCount > 0 && event->SysExBytes, "an empty SysEx event");
      fuzz::Expect(event->SysExByteCount <= bufferSize, "a SysEx event exceeds its buffer");
      got.sysex.append(reinterpret_cast<const char *>(event->SysExBytes.get()),
                       qsizetype(event->SysExByteCount));
      continue;
    }
    const QByteArray bytes = QByteArray::number(event->StatusByte, 16) + " " +
                             QByteArray::number(event->DataByte1, 16) + " " +
                             QByteArray::number(event->DataByte2, 16);
    fuzz::Expect(event->StatusByte >= 0x80 && event->StatusByte != 0xF7,
                 "a short event without a status byte", bytes);
    fuzz::Expect(!event->SysExBytes && event->SysExByteCount == 0,
                 "a short event carries SysEx bytes", bytes);
    fuzz::Expect(event->DataByte1 < 0x80 && event->DataByte2 < 0x80,
                 "a short event carries a data byte of 128 or more", bytes);
    got.shorts.push_back({event->StatusByte, event->DataByte1, event->DataByte2});
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::StartApplication();
  backend = new LoopbackBackend;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  static constexpr uint32_t kBufferSizes[] = {0, 3, 16, 4096};
  static constexpr uint16_t kBufferCounts[] = {0, 1, 2, 16};
  static constexpr uint32_t kCapacities[] = {1, 2, 8, 1024};
  const bool sysexOnly = data[0] & 1;
  const uint32_t bufferSize = kBufferSizes[(data[0] >> 1) & 3];
  const uint16_t bufferCount = kBufferCounts[(data[0] >> 3) & 3];
  const uint32_t capacity = kCapacities[(data[0] >> 5) & 3];
  const bool raw = data[0] & 0x80;
  const size_t drainEvery = data[1] & 0x0F;
  const size_t piece = data[1] >> 4;

  std::vector<QByteArray> calls;
  std::unique_ptr<DriverCut> cut;
  if (raw) {
    calls = RawCut(data + 2, size - 2);
  } else {
    cut = std::make_unique<DriverCut>(piece, sysexOnly);
    for (size_t i = 2; i < size; ++i) cut->Feed(data[i]);
    cut->End();
    calls = cut->Calls();
  }

  TMidiInput port(*backend);
  port.SetSysexOnly(sysexOnly);
  port.SetSysexBufferSize(bufferSize);
  port.SetSysexBufferCount(bufferCount);
  port.SetCapacity(capacity);
  bool overflowed = false;
  port.OnOverflow = [&](QObject *) { overflowed = true; };
  port.OpenPort();
  fuzz::Expect(port.IsOpen(), "the loopback input does not open");
  port.StartInput();

  Traffic got;
  auto drain = [&] {
    Take(port, bufferSize, raw, got);
    QCoreApplication::processEvents();  // the port's wake-up: OnOverflow
    Take(port, bufferSize, raw, got);
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    backend->Inject(kDevice, reinterpret_cast<const uint8_t *>(calls[i].constData()),
                    size_t(calls[i].size()));
    if (drainEvery && (i + 1) % drainEvery == 0) drain();
  }
  drain();
  port.ClosePort();

  if (raw) {
    QByteArray all;
    for (const QByteArray &call : calls) all += call;
    fuzz::Expect(IsOrderedPart(got.sysex, all), "SysEx bytes that were never sent");
    return 0;
  }
  const Traffic &wanted = cut->Wanted();
  const QByteArray mayHave = wanted.sysex + cut->Open();
  if (overflowed) {
    fuzz::Expect(IsOrderedPart(got.shorts, wanted.shorts), "short events out of order",
                 "got  " + Describe(got.shorts) + "\nsent " + Describe(wanted.shorts));
    fuzz::Expect(IsOrderedPart(got.sysex, mayHave), "SysEx bytes out of order",
                 "got  " + fuzz::Hex(got.sysex) + "\nsent " + fuzz::Hex(mayHave));
    return 0;
  }
  fuzz::Expect(got.shorts == wanted.shorts, "short events lost or changed without an overflow",
               "got  " + Describe(got.shorts) + "\nsent " + Describe(wanted.shorts));
  fuzz::Expect(got.sysex.startsWith(wanted.sysex) && mayHave.startsWith(got.sysex),
               "SysEx bytes lost or changed without an overflow",
               "got  " + fuzz::Hex(got.sysex) + "\nsent " + fuzz::Hex(mayHave));
  return 0;
}
