// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// What a .syx file holds, read without changing a byte: its messages, the bytes that belong to
// none, and the data-set messages whose checksum is wrong. The librarian checks a file with it
// before sending and a dump after saving.

// One run of a file's bytes. A message runs from F0 to its F7; one cut off by another status
// byte or by the end of the file is a message without F7; bytes outside any message form stray
// runs. The runs of a file cover every byte once, in order.
struct SysExRun {
  qsizetype offset = 0;
  qsizetype length = 0;
  enum Kind { Message, Unterminated, Stray } kind = Message;
};
std::vector<SysExRun> SplitSysEx(const QByteArray &bytes);

// For a Roland data-set message (F0 41 device model... 12 address data sum F7, the form the
// tsJVXP and tsMC505 synthesizers use): the checksum it should carry when the one it carries is
// wrong, else nothing. The sum of the address and data bytes plus the checksum is a multiple of
// 128. Every other message has no checksum to check.
std::optional<uint8_t> WrongDataSetChecksum(const QByteArray &message);

struct SysExCheck {
  int messages = 0;      // messages with F0 and F7
  int unterminated = 0;  // messages without F7
  int strayRuns = 0;     // runs of bytes outside any message
  int badChecksums = 0;
  qint64 bytes = 0;
  QStringList faults;  // the first few faults, each located in the file

  bool Clean() const { return unterminated == 0 && strayRuns == 0 && badChecksums == 0; }
  // "20 messages, 5120 bytes" and, when there are faults, what they are.
  QString Summary() const;
};
SysExCheck CheckSysEx(const QByteArray &bytes);

// Hex bytes as typed by a user ("F0 41 10 ...", "f04110", "F0,41"): the bytes, or nothing when
// the text holds anything else or an odd number of digits.
std::optional<QByteArray> ParseHexBytes(const QString &text);
