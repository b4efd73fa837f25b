// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysExSender.h"

#include <algorithm>

SysExSender::SysExSender(MidiOutConnection &api, Finished finished)
    : api_(api), finished_(std::move(finished)), thread_([this] { Run(); }) {}

SysExSender::~SysExSender() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    cancel_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  thread_.join();
}

void SysExSender::SubmitSysEx(uint64_t session, std::vector<uint8_t> block) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(Job{session, true, 0, std::move(block)});
  }
  wake_.notify_all();
}

uint16_t SysExSender::SendShort(uint64_t session, uint32_t packed) {
  std::unique_lock lock(mutex_);
  if (!busy_ && jobs_.empty()) return api_.SendShort(packed);  // the sender thread is idle
  jobs_.push_back(Job{session, false, packed, {}});
  lock.unlock();
  wake_.notify_all();
  return mrOk;
}

void SysExSender::Cancel() {
  std::unique_lock lock(mutex_);
  jobs_.clear();
  cancel_ = true;
  wake_.notify_all();
  idle_.wait(lock, [this] { return !busy_; });
  cancel_ = false;
}

void SysExSender::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
    if (stop_) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    busy_ = true;
    uint16_t result;
    if (job.isSysEx) {
      result = SendBlock(job.bytes, lock);
    } else {
      lock.unlock();
      result = api_.SendShort(job.packed);
      lock.lock();
    }
    const bool report = !cancel_;
    busy_ = false;
    idle_.notify_all();
    if (report) finished_(job.session, job.isSysEx, result);
  }
}

// Sends the block's messages (each ending at F7) in pieces of at most the backend's size, with
// the backend's pause between pieces. Called with the lock held; it is released while the
// backend works and while pausing.
uint16_t SysExSender::SendBlock(const std::vector<uint8_t> &block,
                                std::unique_lock<std::mutex> &lock) {
  const MidiSysExPacing pacing = api_.Pacing();
  const size_t pieceLimit = pacing.MaxBytes ? pacing.MaxBytes : block.size();
  size_t pos = 0;
  while (pos < block.size()) {
    const auto f7 = std::find(block.begin() + static_cast<std::ptrdiff_t>(pos), block.end(), 0xF7);
    const size_t messageEnd =
        f7 == block.end() ? block.size() : static_cast<size_t>(f7 - block.begin()) + 1;
    const size_t messageStart = pos;
    bool insideMessage = false;
    while (pos < messageEnd) {
      if (!WaitForPause(pacing.Pause, lock)) {
        // Cancelled: a receiver left inside a SysEx message would swallow what follows.
        if (insideMessage) {
          static const uint8_t endOfExclusive = 0xF7;
          CallUnlocked(lock, &endOfExclusive, 1);
        }
        return mrOk;
      }
      const size_t length = std::min(pieceLimit, messageEnd - pos);
      if (uint16_t result = CallUnlocked(lock, block.data() + pos, length)) return result;
      pos += length;
      insideMessage = pos < messageEnd;
    }
    // A block (a .syx file cut short) may end inside a message: close it, or the receiver would
    // take the next short message for part of it.
    const bool unterminated = f7 == block.end() && std::find(block.begin() + messageStart,
                                                             block.end(), 0xF0) != block.end();
    if (unterminated) {
      static const uint8_t endOfExclusive = 0xF7;
      if (uint16_t result = CallUnlocked(lock, &endOfExclusive, 1)) return result;
    }
  }
  return mrOk;
}

// Waits until the pause since the last piece has passed; false when cancelled meanwhile.
bool SysExSender::WaitForPause(std::chrono::microseconds pause,
                               std::unique_lock<std::mutex> &lock) {
  const auto due = lastPiece_ + pause;
  wake_.wait_until(lock, due, [this] { return cancel_ || stop_; });
  return !cancel_ && !stop_;
}

uint16_t SysExSender::CallUnlocked(std::unique_lock<std::mutex> &lock, const uint8_t *bytes,
                                   size_t length) {
  lock.unlock();
  const uint16_t result = api_.SendBytes(bytes, length);
  lock.lock();
  lastPiece_ = std::chrono::steady_clock::now();
  return result;
}
