// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "PumpedOutConnection.h"

#include <algorithm>
#include <limits>

#include "GuiThread.h"

using Clock = std::chrono::steady_clock;

// The service as the queue's pump sees it: pieces of the service's size, or whole messages,
// with the service's pause between two pieces.
class PumpedOutConnection::Wire : public MidiWire {
 public:
  explicit Wire(PumpedOutConnection &connection) : connection_(connection) {}

  size_t Room() override {
    const size_t maxBytes = connection_.Pacing().MaxBytes;
    return std::min(maxBytes ? maxBytes : std::numeric_limits<size_t>::max(),
                    connection_.WireRoom());
  }
  // Short messages go whatever the piece size, when the service's own buffers take them.
  bool FitsShort(size_t length) override { return connection_.WireRoom() >= length; }
  uint16_t WriteShort(const uint8_t *bytes, size_t length) override {
    uint32_t packed = 0;
    for (size_t i = 0; i < length; ++i) packed |= uint32_t{bytes[i]} << (8 * i);
    return connection_.WireShort(packed);
  }
  bool WholeMessages() const override { return connection_.Pacing().MaxBytes == 0; }
  bool PieceDue() override { return Clock::now() >= NextPieceDue(); }
  uint16_t Write(const uint8_t *bytes, size_t length) override {
    const uint16_t result = connection_.WireBytes(bytes, length);
    lastWrite_ = Clock::now();
    return result;
  }
  Clock::time_point NextPieceDue() const { return lastWrite_ + connection_.Pacing().Pause; }

 private:
  PumpedOutConnection &connection_;
  Clock::time_point lastWrite_{};
};

PumpedOutConnection::PumpedOutConnection() = default;

PumpedOutConnection::~PumpedOutConnection() {
  StopPump();  // derived classes close their device first; this only makes sure
}

uint16_t PumpedOutConnection::Open(int id) {
  AssertGuiThread();
  if (IsOpen()) return mrOk;  // a second pump would take the queue from the first
  if (const uint16_t result = OpenDevice(id)) return result;
  StartPump();
  return mrOk;
}

uint16_t PumpedOutConnection::Close() {
  AssertGuiThread();
  if (!IsOpen()) return mrInvalidHandle;
  StopPump();
  // A receiver left inside a SysEx message would swallow what the next session sends.
  if (queue_.InsideMessage()) {
    const uint8_t endOfExclusive = 0xF7;
    WireBytes(&endOfExclusive, 1);
  }
  queue_.Reset();
  return CloseDevice();
}

uint16_t PumpedOutConnection::SendShort(uint32_t packed) {
  AssertGuiThread();
  if (const uint16_t result = Health()) return result;
  if (!ShortsAlwaysQueue()) {
    // The pump holds the lock while it writes: then the message queues behind what it writes.
    std::unique_lock wire(wireMutex_, std::defer_lock);
    if (WireNeverBlocks())
      wire.lock();
    else
      (void)wire.try_lock();
    if (wire.owns_lock() && queue_.Idle()) return WireShort(packed);
  }
  return MidiOutConnection::SendShort(packed);
}

void PumpedOutConnection::Kick() {
  {
    std::lock_guard lock(wakeMutex_);
    kicked_ = true;
  }
  wakeUp_.notify_one();
}

void PumpedOutConnection::StartPump() {
  wire_ = std::make_unique<Wire>(*this);
  stop_ = false;
  kicked_ = false;
  thread_ = std::thread([this] { Run(); });
}

void PumpedOutConnection::StopPump() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(wakeMutex_);
    stop_ = true;
  }
  wakeUp_.notify_one();
  thread_.join();
}

// The pump thread: writes what the queue holds, then sleeps until there is more, or the next
// piece is due, or the service may have room again.
void PumpedOutConnection::Run() {
  for (;;) {
    bool idle;
    Clock::time_point retryAt;
    {
      std::lock_guard wire(wireMutex_);
      queue_.Pump(*wire_);
      idle = queue_.Idle();
      if (!idle) retryAt = RetryAt(wire_->NextPieceDue());
    }
    std::unique_lock lock(wakeMutex_);
    const auto woken = [this] { return stop_ || kicked_; };
    if (idle)
      wakeUp_.wait(lock, woken);
    else
      wakeUp_.wait_until(lock, retryAt, woken);
    if (stop_) return;
    kicked_ = false;
  }
}
