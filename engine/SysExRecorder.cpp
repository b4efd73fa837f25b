// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysExRecorder.h"

TSysExRecorder::TSysExRecorder(QObject *parent) : QObject(parent) {
  quiet_.setSingleShot(true);
  connect(&quiet_, &QTimer::timeout, this, [this] {
    if (recording_ && OnQuiet) OnQuiet();
  });
}

void TSysExRecorder::Start(int quietMs) {
  recording_ = true;
  quiet_.stop();
  quiet_.setInterval(quietMs);
}

void TSysExRecorder::Stop() {
  recording_ = false;
  quiet_.stop();
}

void TSysExRecorder::Grew(const QByteArray &buffer) {
  if (buffer.size() < counted_) counted_ = messages_ = 0;
  // Only the new bytes are scanned: a dump of megabytes arrives in thousands of pieces.
  messages_ += static_cast<int>(buffer.sliced(counted_).count(char(0xF7)));
  counted_ = buffer.size();
  bytes_ = buffer.size();
  if (recording_ && quiet_.interval() > 0 && bytes_ > 0) quiet_.start();
}
