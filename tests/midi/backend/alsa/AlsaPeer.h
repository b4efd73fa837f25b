// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <alsa/asoundlib.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// The other end of the sequencer tests: a program on the sequencer with one port that others
// write to and read from. It records what arrives (with the time of each event, by its own clock)
// on a thread of its own and sends SysEx in events of kPiece bytes.
class AlsaPeer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kPiece = 256;

  // With `inputPool`, the program keeps an input pool of that many cells (else the sequencer's
  // default, 200).
  explicit AlsaPeer(const char *name, int inputPool = 0);
  ~AlsaPeer();
  AlsaPeer(const AlsaPeer &) = delete;
  AlsaPeer &operator=(const AlsaPeer &) = delete;

  bool Ok() const { return seq_ && port_ >= 0; }
  // The port as the sequencer's programs list it, "client:port" by their names.
  QString DeviceName() const { return name_ + QStringLiteral(":port"); }
  snd_seq_addr_t Address() const;
  void ConnectFrom(int client, int port);

  qsizetype Count();
  QByteArray Received();
  // Forgets everything received so far, and the largest event and the losses.
  void Clear();
  // When the byte at `index` arrived.
  Clock::time_point ArrivalOf(qsizetype index);
  int LargestSysEx() const { return largest_; }
  int Losses() const { return losses_; }

  // Sends `bytes` to our subscribers, SysEx in events of kPiece bytes. Before each event it waits
  // (10 s at the most) until `mayGo`, given the bytes sent with that event, allows it. Stops at
  // the first event the sequencer refuses, and then returns false.
  bool Send(const QByteArray &bytes, const std::function<bool(int64_t sent)> &mayGo = {});

  // The names of the programs whose ports read from our port, and of those that write to it.
  QStringList Readers() const { return Subscribers(SND_SEQ_QUERY_SUBS_READ); }
  QStringList Writers() const { return Subscribers(SND_SEQ_QUERY_SUBS_WRITE); }
  // The fewest free cells in the input pools of the programs that read from our port.
  int ReadersFreeCells() const;

 private:
  std::vector<snd_seq_addr_t> SubscriberAddresses(snd_seq_query_subs_type_t type) const;
  QStringList Subscribers(snd_seq_query_subs_type_t type) const;
  void Receive();
  void Record(const snd_seq_event_t &event);

  QString name_;
  snd_seq_t *seq_ = nullptr;
  int fd_ = -1;
  int port_ = -1;
  snd_midi_event_t *decoder_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread receiver_;
  std::mutex mutex_;
  QByteArray received_;
  std::vector<std::pair<qsizetype, Clock::time_point>> arrivals_;
  std::atomic<int> largest_{0};
  std::atomic<int> losses_{0};
};

// A transfer's speed in the test's output; speeds are printed, never asserted.
inline void PrintSpeed(const char *what, qsizetype bytes, double seconds) {
  std::printf("[ speed    ] %s: %lld bytes in %.3f s, %.0f KiB/s\n", what,
              static_cast<long long>(bytes), seconds, double(bytes) / 1024.0 / seconds);
  std::fflush(stdout);
}
