// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

class TMidiOutput;

// How a SysEx file goes out: a pause after each message (old synthesizers write a message to
// memory before they can take the next) and, optionally, no faster than a MIDI cable carries it.
struct SysExPacing {
  int pauseMs = 0;
  bool wireSpeed = false;
};

// Bytes a MIDI cable carries per second: 31,250 bit/s, ten bits a byte.
constexpr int kMidiWireBytesPerSecond = 3125;

// Sends a SysEx file to an output port message by message, paced, without ever blocking the
// GUI thread: each message is handed to WriteSysEx when the port has reported the end of what
// came before it (Onmidioutput, forwarded to BlockEnded) and the pause or wire-speed timer has
// run out. Knobs, notes and Panic therefore go out between messages. The file's bytes leave
// exactly as they are in the file, faults included. Whoever stops the port's SysEx (Panic, a
// change of device) stops the transfer with Cancel first: the sender asks nobody else whether
// it is still wanted. All members are for the GUI thread.
class TSysExSender : public QObject {
 public:
  enum class Outcome { Sent, Cancelled, Failed };
  struct Progress {
    int messagesSent = 0, messageCount = 0;
    qint64 bytesSent = 0, byteCount = 0;
    qint64 msLeft = -1;  // -1 until there is anything to estimate from
  };

  explicit TSysExSender(TMidiOutput &output, QObject *parent = nullptr);

  // Starts sending `file`; a transfer still running is cancelled first.
  void Start(const QByteArray &file, SysExPacing pacing);
  // Ends the message in flight with F7 and sends nothing more, also when the transfer rests in a
  // pause or a wire-speed wait; OnFinished says Cancelled with `why`. False when none ran.
  bool Cancel(const QString &why = {});
  bool Busy() const { return busy_; }
  Progress CurrentProgress() const;

  // The port's Onmidioutput: true when the block that ended was one of this transfer's (and
  // the report has been dealt with), false when it belongs to someone else.
  bool BlockEnded(uint16_t error);

  // After every block that ended well.
  std::function<void()> OnProgress;
  // Once per Start: how the transfer ended; `error` says why it failed.
  std::function<void(Outcome outcome, const QString &error)> OnFinished;

 private:
  struct Block {  // one message, or one run of bytes outside any
    qsizetype offset, length;
    uint64_t number = 0;  // the port's number for it, once written
  };
  void Pump();
  bool WaitFor(qint64 dueUs);
  void WriteBlock(const Block &block);
  void Finish(Outcome outcome, const QString &error = {});
  qint64 NowUs() const { return clock_.nsecsElapsed() / 1000; }

  TMidiOutput &output_;
  QByteArray file_;
  std::vector<Block> blocks_;
  SysExPacing pacing_;
  bool busy_ = false;
  size_t next_ = 0;      // the next block to write
  size_t reported_ = 0;  // blocks whose end the port has reported
  int messageCount_ = 0, messagesSent_ = 0;
  qint64 bytesSent_ = 0;
  qint64 wireFreeUs_ = 0;    // when a MIDI cable would have carried everything written
  qint64 messageEndUs_ = 0;  // when the last whole message had left
  qint64 pausedUs_ = 0;      // time spent in pauses so far
  QElapsedTimer clock_;
  QTimer gate_;  // the pause or the wire-speed wait
};
