// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IntegerText.h"

#include <optional>

#include "Exception.h"

QString HexText(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return QStringLiteral("$") + QStringLiteral("%1").arg(bits, 2, 16, QChar('0')).toUpper();
}

namespace {

std::optional<int> DigitValue(QChar c, int base) {
  int digit = -1;
  if (c >= '0' && c <= '9') {
    digit = c.unicode() - '0';
  } else if (base == 16 && c.toLower() >= 'a' && c.toLower() <= 'f') {
    digit = c.toLower().unicode() - 'a' + 10;
  }
  if (digit < 0 || digit >= base) return std::nullopt;
  return digit;
}

// The digits from `pos` to the end as a number no larger than `limit`.
std::optional<uint64_t> ReadDigits(const QString &text, qsizetype pos, int base, uint64_t limit) {
  if (pos >= text.size()) return std::nullopt;
  uint64_t value = 0;
  for (; pos < text.size(); ++pos) {
    const auto digit = DigitValue(text[pos], base);
    if (!digit) return std::nullopt;
    value = value * base + *digit;
    if (value > limit) return std::nullopt;
  }
  return value;
}

std::optional<int32_t> Parse(const QString &text) {
  qsizetype pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  int base = 10;
  if (pos < text.size() && text[pos] == '$') {
    base = 16;
    pos += 1;
  } else if (text.mid(pos, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
    base = 16;
    pos += 2;
  }
  // Hexadecimal spans all 32 bits and wraps into the signed range; decimal must fit as it stands.
  const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  const auto magnitude = ReadDigits(text, pos, base, limit);
  if (!magnitude) return std::nullopt;
  const uint32_t bits = static_cast<uint32_t>(*magnitude);
  return static_cast<int32_t>(negative ? 0u - bits : bits);
}

}  // namespace

int32_t ParseIntegerText(const QString &text) {
  if (const auto value = Parse(text)) return *value;
  throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}
