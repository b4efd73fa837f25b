// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysExCheck.h"

#include <cctype>

namespace {

constexpr uint8_t kSysExStart = 0xF0;
constexpr uint8_t kSysExEnd = 0xF7;
constexpr uint8_t kRoland = 0x41;
constexpr uint8_t kDataSet = 0x12;
constexpr qsizetype kAddressBytes = 4;
// A file full of faults is described by its first few; the counts tell the rest.
constexpr int kFaultsDescribed = 5;

uint8_t At(const QByteArray &bytes, qsizetype i) {
  return static_cast<uint8_t>(bytes[i]);
}

void Describe(SysExCheck &check, const QString &fault) {
  if (check.faults.size() < kFaultsDescribed) check.faults << fault;
}

QString HexByte(uint8_t value) {
  return QStringLiteral("%1").arg(value, 2, 16, QChar('0')).toUpper();
}

QString Where(int message, qsizetype offset) {
  return QStringLiteral("message %1 (at byte %2)").arg(message).arg(offset);
}

}  // namespace

std::vector<SysExRun> SplitSysEx(const QByteArray &bytes) {
  std::vector<SysExRun> runs;
  const qsizetype size = bytes.size();
  qsizetype i = 0;
  while (i < size) {
    SysExRun run{i, 0, SysExRun::Stray};
    if (At(bytes, i) == kSysExStart) {
      // Up to the F7, or up to the next status byte of any other kind: a message that never
      // ended must not swallow the next one.
      qsizetype end = i + 1;
      while (end < size && At(bytes, end) < 0x80) ++end;
      const bool ended = end < size && At(bytes, end) == kSysExEnd;
      run.kind = ended ? SysExRun::Message : SysExRun::Unterminated;
      run.length = (ended ? end + 1 : end) - i;
    } else {
      qsizetype end = i + 1;
      while (end < size && At(bytes, end) != kSysExStart) ++end;
      run.length = end - i;
    }
    runs.push_back(run);
    i += run.length;
  }
  return runs;
}

std::optional<uint8_t> WrongDataSetChecksum(const QByteArray &message) {
  const qsizetype size = message.size();
  if (size < 5 || At(message, 0) != kSysExStart || At(message, 1) != kRoland ||
      At(message, size - 1) != kSysExEnd)
    return std::nullopt;
  // After the device number comes the model number: leading zero bytes widen it ("6A" on the
  // one, "00 0B" on the other), its last byte is not zero; then the command.
  qsizetype i = 3;
  while (i < size && At(message, i) == 0) ++i;
  const qsizetype command = i + 1;
  const qsizetype checksum = size - 2;
  if (command >= checksum || At(message, command) != kDataSet) return std::nullopt;
  if (checksum - (command + 1) < kAddressBytes) return std::nullopt;
  unsigned sum = 0;
  for (qsizetype k = command + 1; k < checksum; ++k) sum += At(message, k);
  const auto expected = static_cast<uint8_t>((128 - sum % 128) % 128);
  if (At(message, checksum) == expected) return std::nullopt;
  return expected;
}

SysExCheck CheckSysEx(const QByteArray &bytes) {
  SysExCheck check;
  check.bytes = bytes.size();
  for (const SysExRun &run : SplitSysEx(bytes)) {
    switch (run.kind) {
      case SysExRun::Stray:
        ++check.strayRuns;
        Describe(
            check,
            QStringLiteral("%1 bytes outside F0...F7 at byte %2").arg(run.length).arg(run.offset));
        break;
      case SysExRun::Unterminated:
        ++check.messages;
        ++check.unterminated;
        Describe(check, Where(check.messages, run.offset) + QStringLiteral(" has no F7"));
        break;
      case SysExRun::Message:
        ++check.messages;
        if (const auto expected = WrongDataSetChecksum(bytes.mid(run.offset, run.length))) {
          ++check.badChecksums;
          const uint8_t carried = At(bytes, run.offset + run.length - 2);
          Describe(check, Where(check.messages, run.offset) +
                              QStringLiteral(": checksum %1, should be %2")
                                  .arg(HexByte(carried), HexByte(*expected)));
        }
        break;
    }
  }
  return check;
}

QString SysExCheck::Summary() const {
  QString text = QStringLiteral("%1 messages, %2 bytes").arg(messages).arg(bytes);
  if (Clean()) return text;
  QStringList counts;
  if (badChecksums) counts << QStringLiteral("%1 with a wrong checksum").arg(badChecksums);
  if (unterminated) counts << QStringLiteral("%1 without F7").arg(unterminated);
  if (strayRuns) counts << QStringLiteral("%1 runs of bytes outside F0...F7").arg(strayRuns);
  return text + QStringLiteral("; ") + counts.join(QStringLiteral(", ")) + QStringLiteral(":\n") +
         faults.join(QChar('\n'));
}

std::optional<QByteArray> ParseHexBytes(const QString &text) {
  QString digits;
  for (const QChar c : text) {
    if (c.isSpace() || c == QChar(',')) continue;
    if (!std::isxdigit(c.toLatin1())) return std::nullopt;
    digits += c;
  }
  if (digits.isEmpty() || digits.size() % 2 != 0) return std::nullopt;
  return QByteArray::fromHex(digits.toLatin1());
}
