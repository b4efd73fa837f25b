// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QWidget>
#include <algorithm>
#include <cstdint>

// Small conversions the window's handlers share.

// The four message-type status bases a bank knob's Tag1 may hold.
inline bool IsStatusBase(int tag1) {
  return tag1 == 160 || tag1 == 176 || tag1 == 192 || tag1 == 208;
}

// Colours are stored as RGB integers with red in the low byte.
inline int RgbOfColour(const QColor &colour) {
  return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}
inline QColor ColourOfRgb(int rgb) {
  return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

// Store values are 32-bit; the knobs' fields are 16-bit. Out-of-range numbers stay in range.
inline uint16_t ToWord(int value) {
  return static_cast<uint16_t>(std::clamp(value, 0, 0xFFFF));
}

// A snapshot or scheme button marks a recorded entry with a caption in bold and nothing else.
inline bool IsExactlyBold(const QWidget *button) {
  const QFont &f = button->font();
  return f.bold() && !f.italic() && !f.underline() && !f.strikeOut();
}
inline void SetMarker(QWidget *button, bool recorded) {
  QFont f = button->font();
  f.setBold(recorded);
  button->setFont(f);
}
