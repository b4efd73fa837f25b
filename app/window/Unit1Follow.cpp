// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The knobs follow the synth: a message from the input moves every knob that would send it, and
// sends nothing back. MIDI learn: the next message from the synth sets up the chosen knob.
//
// Every function here runs on the GUI thread, inside the handler guard.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QStringList>

#include "MIDIappUtil.h"
#include "MidiText.h"
#include "Miditype.h"
#include "SettingsStore.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "WindowTexts.h"
#include "knob.h"

namespace {

constexpr uint8_t kPolyAftertouch = 0xA0, kControlChange = 0xB0, kProgramChange = 0xC0,
                  kChannelAftertouch = 0xD0, kPitchBend = 0xE0;
constexpr uint8_t kModulationWheel = 1;

bool IsChannelMessage(uint8_t status) {
  return status >= 0x80 && status < 0xF0;
}

// What came in, for the status bar: "ControlChange #24 = 100 ch 1".
QString Incoming(uint8_t status, uint8_t data1, uint8_t data2) {
  const uint8_t type = status & 0xF0;
  QString text;
  if (IsStatusBase(type)) {
    text = CtrlItems()[(type - 160) / 16];
    if (type == kControlChange || type == kPolyAftertouch)
      text += QStringLiteral(" #%1").arg(data1);
    const int value = type == kControlChange || type == kPolyAftertouch ? data2 : data1;
    text += QStringLiteral(" = %1").arg(value);
  } else if (type == kPitchBend) {
    text = QStringLiteral("PitchBend = %1").arg(data1 + data2 * 128 - 8192);
  } else {
    text = DescribeMessage(&status, 1).type;
  }
  return text + QStringLiteral(" ch %1").arg((status & 0x0F) + 1);
}

// The knob position of a 14-bit bend: the inverse of the Pitch Bend knob's own sending.
int PositionOfBend(uint8_t lsb, uint8_t msb) {
  const int bend = lsb + msb * 128;
  return bend >= 16383 ? 127 : bend / 128;
}

}  // namespace

void TForm1::ShortMessageArrived(const TMyMidiEvent &event) {
  MonitorReceived(event);
  const uint8_t status = event.StatusByte;
  // Data bytes of 128 or more are a damaged message: nothing on screen takes them.
  if (!IsChannelMessage(status) || event.DataByte1 > 127 || event.DataByte2 > 127) return;
  if (Learning() && LearnFrom(status, event.DataByte1)) return;
  if (!follow->isChecked()) return;
  FollowBankKnobs(status, event.DataByte1, event.DataByte2);
  FollowKeyboardKnobs(status, event.DataByte1, event.DataByte2);
}

void TForm1::FollowBankKnobs(uint8_t status, uint8_t data1, uint8_t data2) {
  const uint8_t type = status & 0xF0;
  if (!IsStatusBase(type)) return;
  const bool numbered = type == kControlChange || type == kPolyAftertouch;
  const uint8_t value = numbered ? data2 : data1;
  QStringList moved;
  for (tknob *dial : knob) {
    if (dial->Tag1() != type || MidiChannelOf(KnobChannelIndex(dial)) != (status & 0x0F)) continue;
    if (numbered && dial->Tag2() != data1) continue;
    // Only the picture moves: nothing is sent, so the synth hears no echo of itself.
    dial->SetPosition(value);
    moved << QStringLiteral("k%1").arg(dial->Tag());
  }
  const QString text = QStringLiteral("from synth: ") + Incoming(status, data1, data2);
  SetStatusText(moved.isEmpty() ? text : text + QStringLiteral(" -> ") + moved.join(' '));
}

void TForm1::FollowKeyboardKnobs(uint8_t status, uint8_t data1, uint8_t data2) {
  // The keyboard page's knobs send on the global channel; they follow it alone.
  if ((status & 0x0F) != MidiChannelOf(channel->currentIndex())) return;
  switch (status & 0xF0) {
    case kPitchBend:
      tknobs[0]->SetPosition(PositionOfBend(data1, data2));
      break;
    case kControlChange:
      if (data1 == kModulationWheel) tknobs[2]->SetPosition(data2);
      break;
    case kPolyAftertouch:
      tknobs[3]->SetPosition(data1);  // the knob sends its value as the first data byte
      break;
    case kChannelAftertouch:
      tknobs[4]->SetPosition(data1);
      break;
    default:
      return;
  }
  if ((status & 0xF0) == kPitchBend)
    SetStatusText(QStringLiteral("from synth: ") + Incoming(status, data1, data2));
}

// --- MIDI learn ---

void TForm1::learnbtnClick(QObject *) {
  if (Learning()) {
    StopLearning(QStringLiteral("learn cancelled"));
    return;
  }
  learnKnob_ = ChosenKnob();
  learnbtn->setChecked(true);
  LearnCancel->setEnabled(true);
  SetStatusText(
      QStringLiteral("knob%1 learns: move a control on the synth (Esc cancels)").arg(learnKnob_));
}

void TForm1::LearnCancelClick(QObject *) {
  if (Learning()) StopLearning(QStringLiteral("learn cancelled"));
}

void TForm1::StopLearning(const QString &status) {
  learnKnob_ = 0;
  learnbtn->setChecked(false);
  LearnCancel->setEnabled(false);
  SetStatusText(status);
}

bool TForm1::LearnFrom(uint8_t status, uint8_t data1) {
  const uint8_t type = status & 0xF0;
  // Notes and pitch bend are no knob's message: learn waits for one that is.
  if (!IsStatusBase(type)) return false;
  const int k = learnKnob_;
  tknob *dial = BankKnob(k);
  const int channelIndex = status & 0x0F;
  dial->SetTag1(type);
  if (type == kControlChange || type == kPolyAftertouch) dial->SetTag2(data1);
  dial->SetTag3(static_cast<uint16_t>(channelIndex));
  Settings_->WriteInteger("knob", QStringLiteral("knobctrl%1").arg(k), dial->Tag1());
  Settings_->WriteInteger("knob", QStringLiteral("knobctrlno%1").arg(k), dial->Tag2());
  Settings_->WriteInteger("knob", QStringLiteral("knobchannel%1").arg(k), dial->Tag3());
  // A knob on a channel of its own sends there only while "knob channel" is ticked.
  if (channelIndex != MidiChannelOf(channel->currentIndex())) kchannel->setChecked(true);
  knobbox->setCurrentIndex(k - 1);
  knobboxChange(knobbox);
  ctrlno->setEnabled(type == kControlChange);
  QString learned = CtrlItems()[(type - 160) / 16];
  if (type == kControlChange || type == kPolyAftertouch)
    learned += QStringLiteral(" #%1").arg(data1);
  StopLearning(QStringLiteral("knob%1 learned %2 ch %3").arg(k).arg(learned).arg(channelIndex + 1));
  return true;
}
