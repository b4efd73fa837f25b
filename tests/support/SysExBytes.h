// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// One SysEx message of `length` bytes (F0, data, F7) whose data bytes depend on `seed`, so that
// messages told apart by their seed can be checked for order and for every byte.
inline QByteArray SysExOfLength(int length, int seed) {
  QByteArray bytes(length, 0);
  bytes[0] = char(0xF0);
  for (int i = 1; i < length - 1; ++i) bytes[i] = char((i * 31 + seed) % 128);
  bytes[length - 1] = char(0xF7);
  return bytes;
}
