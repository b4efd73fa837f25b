// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>

// One message that went out or came in, kept as it was: formatting waits until a line is drawn,
// so that recording costs a knob move next to nothing.
struct MonitorEntry {
  uint64_t sequence = 0;  // counts every entry ever added, from 0
  int timeMs = 0;         // milliseconds since midnight, local time
  bool received = false;
  QString device;
  std::array<uint8_t, 4> head{};  // a short message whole; a SysEx message's F0 and ID bytes
  uint32_t length = 0;            // the whole message's length
};

// The monitor's history: the newest `capacity` messages, oldest first.
class MonitorLog {
 public:
  explicit MonitorLog(size_t capacity = 10000) : capacity_(capacity) {}

  void Add(bool received, const QString &device, const uint8_t *bytes, size_t length, int timeMs);
  void Clear();

  size_t Capacity() const { return capacity_; }
  size_t Size() const { return entries_.size(); }
  const MonitorEntry &At(size_t i) const { return entries_[i]; }
  // The sequence number the next entry will get.
  uint64_t NextSequence() const { return next_; }
  // The sequence of the oldest entry kept (NextSequence() when empty).
  uint64_t FirstSequence() const { return next_ - entries_.size(); }

  // "12:03:04.120  out  synth:in        1   ControlChange      74 100   Brightness"
  static QString Line(const MonitorEntry &entry);
  // Every kept entry as a line, each ending in a newline, under a heading line.
  QString Text() const;
  static QString Heading();

 private:
  size_t capacity_;
  uint64_t next_ = 0;
  std::deque<MonitorEntry> entries_;
};
