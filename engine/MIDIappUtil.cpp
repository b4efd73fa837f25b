// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MIDIappUtil.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

#include "Dialogs.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "RandomDraw.h"

namespace {

constexpr uint8_t NoteOff = 0x80;
constexpr uint8_t NoteOn = 0x90;
constexpr uint8_t ControlChange = 0xB0;
constexpr uint8_t SustainPedal = 64;
constexpr uint8_t PedalDownValue = 64;  // half of the range, as the instrument always sent it
constexpr uint8_t AllSoundOff = 120;
constexpr int MaxOctave = 10;
constexpr int MaxSemitoneShift = 12;
constexpr size_t MaxSysexTextLength = 200;
constexpr unsigned long SysexPauseMs = 55;

constexpr uint8_t DataByte(int value) {
  return static_cast<uint8_t>(std::clamp(value, 0, 127));
}

bool IsMidiNote(long long note) {
  return note >= 0 && note <= 127;
}

}  // namespace

uint8_t MidiChannelOf(int channelIndex) {
  return channelIndex < 0 ? 0 : static_cast<uint8_t>(channelIndex % 16);
}

TMIDIappUtil::TMIDIappUtil(QObject *owner) : QObject(owner) {}

QString TMIDIappUtil::ProgramFolder() {
  return FolderOfProgram(QCoreApplication::applicationFilePath());
}

QString TMIDIappUtil::FolderOfProgram(const QString &programPath) {
  auto isSeparator = [](QChar c) { return c == u'/' || c == u'\\' || c == u':'; };
  qsizetype cut = programPath.size();
  while (cut > 0 && !isSeparator(programPath[cut - 1])) --cut;
  QString folder = programPath.left(cut);
  // A root ("/", "C:\", "C:") keeps its separator; any other folder loses it.
  const bool endsInSlash = folder.endsWith(u'/') || folder.endsWith(u'\\');
  if (endsInSlash && folder.size() >= 2 && !isSeparator(folder[folder.size() - 2])) folder.chop(1);
  return folder;
}

// The lists are read afresh, whether the ports are open or not.
void TMIDIappUtil::ListOutputs(QStringList &list) {
  list = OUTPUT_->DeviceNames();
}

void TMIDIappUtil::ListInputs(QStringList &list) {
  list = INPUT_->DeviceNames();
}

void TMIDIappUtil::SendShort(uint8_t status, uint8_t data1, uint8_t data2) {
  // A data byte in the status position would be read as running status; SysEx framing bytes
  // would open or close a SysEx message the receiver never asked for.
  if (status < 0x80 || status == 0xF0 || status == 0xF7) return;
  OUTPUT_->WriteShortMessage(status, DataByte(data1), DataByte(data2));
}

void TMIDIappUtil::SendSysex(const QByteArray &data) {
  OUTPUT_->WriteSysEx(reinterpret_cast<const uint8_t *>(data.constData()),
                      static_cast<size_t>(data.size()));
  if (Pause_) QThread::msleep(SysexPauseMs);
}

void TMIDIappUtil::Panic() {
  // Those who pace their own sending stop first, so that none of them writes again after the
  // All Sound Off; then whatever SysEx the port still holds goes, so that the All Sound Off
  // messages leave within one cycle rather than behind the rest of a dump.
  if (OnPanic) OnPanic(this);
  OUTPUT_->CancelSysEx();
  for (int channel = 0; channel < 16; ++channel)
    SendShort(static_cast<uint8_t>(ControlChange + channel), AllSoundOff, 0);
}

int TMIDIappUtil::RandomVelocity() {
  // A negative spread draws like 0, so the velocity is then exactly Velocity.
  const uint32_t spread = static_cast<uint32_t>(std::max(VelRnd_, 0));
  const uint32_t direction = RandomDraw(spread);
  const int offset = static_cast<int>(RandomDraw(spread));
  // Widened, so that no Velocity the window can store overflows here.
  if (direction % 2 == 0)
    return static_cast<int>(std::clamp(static_cast<long long>(Velocity_) + offset, 0LL, 127LL));
  return static_cast<int>(std::clamp(static_cast<long long>(Velocity_) - offset, 1LL, 127LL));
}

bool TMIDIappUtil::Ask(const QString &text, int kind) {
  if (kind == 1) return Dialogs::Current().Confirm(text);
  return Dialogs::Current().Inform(text);
}

QByteArray TMIDIappUtil::SysexText(const uint8_t *bytes, size_t length) {
  if (bytes == nullptr) return {};
  const size_t n = std::min(length, MaxSysexTextLength);
  return QByteArray(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(n));
}

void TMIDIappUtil::KeyDown(QObject *, uint16_t Key, TShiftState Shift) {
  // Alt or Ctrl alone belong to menu shortcuts and window commands, not to the instrument.
  if (Shift == TShiftState(ssAlt) || Shift == TShiftState(ssCtrl)) return;
  if (const int k = KeyIndexOf(Key); k >= 0) {
    if (keys_[k].held) return;  // the platform's auto-repeat of a held key
    keys_[k].held = true;
    PlayKey(k);
    return;
  }
  switch (Key) {
    case vk::Space:
      PedalDown();
      break;
    case vk::F3:
      OctaveDown();
      break;
    case vk::F4:
      OctaveUp();
      break;
    case vk::F7:
      ShiftSemitone(false);
      break;
    case vk::F8:
      ShiftSemitone(true);
      break;
    default:
      break;
  }
}

void TMIDIappUtil::KeyUp(QObject *, uint16_t Key, TShiftState) {
  if (const int k = KeyIndexOf(Key); k >= 0) {
    if (!keys_[k].held) return;
    keys_[k].held = false;
    ReleaseKey(k);
  } else if (Key == vk::Space) {
    PedalUp();
  }
}

long long TMIDIappUtil::BaseNoteOf(int k) const {
  return k + 12LL * Octave_ + Semitone_;
}

void TMIDIappUtil::PlayKey(int k) {
  if (k < 0 || k >= KeyIndexCount) return;
  HeldKey &key = keys_[k];
  // Sounding an index again before its release first releases what it still holds.
  if (key.noteCount > 0) ReleaseKey(k);
  key.channel = MidiChannelOf(Channel_);
  key.noteCount = 0;
  const long long base = BaseNoteOf(k);
  std::array<int, MaxChordNotes> sounded{};
  int baseVelocity = 0;
  for (int interval : PlayModeIntervals(Playmode_)) {
    const long long note = base + interval;
    if (!IsMidiNote(note)) continue;  // beyond the MIDI range: this note is left out
    const int velocity = RandomVelocity();
    OUTPUT_->WriteShortMessage(static_cast<uint8_t>(NoteOn + key.channel),
                               static_cast<uint8_t>(note), DataByte(velocity));
    // Remembered only once it went out, so that a failure part-way releases just what sounded.
    key.notes[key.noteCount] = static_cast<uint8_t>(note);
    sounded[key.noteCount] = static_cast<int>(note);
    if (key.noteCount == 0 && interval == 0) baseVelocity = velocity;
    ++key.noteCount;
  }
  // The base note is named only when it sounded, so outside the MIDI range any value serves.
  Note_ = PlayedNoteText(Playmode_, IsMidiNote(base) ? static_cast<int>(base) : -1,
                         std::span<const int>(sounded.data(), key.noteCount), baseVelocity);
}

void TMIDIappUtil::ReleaseKey(int k) {
  if (k < 0 || k >= KeyIndexCount) return;
  // Forget the notes before sending, so that a port error cannot make them release twice.
  HeldKey &key = keys_[k];
  const HeldKey sent = key;
  key.noteCount = 0;
  for (int i = 0; i < sent.noteCount; ++i)
    OUTPUT_->WriteShortMessage(static_cast<uint8_t>(NoteOff + sent.channel), sent.notes[i], 0);
}

void TMIDIappUtil::PedalDown() {
  if (pedal_.held) return;
  pedal_.held = true;
  pedal_.channel = MidiChannelOf(Channel_);
  OUTPUT_->WriteShortMessage(static_cast<uint8_t>(ControlChange + pedal_.channel), SustainPedal,
                             PedalDownValue);
  pedal_.sent = true;
}

void TMIDIappUtil::PedalUp() {
  if (!pedal_.held) return;
  const bool owed = pedal_.sent;
  pedal_.held = false;
  pedal_.sent = false;
  if (owed)
    OUTPUT_->WriteShortMessage(static_cast<uint8_t>(ControlChange + pedal_.channel), SustainPedal,
                               0);
}

void TMIDIappUtil::ReleaseAllKeys() {
  for (int k = 0; k < KeyIndexCount; ++k) {
    if (!keys_[k].held) continue;
    keys_[k].held = false;
    ReleaseKey(k);
  }
  PedalUp();
}

int TMIDIappUtil::OctaveUp() {
  if (Octave_ < MaxOctave) ++Octave_;
  return Octave_;
}

int TMIDIappUtil::OctaveDown() {
  if (Octave_ > 0) --Octave_;
  return Octave_;
}

void TMIDIappUtil::ShiftSemitone(bool up) {
  if (up && Semitone_ < MaxSemitoneShift) ++Semitone_;
  if (!up && Semitone_ > -MaxSemitoneShift) --Semitone_;
}

QString TMIDIappUtil::NoteName(int m) {
  return MidiNoteName(m);
}
