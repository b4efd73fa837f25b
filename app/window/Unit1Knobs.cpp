// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The knob bank: each bank knob sends one MIDI channel message every time it moves.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>

#include "MIDIappUtil.h"
#include "MidiOut.h"
#include "SysExLibrarian.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "WindowTexts.h"
#include "knob.h"

int TForm1::KnobChannelIndex(const tknob *dial) const {
  return kchannel->isChecked() ? dial->Tag3() : channel->currentIndex();
}

void TForm1::knob1MouseMove(QObject *Sender, TShiftState Shift, int, int) {
  auto *dial = static_cast<tknob *>(Sender);
  if (dial == speed || !IsDragState(Shift)) return;
  KnobTaken(dial);
  SetStatusText(QString());
  const int type = dial->Tag1();
  // Only a hand-edited store gives a knob a type or controller outside MIDI's ranges; such a
  // knob says so and sends nothing rather than a message of another kind.
  if (!IsStatusBase(type)) {
    SetStatusText(
        QStringLiteral("k%1: unknown message type %2, nothing sent").arg(dial->Tag()).arg(type));
    return;
  }
  const bool twoDataBytes = type == 160 || type == 176;
  if (twoDataBytes && dial->Tag2() > 127) {
    SetStatusText(QStringLiteral("k%1: controller number %2 is out of range, nothing sent")
                      .arg(dial->Tag())
                      .arg(dial->Tag2()));
    return;
  }
  const uint8_t status = static_cast<uint8_t>(type + MidiChannelOf(KnobChannelIndex(dial)));
  const uint8_t value = static_cast<uint8_t>(std::min<int>(dial->Position(), 127));
  if (twoDataBytes)
    engine->SendShort(status, static_cast<uint8_t>(dial->Tag2()), value);
  else
    engine->SendShort(status, value, 0);
}

void TForm1::knob1MouseEnter(QObject *Sender) {
  auto *dial = static_cast<tknob *>(Sender);
  if (dial == speed) return;
  const int type = dial->Tag1();
  QString text = IsStatusBase(type) ? CtrlItems()[(type - 160) / 16]
                                    : QStringLiteral("unknown message type %1").arg(type);
  if (type == 176) text += QStringLiteral(" #%1").arg(dial->Tag2());
  text += QStringLiteral(" = %1 kCH=%2").arg(dial->Position()).arg(dial->Tag3() + 1);
  SetStatusText(text);
}

void TForm1::TweakKnob(tknob *Knob, bool Down) {
  const int step = speed->Position();
  if (Down)
    Knob->SetPosition(std::max<int>(Knob->Position() - step, Knob->Min()));
  else
    Knob->SetPosition(Knob->Position() + step);
  knob1MouseMove(Knob, ssLeft, 0, 0);
  SetStatusText(QStringLiteral("k%1=%2  (kCH=%3) ")
                    .arg(Knob->Tag())
                    .arg(Knob->Position())
                    .arg(Knob->Tag3() + 1));
}

void TForm1::MinnClick(QObject *Sender) {
  const int value = Sender == maxx ? 127 : 0;
  for (tknob *dial : kelvanepanel->findChildren<tknob *>()) {
    if (dial->Tag() == 0) continue;
    const uint16_t before = dial->Position();
    dial->SetPosition(value);
    // Sent as a drag move sends; the knob takes no drag step of its own here. The first send
    // that fails ends the run with its error, and that knob goes back to where it was: every
    // knob shows what the synth last received.
    try {
      knob1MouseMove(dial, ssLeft, 0, 0);
    } catch (...) {
      dial->SetPosition(before);
      throw;
    }
  }
}

void TForm1::Panic1Click(QObject *) {
  engine->Panic();
}

// Whoever calls the engine's Panic: the SysEx file or dump request going out, whether a message
// is in flight or it rests in a pause, and a glide stop here, before the All Sound Off, so that
// nothing of them follows it.
void TForm1::enginePanic(QObject *) {
  const bool transferCancelled = librarian_->StopTransfer() || MidiOutput1->SysExPending() > 0;
  EndMorph();
  if (transferCancelled) SetStatusText(QStringLiteral("Panic!: the SysEx transfer was cancelled"));
}
