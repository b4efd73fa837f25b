// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiIn.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cassert>
#include <cstring>

#include "CallbackRecord.h"
#include "GuiThread.h"

namespace {

const QString kOutOfRange = QStringLiteral("Specified error number is out of range");

uint32_t MillisecondsSince(int64_t startTicks) {
  using std::chrono::steady_clock;
  const auto start = steady_clock::time_point(steady_clock::duration(startTicks));
  const auto elapsed = steady_clock::now() - start;
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

// The following run on the backend's thread inside the driver callback: no blocking, no
// allocation, no exceptions. They touch only the callback record and what it points to.

void StoreEntry(CallbackRecord &record, const EventEntry &entry) {
  if (PutEntry(record.ring, entry))
    record.inputWaiting.store(true);
  else
    record.overflowed.store(true);
}

// Hands the buffer being filled to the ring. When the ring is full its bytes are lost (reported)
// and the buffer is kept for what comes next.
void FinishBuffer(CallbackRecord &record, uint32_t time) {
  TMyMidiHdr *buffer = record.current;
  if (!buffer || buffer->Header()->BytesRecorded == 0) return;
  // Everything written to the buffer happens before PutEntry publishes it to the GUI thread.
  buffer->Header()->Flags = mhdrDone;
  if (PutEntry(record.ring, EventEntry{time, 0, buffer})) {
    record.current = nullptr;
    record.inputWaiting.store(true);
  } else {
    buffer->Header()->Flags = mhdrPrepared | mhdrInQueue;
    buffer->Header()->BytesRecorded = 0;
    record.overflowed.store(true);
  }
}

bool TakeFreeBuffer(CallbackRecord &record) {
  EventEntry entry;
  if (!PeekEntry(record.freeBuffers, entry)) return false;
  [[maybe_unused]] const bool removed = RemoveEntry(record.freeBuffers);
  assert(removed && "the entry just peeked is gone");
  record.current = entry.buffer;
  record.current->Header()->BytesRecorded = 0;
  record.current->Header()->Flags = mhdrPrepared | mhdrInQueue;
  return true;
}

// SysEx bytes (a whole message or a piece of one) go into receive buffers; a full buffer or the
// end of the message makes an entry. Without a free buffer the bytes are lost and reported.
void ReceiveSysEx(CallbackRecord &record, const uint8_t *bytes, size_t length, uint32_t time) {
  if (bytes[0] == 0xF0 && record.inSysex) FinishBuffer(record, time);  // it never ended
  record.inSysex = bytes[length - 1] != 0xF7;
  size_t pos = 0;
  while (pos < length) {
    if (!record.current && !TakeFreeBuffer(record)) {
      record.overflowed.store(true);
      return;
    }
    TMidiBufferHeader &header = *record.current->Header();
    const size_t room = header.BufferLength - header.BytesRecorded;
    const size_t count = std::min(room, length - pos);
    std::memcpy(header.Data + header.BytesRecorded, bytes + pos, count);
    header.BytesRecorded += static_cast<uint32_t>(count);
    pos += count;
    if (header.BytesRecorded == header.BufferLength) FinishBuffer(record, time);
  }
  if (!record.inSysex) FinishBuffer(record, time);
}

void ReceiveShort(CallbackRecord &record, const uint8_t *bytes, size_t length, uint32_t time) {
  uint32_t packed = 0;
  for (size_t i = 0; i < std::min<size_t>(length, 3); ++i) packed |= uint32_t{bytes[i]} << (8 * i);
  if (packed == 0xFE || packed == 0xF8) return;  // active sensing, timing clock
  if (record.sysexOnly.load(std::memory_order_relaxed)) return;
  // A peer may write anything into its events; a data byte of 128 or more is no message.
  for (size_t i = 1; i < std::min<size_t>(length, 3); ++i)
    if (bytes[i] >= 0x80) return;
  StoreEntry(record, EventEntry{time, packed, nullptr});
}

}  // namespace

// Wakes the GUI thread unless a wake-up is already waiting there: one write to a descriptor made
// beforehand, no lock, no allocation.
void DeliverNotices(CallbackRecord &record) noexcept {
  if (!record.inputWaiting.load() && !record.overflowed.load()) return;
  if (record.noticePosted.exchange(true)) return;
  record.wake->Signal();
}

namespace {

// The driver callback, on the backend's thread: one message, or a piece of a long SysEx.
void MidiDriverCallback(void *context, const uint8_t *bytes, size_t length) noexcept {
  auto &record = *static_cast<CallbackRecord *>(context);
  if (length == 0 || !record.started.load(std::memory_order_acquire) || !record.ring) return;
  const uint32_t time = MillisecondsSince(record.startTime.load(std::memory_order_relaxed));
  const uint8_t first = bytes[0];
  if (first == 0xF0 || (record.inSysex && (first < 0x80 || first == 0xF7))) {
    ReceiveSysEx(record, bytes, length, time);
  } else if (first >= 0xF8) {
    ReceiveShort(record, bytes, length, time);  // real-time bytes may sit inside SysEx
  } else if (first >= 0x80 && first != 0xF7) {
    if (record.inSysex) {  // a status byte ends an unfinished SysEx message
      FinishBuffer(record, time);
      record.inSysex = false;
    }
    ReceiveShort(record, bytes, length, time);
  }
  DeliverNotices(record);
}

// The backend's thread, when the service lost input on its way here: reported as an overflow.
void MidiDriverLoss(void *context) noexcept {
  auto &record = *static_cast<CallbackRecord *>(context);
  if (!record.started.load(std::memory_order_acquire)) return;
  record.overflowed.store(true);
  DeliverNotices(record);
}

}  // namespace

TMidiInput::TMidiInput(MidiBackend &backend, QObject *owner)
    : QObject(owner), backend_(backend), api_(backend.CreateInput()) {
  api_->SetLossCallback(&MidiDriverLoss);
  wakeNotifier_ = new QSocketNotifier(wake_.Fd(), QSocketNotifier::Read, this);
  connect(wakeNotifier_, &QSocketNotifier::activated, this, [this] {
    wake_.Drain();
    HandleNotice();
  });
  DeviceCount_ = api_->PortCount();
  if (DeviceCount_ > 0) {
    try {
      SetDeviceID(0);
    } catch (const EMidiInputError &) {
      ProductName_.clear();  // device 0 went away meanwhile: describe no device
    }
  }
  constructing_ = false;
}

TMidiInput::~TMidiInput() {
  try {
    if (open_) ClosePort();
  } catch (const Exception &) {
    // A destructor reports nothing.
  }
  api_.reset();  // no driver callback runs after this
  ReleaseReceiveState();
  CallbackRecord_.reset();
  delete wakeNotifier_;  // before the descriptor it watches closes
}

QString TMidiInput::ErrorText(uint16_t code) const {
  return backend_.ErrorText(code).value_or(kOutOfRange);
}

void TMidiInput::Raise(const QString &text) const {
  throw EMidiInputError(text);
}

void TMidiInput::Check(uint16_t result) {
  Error_ = result;
  if (result) Raise(ErrorText(result));
}

QStringList TMidiInput::DeviceNames() {
  AssertGuiThread();
  QStringList names = api_->PortNames();
  DeviceCount_ = static_cast<uint16_t>(names.size());
  return names;
}

void TMidiInput::SetDeviceID(uint16_t id) {
  AssertGuiThread();
  if (open_) Raise(QStringLiteral("Change to DeviceID while device was open"));
  if (id >= api_->PortCount()) Raise(QStringLiteral("Invalid device ID"));
  DeviceID_ = id;
  QString name;
  Check(api_->PortName(id, name));
  ProductName_ = name;
}

void TMidiInput::SetProductName(const QString &name) {
  AssertGuiThread();
  if (open_) Raise(QStringLiteral("Change to ProductName while device was open"));
  // With no device at all, the query of device 0 fails and says why.
  const int count = std::max<int>(api_->PortCount(), 1);
  for (int id = 0; id < count; ++id) {
    QString candidate;
    Check(api_->PortName(id, candidate));
    if (candidate == name) {
      SetDeviceID(static_cast<uint16_t>(id));
      return;
    }
  }
  Raise(QStringLiteral("MIDI Input Device ") + name + QStringLiteral(" not installed "));
}

void TMidiInput::SetSysexBufferSize(uint32_t size) {
  AssertGuiThread();
  if (open_) Raise(QStringLiteral("Change to SysexBufferSize while device was open"));
  SysexBufferSize_ = size;
}

void TMidiInput::SetSysexBufferCount(uint16_t count) {
  AssertGuiThread();
  if (open_) Raise(QStringLiteral("Change to SysexBuffercount while device was open"));
  SysexBufferCount_ = count;
}

void TMidiInput::SetSysexOnly(bool only) {
  AssertGuiThread();
  SysexOnly_ = only;
  if (CallbackRecord_) CallbackRecord_->sysexOnly.store(only);
}

void TMidiInput::OpenPort() {
  AssertGuiThread();
  if (open_) return;  // already open on the selected device
  try {
    OpenDevice();
    open_ = true;
  } catch (const Exception &) {
    // The device is not open, so no callback can run: its memory may go.
    ReleaseReceiveState();
    CallbackRecord_.reset();
  }
}

// Sets up the ring, the receive buffers and the record before the device opens, so the driver
// callback never sees them half made.
void TMidiInput::OpenDevice() {
  if (!EventBuffer_) EventBuffer_ = CreateRing(Capacity_);
  if (!EventBuffer_) Check(mrNoMemory);
  if (!CallbackRecord_) CallbackRecord_ = std::make_unique<CallbackRecord>();
  CallbackRecord &record = *CallbackRecord_;
  record.ring = EventBuffer_;
  record.wake = &wake_;
  record.sysexOnly.store(SysexOnly_);
  record.started.store(false);
  record.current = nullptr;
  record.inSysex = false;

  const uint16_t count = SysexBufferSize_ > 0 ? SysexBufferCount_ : 0;
  FreeBuffers_ = CreateRing(count);
  if (!FreeBuffers_) Check(mrNoMemory);
  for (uint16_t i = 0; i < count; ++i) {
    auto buffer = std::make_unique<TMyMidiHdr>(SysexBufferSize_);
    if (!buffer->Valid()) Check(mrNoMemory);
    buffer->Header()->Flags = mhdrPrepared | mhdrInQueue;
    if (!PutEntry(FreeBuffers_, EventEntry{0, 0, buffer.get()})) Check(mrError);
    SysExBuffers_.push_back(std::move(buffer));
  }
  record.freeBuffers = FreeBuffers_;
  Check(api_->Open(DeviceID_, &MidiDriverCallback, &record));
}

// Only while the device is closed: nothing of this is reachable from the driver then.
void TMidiInput::ReleaseReceiveState() {
  if (CallbackRecord_) {
    CallbackRecord_->ring = nullptr;
    CallbackRecord_->freeBuffers = nullptr;
    CallbackRecord_->current = nullptr;
  }
  SysExBuffers_.clear();
  DestroyRing(FreeBuffers_);
  FreeBuffers_ = nullptr;
  DestroyRing(EventBuffer_);
  EventBuffer_ = nullptr;
}

void TMidiInput::StartInput() {
  AssertGuiThread();
  if (!open_) return;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  CallbackRecord_->startTime.store(now, std::memory_order_relaxed);
  CallbackRecord_->started.store(true, std::memory_order_release);  // pairs with the callback
  Error_ = mrOk;
}

void TMidiInput::ClosePort() {
  AssertGuiThread();
  if (!open_) return;
  open_ = false;  // first, so notices still queued fire nothing and ReadEvent gives null
  const uint16_t result = api_->Close();  // once it returns, the driver callback runs no more
  Error_ = result;
  if (result == mrOk || result == mrInvalidHandle) ReleaseReceiveState();
  Check(result);
}

uint32_t TMidiInput::PendingCount() const {
  AssertGuiThread();
  return open_ ? EntryCount(EventBuffer_) : 0;
}

std::unique_ptr<TMyMidiEvent> TMidiInput::ReadEvent() {
  AssertGuiThread();
  EventEntry entry;
  if (!open_ || !PeekEntry(EventBuffer_, entry)) return nullptr;
  auto event = std::make_unique<TMyMidiEvent>();
  event->TimeStamp = entry.time;
  if (!entry.buffer) {
    event->StatusByte = static_cast<uint8_t>(entry.message);
    event->DataByte1 = static_cast<uint8_t>(entry.message >> 8);
    event->DataByte2 = static_cast<uint8_t>(entry.message >> 16);
  } else {
    event->StatusByte = 0xF0;
    TMidiBufferHeader &header = *entry.buffer->Header();
    event->SysExByteCount = header.BytesRecorded;
    if (header.BytesRecorded) {
      event->SysExBytes = std::make_unique<uint8_t[]>(header.BytesRecorded);
      std::memcpy(event->SysExBytes.get(), header.Data, header.BytesRecorded);
    }
    // Give the buffer back to the driver side. The free ring holds every buffer, so it has room.
    header.BytesRecorded = 0;
    header.Flags = mhdrPrepared | mhdrInQueue;
    if (!PutEntry(FreeBuffers_, EventEntry{0, 0, entry.buffer})) Check(mrError);
  }
  [[maybe_unused]] const bool removed = RemoveEntry(EventBuffer_);
  assert(removed && "the entry just peeked is gone");
  return event;
}

// GUI thread: the driver callback's notice. Clears the posted mark first, so an event stored
// from now on posts a fresh notice.
void TMidiInput::HandleNotice() {
  AssertGuiThread();
  if (!CallbackRecord_) return;
  CallbackRecord &record = *CallbackRecord_;
  record.noticePosted.store(false);
  const bool overflowed = record.overflowed.exchange(false);
  const bool inputWaiting = record.inputWaiting.exchange(false);
  if (overflowed && OnOverflow && open_) OnOverflow(this);
  if (inputWaiting && OnMidiInput && open_ && PendingCount() > 0) OnMidiInput(this);
}
