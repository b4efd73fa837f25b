// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>

// Watches a SysEx dump grow while it is recorded: counts its messages and bytes and, when asked
// to, says when the sender has gone quiet, so that nobody has to guess when a synthesizer has
// finished its dump. The recording itself (the buffer) stays with its owner. GUI thread only.
class TSysExRecorder : public QObject {
 public:
  explicit TSysExRecorder(QObject *parent = nullptr);

  // A recording starts: with quietMs > 0, OnQuiet fires quietMs after the last byte, once
  // anything has arrived.
  void Start(int quietMs);
  void Stop();
  bool Recording() const { return recording_; }
  // The owner's buffer has grown (or, after a save, been emptied) to `buffer`.
  void Grew(const QByteArray &buffer);
  // Messages (F7 bytes) and bytes in the buffer as last seen.
  int Messages() const { return messages_; }
  qint64 Bytes() const { return bytes_; }

  std::function<void()> OnQuiet;

 private:
  QTimer quiet_;
  bool recording_ = false;
  qsizetype counted_ = 0;  // bytes of the buffer already scanned for F7
  int messages_ = 0;
  qint64 bytes_ = 0;
};
