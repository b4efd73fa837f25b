// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiText.h"

#include <QStringList>
#include <array>

namespace {

struct NamedNumber {
  int number;
  const char *name;
};

constexpr NamedNumber kControllers[] = {
    {0, "Bank Select"},
    {1, "Modulation"},
    {2, "Breath"},
    {4, "Foot"},
    {5, "Portamento Time"},
    {6, "Data Entry"},
    {7, "Volume"},
    {8, "Balance"},
    {10, "Pan"},
    {11, "Expression"},
    {12, "Effect 1"},
    {13, "Effect 2"},
    {16, "General 1"},
    {17, "General 2"},
    {18, "General 3"},
    {19, "General 4"},
    {64, "Sustain"},
    {65, "Portamento"},
    {66, "Sostenuto"},
    {67, "Soft Pedal"},
    {68, "Legato"},
    {69, "Hold 2"},
    {70, "Variation"},
    {71, "Resonance"},
    {72, "Release Time"},
    {73, "Attack Time"},
    {74, "Brightness"},
    {75, "Decay Time"},
    {76, "Vibrato Rate"},
    {77, "Vibrato Depth"},
    {78, "Vibrato Delay"},
    {80, "General 5"},
    {81, "General 6"},
    {82, "General 7"},
    {83, "General 8"},
    {84, "Portamento Control"},
    {91, "Reverb"},
    {92, "Tremolo"},
    {93, "Chorus"},
    {94, "Detune"},
    {95, "Phaser"},
    {96, "Data Increment"},
    {97, "Data Decrement"},
    {98, "NRPN LSB"},
    {99, "NRPN MSB"},
    {100, "RPN LSB"},
    {101, "RPN MSB"},
    {120, "All Sound Off"},
    {121, "Reset All"},
    {122, "Local Control"},
    {123, "All Notes Off"},
    {124, "Omni Off"},
    {125, "Omni On"},
    {126, "Mono On"},
    {127, "Poly On"},
};

// One-byte manufacturer IDs, and three-byte IDs (0, a, b) as 0x10000 + a * 128 + b.
constexpr NamedNumber kManufacturers[] = {
    {0x01, "Sequential"},
    {0x04, "Moog"},
    {0x06, "Lexicon"},
    {0x07, "Kurzweil"},
    {0x0F, "Ensoniq"},
    {0x10, "Oberheim"},
    {0x18, "E-mu"},
    {0x3E, "Waldorf"},
    {0x40, "Kawai"},
    {0x41, "Roland"},
    {0x42, "Korg"},
    {0x43, "Yamaha"},
    {0x44, "Casio"},
    {0x47, "Akai"},
    {0x7D, "non-commercial"},
    {0x7E, "Universal"},
    {0x7F, "Universal real-time"},
    {0x10000 + 0x00 * 128 + 0x0E, "Alesis"},
    {0x10000 + 0x20 * 128 + 0x29, "Novation"},
    {0x10000 + 0x20 * 128 + 0x32, "Behringer"},
    {0x10000 + 0x20 * 128 + 0x33, "Access"},
    {0x10000 + 0x20 * 128 + 0x3C, "Elektron"},
    {0x10000 + 0x20 * 128 + 0x6B, "Arturia"},
};

template <size_t N>
const char *Find(const NamedNumber (&table)[N], int number) {
  for (const NamedNumber &entry : table)
    if (entry.number == number) return entry.name;
  return nullptr;
}

QString Hex(int byte) {
  return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

// Data bytes are shown as numbers; a byte of 128 or more in a data position is shown in hex,
// so a damaged message reads as what it is.
QString DataText(const uint8_t *bytes, size_t length) {
  QStringList parts;
  for (size_t i = 1; i < length; ++i)
    parts << (bytes[i] < 0x80 ? QString::number(bytes[i]) : Hex(bytes[i]));
  return parts.join(' ');
}

MessageColumns DescribeSysex(const uint8_t *bytes, size_t length) {
  if (bytes[0] != 0xF0)
    return {QString(), QStringLiteral("SysEx"), QStringLiteral("%1 bytes").arg(length),
            QStringLiteral("(continued)")};
  const QString maker = ManufacturerName(bytes + 1, length - 1);
  return {QString(), QStringLiteral("SysEx"), QStringLiteral("%1, %2 bytes").arg(maker).arg(length),
          QString()};
}

MessageColumns DescribeSystem(const uint8_t *bytes, size_t length) {
  static const std::array<const char *, 16> kNames = {
      "SysEx",       "TimeCode",   "SongPosition",  "SongSelect", "System F4", "System F5",
      "TuneRequest", "EndOfSysEx", "Clock",         "System F9",  "Start",     "Continue",
      "Stop",        "System FD",  "ActiveSensing", "Reset"};
  return {QString(), QString::fromLatin1(kNames[bytes[0] & 0x0F]), DataText(bytes, length),
          QString()};
}

}  // namespace

QString ControllerName(int number) {
  const char *name = Find(kControllers, number);
  if (name) return QString::fromLatin1(name);
  if (number >= 32 && number < 64)
    if (const char *msb = Find(kControllers, number - 32))
      return QString::fromLatin1(msb) + QStringLiteral(" LSB");
  return {};
}

QString ManufacturerName(const uint8_t *body, size_t length) {
  if (length == 0 || body[0] >= 0x80) return QStringLiteral("no ID");
  if (body[0] != 0) {
    const char *name = Find(kManufacturers, body[0]);
    return name ? QString::fromLatin1(name) : QStringLiteral("ID ") + Hex(body[0]);
  }
  if (length < 3 || body[1] >= 0x80 || body[2] >= 0x80) return QStringLiteral("no ID");
  const char *name = Find(kManufacturers, 0x10000 + body[1] * 128 + body[2]);
  return name ? QString::fromLatin1(name)
              : QStringLiteral("ID 00 %1 %2").arg(Hex(body[1]), Hex(body[2]));
}

QString NoteName(int note) {
  static const std::array<const char *, 12> kNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                      "F#", "G",  "G#", "A",  "A#", "B"};
  return QString::fromLatin1(kNames[note % 12]) + QString::number(note / 12 - 1);
}

MessageColumns DescribeMessage(const uint8_t *bytes, size_t length) {
  if (length == 0) return {};
  const uint8_t status = bytes[0];
  if (status == 0xF0 || status == 0xF7 || status < 0x80) return DescribeSysex(bytes, length);
  if (status >= 0xF0) return DescribeSystem(bytes, length);
  MessageColumns columns;
  columns.channel = QString::number((status & 0x0F) + 1);
  columns.data = DataText(bytes, length);
  const int data1 = length > 1 ? bytes[1] & 0x7F : 0;
  switch (status & 0xF0) {
    case 0x80:
      columns.type = QStringLiteral("NoteOff");
      columns.name = NoteName(data1);
      break;
    case 0x90:
      columns.type = QStringLiteral("NoteOn");
      columns.name = NoteName(data1);
      break;
    case 0xA0:
      columns.type = QStringLiteral("PolyAftertouch");
      columns.name = NoteName(data1);
      break;
    case 0xB0:
      columns.type = QStringLiteral("ControlChange");
      columns.name = ControllerName(data1);
      break;
    case 0xC0:
      columns.type = QStringLiteral("ProgramChange");
      break;
    case 0xD0:
      columns.type = QStringLiteral("ChannelAfterTouch");
      break;
    default: {
      columns.type = QStringLiteral("PitchBend");
      const int data2 = length > 2 ? bytes[2] & 0x7F : 0;
      columns.name = QString::number(data1 + data2 * 128 - 8192);
      break;
    }
  }
  return columns;
}
