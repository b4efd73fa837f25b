// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysExSender.h"

#include <algorithm>

#include "MidiOut.h"
#include "SysExCheck.h"

namespace {

// Messages handed to the port before it has reported the first of them: enough to keep the
// service busy between two reports, few enough that a cancel drops the rest at once.
constexpr size_t kMaxInFlight = 16;
constexpr qint64 kWireMicrosecondsPerByte = 1000000 / kMidiWireBytesPerSecond;

}  // namespace

TSysExSender::TSysExSender(TMidiOutput &output, QObject *parent)
    : QObject(parent), output_(output) {
  gate_.setSingleShot(true);
  // A pause must never come out shorter than asked for.
  gate_.setTimerType(Qt::PreciseTimer);
  connect(&gate_, &QTimer::timeout, this, [this] { Pump(); });
}

void TSysExSender::Start(const QByteArray &file, SysExPacing pacing) {
  Cancel();
  file_ = file;
  pacing_ = pacing;
  blocks_.clear();
  // Each message is one block: the port ends a block that ends inside a message with F7, so
  // a message is never split (a message without F7 gets its F7 there).
  for (const SysExRun &run : SplitSysEx(file_)) blocks_.push_back({run.offset, run.length});
  messageCount_ = static_cast<int>(blocks_.size());
  next_ = reported_ = 0;
  messagesSent_ = 0;
  bytesSent_ = wireFreeUs_ = messageEndUs_ = pausedUs_ = 0;
  clock_.start();
  busy_ = true;
  if (blocks_.empty()) return Finish(Outcome::Sent);
  Pump();
}

bool TSysExSender::Cancel(const QString &why) {
  if (!busy_) return false;
  if (next_ > reported_) output_.CancelSysEx();
  Finish(Outcome::Cancelled, why);
  return true;
}

bool TSysExSender::WaitFor(qint64 dueUs) {
  const qint64 now = NowUs();
  if (now >= dueUs) return true;
  gate_.start(static_cast<int>((dueUs - now + 999) / 1000));
  return false;
}

void TSysExSender::Pump() {
  while (busy_ && next_ < blocks_.size()) {
    if (next_ > 0 && pacing_.pauseMs > 0) {
      // The pause runs from the end of the message before, as the synthesizer sees it.
      if (reported_ < next_) return;
      if (!WaitFor(messageEndUs_ + qint64(pacing_.pauseMs) * 1000)) return;
      pausedUs_ += NowUs() - messageEndUs_;
    }
    if (next_ - reported_ >= kMaxInFlight) return;
    if (pacing_.wireSpeed && !WaitFor(wireFreeUs_)) return;
    WriteBlock(blocks_[next_]);
  }
}

void TSysExSender::WriteBlock(const Block &block) {
  try {
    output_.WriteSysEx(reinterpret_cast<const uint8_t *>(file_.constData() + block.offset),
                       static_cast<size_t>(block.length));
  } catch (const Exception &e) {
    if (next_ > reported_) output_.CancelSysEx();
    return Finish(Outcome::Failed, e.Message());
  }
  blocks_[next_++].number = output_.SysExWritten();
  if (pacing_.wireSpeed)
    wireFreeUs_ = std::max(wireFreeUs_, NowUs()) + block.length * kWireMicrosecondsPerByte;
}

bool TSysExSender::BlockEnded(uint16_t error) {
  // Reports of blocks written before this transfer, or of a cancelled one, are not ours.
  if (!busy_ || reported_ >= next_ || output_.SysExEnded() != blocks_[reported_].number)
    return false;
  const Block &block = blocks_[reported_++];
  if (error) {
    if (next_ > reported_) output_.CancelSysEx();
    Finish(Outcome::Failed, output_.ErrorText(error));
    return true;
  }
  bytesSent_ += block.length;
  ++messagesSent_;
  // At wire speed a message has left only when a cable would have carried it.
  messageEndUs_ = std::max(NowUs(), wireFreeUs_);
  if (reported_ == blocks_.size()) {
    Finish(Outcome::Sent);
    return true;
  }
  if (OnProgress) OnProgress();
  Pump();
  return true;
}

void TSysExSender::Finish(Outcome outcome, const QString &error) {
  busy_ = false;
  gate_.stop();
  if (OnFinished) OnFinished(outcome, error);
}

TSysExSender::Progress TSysExSender::CurrentProgress() const {
  Progress progress{messagesSent_, messageCount_, bytesSent_, file_.size(), -1};
  const qint64 bytesLeft = progress.byteCount - bytesSent_;
  const qint64 pausesLeft = std::max(0, messageCount_ - messagesSent_ - 1);
  double usPerByte = -1;
  if (pacing_.wireSpeed)
    usPerByte = double(kWireMicrosecondsPerByte);
  else if (bytesSent_ > 0)
    usPerByte = double(std::max<qint64>(NowUs() - pausedUs_, 0)) / double(bytesSent_);
  if (usPerByte >= 0)
    progress.msLeft = qint64(double(bytesLeft) * usPerByte / 1000) + pausesLeft * pacing_.pauseMs;
  return progress;
}
