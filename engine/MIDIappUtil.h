// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>

#include "KeyMap.h"
#include "ShiftState.h"

class TMidiOutput;
class TMidiInput;

// The synthesizer the user works with; kept for the user's settings, nothing depends on it.
enum TSynth : uint8_t { tsJVXP, tsMC505 };

// The MIDI channel (0..15) of an index into the window's 33-entry channel lists: the index
// modulo 16, a negative index giving 0. Every status byte is formed with it, so a channel index
// can never spill into the message-type nibble.
uint8_t MidiChannelOf(int channelIndex);

// The performance engine: every musical action of the window reaches the output port through
// it. It plays the computer keyboard as a 33-key instrument (notes, chords, intervals, the pedal,
// octave and semitone shift), sends single messages and SysEx blocks, silences all channels and
// fills the device lists. It owns no port; OUTPUT and INPUT must be set before use.
//
// Every operation runs on the GUI thread. Errors raised by the ports pass through unchanged;
// whatever was sent before the error stays sent and stays remembered, so held keys and the pedal
// always release exactly what they sounded.
class TMIDIappUtil : public QObject {
  Q_OBJECT

 public:
  explicit TMIDIappUtil(QObject *owner = nullptr);

  // Published properties: every write is a plain store.
  QString Note() const { return Note_; }
  int Channel() const { return Channel_; }
  void SetChannel(int channel) { Channel_ = channel; }
  int Octave() const { return Octave_; }
  void SetOctave(int octave) { Octave_ = octave; }
  int Velocity() const { return Velocity_; }
  void SetVelocity(int velocity) { Velocity_ = velocity; }
  int VelRnd() const { return VelRnd_; }
  void SetVelRnd(int spread) { VelRnd_ = spread; }
  TPlayMode Playmode() const { return Playmode_; }
  void SetPlaymode(TPlayMode mode) { Playmode_ = mode; }
  TMidiOutput *OUTPUT() const { return OUTPUT_; }
  void SetOUTPUT(TMidiOutput *output) { OUTPUT_ = output; }
  TMidiInput *INPUT() const { return INPUT_; }
  void SetINPUT(TMidiInput *input) { INPUT_ = input; }
  bool Pause() const { return Pause_; }
  void SetPause(bool pause) { Pause_ = pause; }
  QString Wavelist() const { return Wavelist_; }
  void SetWavelist(const QString &wavelist) { Wavelist_ = wavelist; }
  TSynth Synth() const { return Synth_; }
  void SetSynth(TSynth synth) { Synth_ = synth; }

  // Not published: the transposition in semitones, -12..+12, changed by F7 and F8.
  int Semitone() const { return Semitone_; }
  // Whether key index k (0..32) or the pedal is held down in the engine's view.
  bool Held(int k) const { return k >= 0 && k < KeyIndexCount && keys_[k].held; }
  bool PedalHeld() const { return pedal_.held; }

  // The folder of the running program, without a trailing separator unless it is a root.
  static QString ProgramFolder();
  // The same rule for any program path ('/', '\\' and ':' all separate).
  static QString FolderOfProgram(const QString &programPath);

  // Clears `list`, then names every device of the port in device-number order. Leaves the port's
  // DeviceID at the last device. A port error (the port is open, a device vanished) ends the
  // loop with the list filled so far.
  void ListOutputs(QStringList &list);
  void ListInputs(QStringList &list);

  // One short message on OUTPUT. Data bytes above 127 are clamped to 127 and a first byte that is
  // not a status byte (below 0x80) is dropped, so no malformed message ever leaves.
  void SendShort(uint8_t status, uint8_t data1, uint8_t data2);
  // One SysEx block on OUTPUT, as given; with Pause, then waits 55 ms.
  void SendSysex(const QByteArray &data);
  // Fires OnPanic, ends a SysEx block in flight (F7) and drops the rest of every block, then All
  // Sound Off (Control Change 120, value 0) on channels 1 to 16 in order. Held keys stay held and
  // still release their notes.
  void Panic();
  // The velocity of one note-on: Velocity moved up or down by a random offset below VelRnd,
  // kept within 1..127 when moved down, 0..127 otherwise.
  int RandomVelocity();
  // Kind 1: a Yes/No warning, true on Yes. Other kinds: an information box, true on OK.
  bool Ask(const QString &text, int kind);
  // The first min(length, 200) bytes as a byte string, zero bytes included.
  static QByteArray SysexText(const uint8_t *bytes, size_t length);

  // The window's key events, passed on unchanged (virtual-key codes).
  void KeyDown(QObject *Sender, uint16_t Key, TShiftState Shift);
  void KeyUp(QObject *Sender, uint16_t Key, TShiftState Shift);
  // Sounds key index k in the current play mode, remembers what it sent and sets Note.
  void PlayKey(int k);
  // Sends the note-offs of exactly what key index k last sounded, on the channel it used.
  void ReleaseKey(int k);
  int OctaveUp();
  int OctaveDown();
  void ShiftSemitone(bool up);
  static QString NoteName(int m);
  // Every held key's note-offs and a held pedal's release; called when the window loses the
  // keyboard, so that no key stays down in the engine after its key-up went elsewhere.
  void ReleaseAllKeys();

  // Fired by Panic before anything is cancelled or sent: whatever sends on its own time (a SysEx
  // transfer, a dump request, a glide) stops here, so nothing of it follows the All Sound Off.
  // Must not send.
  std::function<void(QObject *Sender)> OnPanic;

 private:
  // What one key index sounded on its key-down: released note for note on its key-up.
  struct HeldKey {
    bool held = false;
    uint8_t channel = 0;
    uint8_t noteCount = 0;
    std::array<uint8_t, MaxChordNotes> notes{};
  };
  struct HeldPedal {
    bool held = false;
    bool sent = false;  // its Control Change went out, so a release is owed
    uint8_t channel = 0;
  };

  void PedalDown();
  void PedalUp();
  // The base note of key index k as it stands now, wide enough for any Octave.
  long long BaseNoteOf(int k) const;

  TMidiOutput *OUTPUT_ = nullptr;
  TMidiInput *INPUT_ = nullptr;
  TPlayMode Playmode_ = pmNote;
  QString Note_;
  std::array<HeldKey, KeyIndexCount> keys_{};
  HeldPedal pedal_{};
  bool Pause_ = false;
  int Octave_ = 3;
  int Velocity_ = 97;
  int Channel_ = 0;
  int Semitone_ = 0;
  int VelRnd_ = 10;
  QString Wavelist_;
  TSynth Synth_ = tsJVXP;
};
