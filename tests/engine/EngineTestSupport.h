// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

#include "LoopbackBackend.h"
#include "MIDIappUtil.h"
#include "MidiOut.h"

// The three bytes of one short message as the loopback device records them.
inline QByteArray Msg(int status, int data1, int data2) {
  QByteArray bytes;
  bytes.append(char(status)).append(char(data1)).append(char(data2));
  return bytes;
}

using Messages = std::vector<QByteArray>;

// An output port whose short messages start failing after a given number, as a port does whose
// device vanished part-way through a chord.
class FailingOutput : public TMidiOutput {
 public:
  using TMidiOutput::TMidiOutput;
  void FailAfter(int messages) {
    sent_ = 0;
    limit_ = messages;
  }
  void WriteShortMessage(uint8_t status, uint8_t data1, uint8_t data2) override {
    if (limit_ >= 0 && sent_ >= limit_) throw EmidioutputError("device gone");
    TMidiOutput::WriteShortMessage(status, data1, data2);
    ++sent_;
  }

 private:
  int sent_ = 0;
  int limit_ = -1;  // never fails
};

// An engine playing into the first loopback output, open, with a fixed velocity so that every
// note-on can be compared byte for byte.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output.SetDeviceID(0);
    ASSERT_TRUE(output.OpenPort());
    backend.ClearSent();
    engine.SetOUTPUT(&output);
    engine.SetVelocity(90);
    engine.SetVelRnd(0);
  }

  Messages Sent() const { return backend.Sent(QStringLiteral("Loopback Out 1")); }
  Messages TakeSent() {
    Messages sent = Sent();
    backend.ClearSent();
    return sent;
  }
  void Down(uint16_t key, TShiftState shift = {}) { engine.KeyDown(nullptr, key, shift); }
  void Up(uint16_t key, TShiftState shift = {}) { engine.KeyUp(nullptr, key, shift); }

  LoopbackBackend backend;
  FailingOutput output{backend};
  TMIDIappUtil engine;
};
