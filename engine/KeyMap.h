// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <span>

// The computer-keyboard instrument's tables: which virtual key is which of the 33 note keys, and
// which intervals each play mode sounds above a key's base note.

// Play modes, in their fixed ordinal order: the window computes ordinals arithmetically.
enum TPlayMode : uint8_t {
  pmNote,
  pmMajor,
  pmMinor,
  pmMajor7th,
  pmMinor7th,
  pmMinor7th5,
  pmDiminished,
  pmDominant7th,
  pmMajor9th,
  pmMinor9th,
  pm2nd,
  pm3rd,
  pm4th,
  pm5th,
  pm6th,
  pm7th,
  pm8th,
};

// Virtual-key codes the instrument reacts to besides the note keys.
namespace vk {
constexpr uint16_t Space = 0x20;
constexpr uint16_t F3 = 0x72;
constexpr uint16_t F4 = 0x73;
constexpr uint16_t F7 = 0x76;
constexpr uint16_t F8 = 0x77;
}  // namespace vk

constexpr int KeyIndexCount = 33;  // key indices 0..32, C up to the G# two octaves above
constexpr int MaxChordNotes = 5;   // the largest play mode (the ninth chords)

// The key index (0..32) of a note key's virtual-key code, or -1 for any other code.
int KeyIndexOf(uint16_t key);

// The semitones above the base note that `mode` sounds, in the order they are sent; empty for a
// value outside the enumeration.
std::span<const int> PlayModeIntervals(TPlayMode mode);

// "C-1 " .. "G9 ": the sharp-spelled letter, the octave number (note 60 is C4) and one blank.
QString MidiNoteName(int note);

// The text naming what one key-down sounded: `sounded` holds the note numbers actually sent,
// in interval order, `baseNote` the key's base note and `velocity` the velocity of the base note
// (shown by pmNote only). Notes that were skipped are not named; nothing sounded gives "".
QString PlayedNoteText(TPlayMode mode, int baseNote, std::span<const int> sounded, int velocity);
