// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "MidiBackend.h"

// The output port's sender thread. It sends SysEx blocks message by message, each message in
// pieces the backend carries, paced as the backend asks, so that no byte is dropped and the GUI
// thread never waits for a transfer (some services block for the wire time of a SysEx send).
// Short messages sent while a block is in flight queue behind it, so none lands inside a SysEx
// message and the order of sending is kept.
//
// The backend connection is called either by the GUI thread (a short message while nothing is
// queued) or by the sender thread (while busy), never by both: the queue lock decides.
class SysExSender {
 public:
  // Runs on the sender thread when a queued job has finished (result 0 = sent). `wasSysEx`
  // tells a block from a queued short message. Must not block or call back into the sender.
  using Finished = std::function<void(uint64_t session, bool wasSysEx, uint16_t result)>;

  SysExSender(MidiOutConnection &api, Finished finished);
  ~SysExSender();
  SysExSender(const SysExSender &) = delete;
  SysExSender &operator=(const SysExSender &) = delete;

  // GUI thread. Queues a block; returns at once.
  void SubmitSysEx(uint64_t session, std::vector<uint8_t> block);
  // GUI thread. Sends at once when nothing is queued or in flight (returning the backend's
  // result), else queues behind the blocks (returning 0).
  uint16_t SendShort(uint64_t session, uint32_t packed);
  // GUI thread. Drops every queued job, ends a message cut short with F7 and returns once the
  // sender thread is idle. Dropped jobs report nothing.
  void Cancel();

 private:
  struct Job {
    uint64_t session = 0;
    bool isSysEx = false;
    uint32_t packed = 0;
    std::vector<uint8_t> bytes;
  };
  void Run();
  uint16_t SendBlock(const std::vector<uint8_t> &block, std::unique_lock<std::mutex> &lock);
  bool WaitForPause(std::chrono::microseconds pause, std::unique_lock<std::mutex> &lock);
  uint16_t CallUnlocked(std::unique_lock<std::mutex> &lock, const uint8_t *bytes, size_t length);

  MidiOutConnection &api_;
  Finished finished_;
  std::mutex mutex_;
  std::condition_variable wake_;  // a job arrived, or cancel/stop was asked
  std::condition_variable idle_;  // the sender thread finished its job
  std::deque<Job> jobs_;
  bool busy_ = false;
  bool cancel_ = false;
  bool stop_ = false;
  std::chrono::steady_clock::time_point lastPiece_{};
  std::thread thread_;
};
