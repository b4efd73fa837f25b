// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiOutQueue.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

#include "GuiThread.h"
#include "MidiBackend.h"

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;

// A block (a .syx file cut short) may end inside a message; a receiver left there would take
// the next short message for part of it.
bool EndsInsideAMessage(const std::vector<uint8_t> &bytes) {
  const auto lastStart = std::find(bytes.rbegin(), bytes.rend(), kSysExStart);
  if (lastStart == bytes.rend()) return false;
  return std::find(bytes.rbegin(), lastStart, kSysExEnd) == lastStart;
}

}  // namespace

MidiOutQueue::MidiOutQueue() = default;

MidiOutQueue::~MidiOutQueue() {
  Reset();
}

bool MidiOutQueue::PushShort(uint32_t packed) {
  AssertGuiThread();
  return shorts_.Push(packed);
}

bool MidiOutQueue::PushBlock(std::vector<uint8_t> bytes) {
  AssertGuiThread();
  if (outstanding_ >= kBlockCapacity) return false;
  if (EndsInsideAMessage(bytes)) bytes.push_back(kSysExEnd);
  auto *block = new SysExTransfer{std::move(bytes), ++pushed_, 0, 0, nullptr};
  if (!blocks_.Push(block)) {  // cannot happen while outstanding_ < capacity; kept safe anyway
    --pushed_;
    delete block;
    return false;
  }
  ++outstanding_;
  return true;
}

bool MidiOutQueue::Cancel() {
  AssertGuiThread();
  cancelThrough_.store(pushed_, std::memory_order_release);  // pairs with ServeCancel
  return outstanding_ > 0;
}

bool MidiOutQueue::TakeFinished(Finished &finished) {
  AssertGuiThread();
  if (const uint16_t failure = refusal_.exchange(0)) {
    finished = Finished{false, failure};
    return true;
  }
  SysExTransfer *block = nullptr;
  if (!finished_.Pop(block)) return false;
  finished = Finished{true, block->result};
  delete block;
  --outstanding_;
  return true;
}

void MidiOutQueue::Reset() {
  SysExTransfer *block = nullptr;
  while (blocks_.Pop(block)) delete block;
  while (finished_.Pop(block)) delete block;
  while (unreported_) delete std::exchange(unreported_, unreported_->nextUnreported);
  lastUnreported_ = nullptr;
  delete current_;
  current_ = nullptr;
  uint32_t packed;
  while (shorts_.Pop(packed)) {
  }
  inside_ = false;
  outstanding_ = 0;
  refusal_.store(0);
  cancelThrough_.store(pushed_);
}

void MidiOutQueue::FailUnfinished(uint16_t result) {
  if (current_) Finish(current_, result);
  current_ = nullptr;
  inside_ = false;
  SysExTransfer *block = nullptr;
  while (blocks_.Pop(block)) Finish(block, result);
}

void MidiOutQueue::Pump(MidiWire &wire) {
  if (unreported_ && ReportFinished() && wake_) wake_->Signal();
  for (;;) {
    if (!ServeCancel(wire)) return;
    if (!inside_ && !SendShorts(wire)) return;
    // A cancel pushed before the short messages just sent (a Panic) is seen by now: nothing of
    // what it dropped may follow them.
    if (!ServeCancel(wire)) return;
    if (!current_ && !StartNextBlock()) return;
    if (!SendPiece(wire)) return;
  }
}

// Ends the message in flight with F7 and drops every block the cancel covers. False while the
// F7 does not fit: then nothing else may go either.
bool MidiOutQueue::ServeCancel(MidiWire &wire) {
  const uint64_t through = cancelThrough_.load(std::memory_order_acquire);
  if (current_ && current_->sequence <= through) {
    if (inside_) {
      // The F7 is a short message's worth: no pacing holds it back.
      if (!wire.FitsShort(1)) return false;
      if (const uint16_t result = wire.Write(&kSysExEnd, 1)) Refused(result);
      inside_ = false;
    }
    Finish(current_, kTransferCancelled);
    current_ = nullptr;
  }
  while (SysExTransfer *const *next = blocks_.Front()) {
    if ((*next)->sequence > through) break;
    SysExTransfer *block = *next;
    blocks_.Pop();
    Finish(block, kTransferCancelled);
  }
  return true;
}

// True when every waiting short message is out.
bool MidiOutQueue::SendShorts(MidiWire &wire) {
  while (const uint32_t *packed = shorts_.Front()) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(*packed), static_cast<uint8_t>(*packed >> 8),
                              static_cast<uint8_t>(*packed >> 16)};
    const size_t length = ShortMessageLength(bytes[0]);
    if (!wire.FitsShort(length)) return false;
    if (const uint16_t result = wire.WriteShort(bytes, length)) Refused(result);
    shorts_.Pop();
  }
  return true;
}

// The receiver may be left inside a message or without a short message: the GUI thread hears of
// the first refusal since it last looked.
void MidiOutQueue::Refused(uint16_t result) {
  uint16_t none = 0;
  refusal_.compare_exchange_strong(none, result);
  if (wake_) wake_->Signal();
}

bool MidiOutQueue::StartNextBlock() {
  if (!blocks_.Pop(current_)) return false;
  inside_ = false;
  return true;
}

// Writes the next piece of the current block. False when it must wait for room or time.
bool MidiOutQueue::SendPiece(MidiWire &wire) {
  SysExTransfer &block = *current_;
  if (block.sent == block.bytes.size()) {
    Finish(current_, mrOk);
    current_ = nullptr;
    return true;
  }
  if (!wire.PieceDue()) return false;
  const size_t room = wire.Room();
  const size_t length = PieceLength(room, wire.WholeMessages());
  if (length == 0) return false;
  const uint8_t *piece = block.bytes.data() + block.sent;
  if (const uint16_t result = wire.Write(piece, length)) {
    Finish(current_, result);
    current_ = nullptr;
    inside_ = false;
    return true;
  }
  block.sent += length;
  inside_ = piece[length - 1] != kSysExEnd && block.sent < block.bytes.size();
  return true;
}

// The next piece: up to and including the next F7 within `room` bytes, or `room` bytes of a
// message that goes on. A wire that takes whole messages gets the whole message or nothing.
size_t MidiOutQueue::PieceLength(size_t room, bool wholeMessages) const {
  const SysExTransfer &block = *current_;
  const uint8_t *from = block.bytes.data() + block.sent;
  const size_t left = block.bytes.size() - block.sent;
  const size_t window = wholeMessages ? left : std::min(left, room);
  const void *end = std::memchr(from, kSysExEnd, window);
  const size_t length =
      end ? static_cast<size_t>(static_cast<const uint8_t *>(end) - from) + 1 : window;
  return wholeMessages && length > room ? 0 : length;
}

void MidiOutQueue::Finish(SysExTransfer *block, uint16_t result) {
  block->result = result;
  block->nextUnreported = nullptr;
  (lastUnreported_ ? lastUnreported_->nextUnreported : unreported_) = block;
  lastUnreported_ = block;
  ReportFinished();
  if (wake_) wake_->Signal();
}

// Hands finished blocks to the GUI thread, oldest first; true when any went. `finished_` has room
// for every block outstanding (PushBlock sees to that), so all go at once; were one ever to find
// no room, it would wait for the next call, never be lost or overtaken.
bool MidiOutQueue::ReportFinished() {
  bool any = false;
  while (SysExTransfer *block = unreported_) {
    // Read before the push: from then on the GUI thread may take the block and free it.
    SysExTransfer *next = block->nextUnreported;
    if (!finished_.Push(block)) break;
    unreported_ = next;
    any = true;
  }
  if (!unreported_) lastUnreported_ = nullptr;
  assert(!unreported_ && "more blocks outstanding than the finished ring holds");
  return any;
}
