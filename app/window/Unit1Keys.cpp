// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Computer-keyboard control: key preview, knob keys, note keys, the keyboard page's knobs.
//
// Every function here runs on the GUI thread, inside the handler guard.

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QWindow>
#include <algorithm>

#include "DragTweak.h"
#include "MIDIappUtil.h"
#include "MidiOut.h"
#include "RadioGroup.h"
#include "Unit1.h"
#include "VirtualKeys.h"
#include "knob.h"

namespace {

// The knob keys: the character at index i of the first string raises knob i + 1, the one of the
// second string lowers it. Compared exactly: "Q" is no knob key.
constexpr QStringView kKnobUpKeys = u"1234567890-=asdfghjkl;";
constexpr QStringView kKnobDownKeys = u"qwertyuiop[]zxcvbnm,./";

// The play-mode keys: NumPad0..NumPad9 and the keypad's multiply key choose "Note" ..
// "Minor9th" and "Interval", by their distance from NumPad0.
constexpr uint16_t kNumPad0 = 0x60;
constexpr uint16_t kMultiply = 0x6A;

constexpr int kIntervalItem = 10;  // "Interval" in the playmode box
constexpr int kLongStatusText = 80;

// Status bases of the keyboard page's knobs.
constexpr uint8_t kPolyAftertouch = 0xA0;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kChannelAftertouch = 0xD0;
constexpr uint8_t kPitchBend = 0xE0;
constexpr uint8_t kModulationWheel = 1;

constexpr int kPitchBendRest = 64;
constexpr int kPitchBendTop = 16383;

bool HoldsAButton(TShiftState shift) {
  return shift & (ssLeft | ssRight | ssMiddle);
}

uint8_t DataByteOf(int value) {
  return static_cast<uint8_t>(std::clamp(value, 0, 127));
}

// The 14-bit bend of a knob position 0..127: position x 128, so that 64 is the exact centre
// 8192 and 0 the bottom; the top position sends the top value.
int PitchBendOf(int position) {
  return position >= 127 ? kPitchBendTop : std::max(position, 0) * 128;
}

}  // namespace

bool TForm1::PreviewKey(QObject *watched, QKeyEvent *event) {
  if (watched == Edit1 && event->type() == QEvent::KeyPress && !event->text().isEmpty()) {
    QChar key = event->text().front();
    Guard([&] { Edit1KeyPress(Edit1, key); });
    return false;
  }
  // Every key event reaches the window's own QWindow first, once, before the focused control.
  // Keys taken by a menu shortcut never arrive here as key presses.
  if (watched != windowHandle()) return false;
  TShiftState shift = ShiftStateFrom(event->modifiers(), Qt::NoButton);
  uint16_t key = VirtualKeyOf(*event);
  if (event->type() == QEvent::KeyPress) {
    Guard([&] { FormKeyDown(this, key, shift); });
    QChar character = UsCharacterOf(*event);
    if (!character.isNull()) Guard([&] { FormKeyPress(this, character); });
  } else if (!event->isAutoRepeat()) {
    // A held key may come as release-press pairs (X11 without detectable auto-repeat); only the
    // real release is a key-up.
    Guard([&] { FormKeyUp(this, key, shift); });
  }
  return false;
}

TForm1::TKeyMode TForm1::KeyMode() const {
  const QWidget *page = PageControl1->currentWidget();
  const bool notesChosen = comkeymode->ItemIndex() == 1;
  if (page == TabSheet2) return TKeyMode::Notes;
  if (notesChosen) return TKeyMode::Notes;
  return page == TabSheet1 ? TKeyMode::Knobs : TKeyMode::None;
}

void TForm1::PushKeyboardState() {
  const int p = playmode->Position();
  int mode = pmNote;
  if (p >= 0 && p < kIntervalItem)
    mode = p;
  else if (p == kIntervalItem)
    mode = pm2nd + std::clamp(interval->Position(), 0, pm8th - pm2nd);
  engine->SetPlaymode(static_cast<TPlayMode>(mode));
  engine->SetChannel(channel->currentIndex());
}

void TForm1::ReleaseHeldKeys() {
  // Once the window is shut down its ports are closed: there is nothing left to release on.
  if (destroyed_) return;
  Guard([this] { engine->ReleaseAllKeys(); });
}

void TForm1::ReleaseHeldKeysOutsideNoteMode() {
  if (KeyMode() != TKeyMode::Notes) ReleaseHeldKeys();
}

void TForm1::BindKeyboardEvents() {
  // The mode radio group has no handler of its own; leaving note mode through it must still
  // release what the keyboard holds, as a page change does.
  comkeymode->OnClick = [this](QObject *) { ReleaseHeldKeysOutsideNoteMode(); };
}

void TForm1::FormKeyDown(QObject *Sender, uint16_t &Key, TShiftState Shift) {
  if (KeyMode() != TKeyMode::Notes) return;
  PushKeyboardState();
  engine->KeyDown(Sender, Key, Shift);
}

void TForm1::FormKeyPress(QObject *, QChar &Key) {
  if (KeyMode() != TKeyMode::Knobs) return;
  if (const qsizetype up = kKnobUpKeys.indexOf(Key); up >= 0)
    TweakKnob(BankKnob(static_cast<int>(up) + 1), false);
  else if (const qsizetype down = kKnobDownKeys.indexOf(Key); down >= 0)
    TweakKnob(BankKnob(static_cast<int>(down) + 1), true);
}

void TForm1::FormKeyUp(QObject *Sender, uint16_t &Key, TShiftState Shift) {
  if (Key >= kNumPad0 && Key <= kMultiply) playmode->SetPosition(Key - kNumPad0);
  if (KeyMode() != TKeyMode::Notes) return;
  PushKeyboardState();
  engine->KeyUp(Sender, Key, Shift);
  const QString text = StatusText();
  SetStatusText(text.size() >= kLongStatusText ? engine->Note() : text + " " + engine->Note());
}

void TForm1::velMouseUp(QObject *, TMouseButton, TShiftState, int, int) {
  engine->SetVelocity(vel->Position());
}

void TForm1::velrndMouseUp(QObject *, TMouseButton, TShiftState, int, int) {
  engine->SetVelRnd(velrnd->Position());
}

void TForm1::SendKeyboardKnob(TShiftState Shift, uint8_t base, uint8_t data1, uint8_t data2) {
  // A pointer that merely passes over a knob while no output is open asks for nothing: an error
  // box per movement would take the pointer away at every pass. Drags and releases still report.
  if (!HoldsAButton(Shift) && !MidiOutput1->IsOpen()) return;
  engine->SendShort(static_cast<uint8_t>(base + MidiChannelOf(channel->currentIndex())), data1,
                    data2);
}

void TForm1::tknob1MouseMove(QObject *, TShiftState Shift, int, int) {
  const int bend = PitchBendOf(tknobs[0]->Position());
  SendKeyboardKnob(Shift, kPitchBend, static_cast<uint8_t>(bend & 0x7F),
                   static_cast<uint8_t>(bend >> 7));
}

void TForm1::tknob2MouseMove(QObject *, TShiftState Shift, int, int) {
  SendKeyboardKnob(Shift, kProgramChange, DataByteOf(tknobs[1]->Position()), 0);
}

void TForm1::tknob3MouseMove(QObject *, TShiftState Shift, int, int) {
  SendKeyboardKnob(Shift, kControlChange, kModulationWheel, DataByteOf(tknobs[2]->Position()));
}

void TForm1::tknob4MouseMove(QObject *, TShiftState Shift, int, int) {
  SendKeyboardKnob(Shift, kPolyAftertouch, DataByteOf(tknobs[3]->Position()), 0);
}

void TForm1::tknob5MouseMove(QObject *, TShiftState Shift, int, int) {
  SendKeyboardKnob(Shift, kChannelAftertouch, DataByteOf(tknobs[4]->Position()), 0);
}

// The release handlers put their knob back to rest first, so that it rests even when the send
// fails, and always send: a release is the user's own act.
void TForm1::tknob1MouseUp(QObject *, TMouseButton, TShiftState, int, int) {
  tknobs[0]->SetPosition(kPitchBendRest);
  const int centre = PitchBendOf(kPitchBendRest);
  SendKeyboardKnob(ssLeft, kPitchBend, static_cast<uint8_t>(centre & 0x7F),
                   static_cast<uint8_t>(centre >> 7));
}

void TForm1::tknob3MouseUp(QObject *, TMouseButton, TShiftState, int, int) {
  tknobs[2]->SetPosition(0);
  SendKeyboardKnob(ssLeft, kControlChange, kModulationWheel, 0);
}

void TForm1::tknob4MouseUp(QObject *, TMouseButton, TShiftState, int, int) {
  tknobs[3]->SetPosition(0);
  SendKeyboardKnob(ssLeft, kPolyAftertouch, 0, 0);
}

void TForm1::tknob5MouseUp(QObject *, TMouseButton, TShiftState, int, int) {
  tknobs[4]->SetPosition(0);
  SendKeyboardKnob(ssLeft, kChannelAftertouch, 0, 0);
}
