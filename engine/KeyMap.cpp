// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyMap.h"

#include <array>

namespace {

struct KeyBinding {
  uint16_t key;
  int index;
};

// Two rows of a US keyboard: Z .. slash from index 0, Q .. backslash from index 12 (comma and Q,
// L and 2, period and W, semicolon and 3, slash and E share an index).
constexpr KeyBinding keyBindings[] = {
    {0x5A, 0},  {0x53, 1},  {0x58, 2},  {0x44, 3},  {0x43, 4},  {0x56, 5},  {0x47, 6},  {0x42, 7},
    {0x48, 8},  {0x4E, 9},  {0x4A, 10}, {0x4D, 11}, {0xBC, 12}, {0x4C, 13}, {0xBE, 14}, {0xBA, 15},
    {0xBF, 16}, {0x51, 12}, {0x32, 13}, {0x57, 14}, {0x33, 15}, {0x45, 16}, {0x52, 17}, {0x35, 18},
    {0x54, 19}, {0x36, 20}, {0x59, 21}, {0x37, 22}, {0x55, 23}, {0x49, 24}, {0x39, 25}, {0x4F, 26},
    {0x30, 27}, {0x50, 28}, {0xDB, 29}, {0xBB, 30}, {0xDD, 31}, {0xDC, 32},
};

constexpr std::array<int, 256> MakeKeyIndexTable() {
  std::array<int, 256> table{};
  for (int &entry : table) entry = -1;
  for (const KeyBinding &binding : keyBindings) table[binding.key] = binding.index;
  return table;
}

constexpr std::array<int, 256> keyIndexTable = MakeKeyIndexTable();

// Each chord sounds what its name says: the minor seventh chords and the dominant seventh end on
// the minor seventh (10), the diminished seventh on the diminished seventh (9).
constexpr int noteIntervals[] = {0};
constexpr int majorIntervals[] = {0, 4, 7, 12};
constexpr int minorIntervals[] = {0, 3, 7, 12};
constexpr int major7thIntervals[] = {0, 4, 7, 11};
constexpr int minor7thIntervals[] = {0, 3, 7, 10};
constexpr int minor7th5Intervals[] = {0, 3, 6, 10};
constexpr int diminishedIntervals[] = {0, 3, 6, 9};
constexpr int dominant7thIntervals[] = {0, 4, 7, 10};
constexpr int major9thIntervals[] = {0, 4, 7, 11, 14};
constexpr int minor9thIntervals[] = {0, 3, 7, 10, 14};
constexpr int second[] = {0, 2};
constexpr int third[] = {0, 4};
constexpr int fourth[] = {0, 5};
constexpr int fifth[] = {0, 7};
constexpr int sixth[] = {0, 9};
constexpr int seventh[] = {0, 11};
constexpr int octave[] = {0, 12};

constexpr std::span<const int> intervalsByMode[] = {
    noteIntervals,
    majorIntervals,
    minorIntervals,
    major7thIntervals,
    minor7thIntervals,
    minor7th5Intervals,
    diminishedIntervals,
    dominant7thIntervals,
    major9thIntervals,
    minor9thIntervals,
    second,
    third,
    fourth,
    fifth,
    sixth,
    seventh,
    octave,
};
static_assert(std::size(intervalsByMode) == pm8th + 1);

const char *IntervalSuffix(TPlayMode mode) {
  switch (mode) {
    case pm2nd:
      return "2nd";
    case pm3rd:
      return "3rd";
    case pm4th:
      return "4th";
    case pm5th:
      return "5th";
    case pm6th:
      return "6th";
    case pm7th:
      return "7th";
    default:
      return nullptr;
  }
}

QString JoinedNames(std::span<const int> notes) {
  QString text;
  for (int note : notes) text += MidiNoteName(note);
  return text;
}

}  // namespace

int KeyIndexOf(uint16_t key) {
  return key < keyIndexTable.size() ? keyIndexTable[key] : -1;
}

std::span<const int> PlayModeIntervals(TPlayMode mode) {
  if (mode > pm8th) return {};
  return intervalsByMode[mode];
}

QString MidiNoteName(int note) {
  static const char *const letters[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
  // Floor division, so that a note below 0 still gets its letter and a lower octave number.
  const int octave = (note >= 0 ? note / 12 : (note - 11) / 12);
  const int letter = note - octave * 12;
  return QString::fromLatin1(letters[letter]) + QString::number(octave - 1) + u' ';
}

QString PlayedNoteText(TPlayMode mode, int baseNote, std::span<const int> sounded, int velocity) {
  if (sounded.empty()) return {};
  const bool everyNoteSounded = sounded.size() == PlayModeIntervals(mode).size();
  if (mode == pmNote) return MidiNoteName(baseNote) + " (v" + QString::number(velocity) + ")";
  if (const char *suffix = IntervalSuffix(mode); suffix && everyNoteSounded)
    return MidiNoteName(baseNote) + QString::fromLatin1(suffix);
  return JoinedNames(sounded);
}
