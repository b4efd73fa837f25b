// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the settings store's integer parser against a reference written from its rules:
// a text longer than two characters that begins with "0x" or "0X" is hexadecimal; otherwise
// blanks are skipped, a sign is taken, and the rest is decimal, or hexadecimal after "$".
// Hexadecimal names a 32-bit pattern; decimal must fit an int; anything else gives the default.

#include <cstdint>
#include <optional>
#include <string_view>

#include "FuzzSupport.h"
#include "SettingsStore.h"

namespace {

constexpr int kDefault = -424242;

std::optional<uint32_t> Digits(std::u16string_view digits, unsigned base) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : digits) {
    unsigned digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return std::nullopt;
    value = value * base + digit;
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

int Reference(std::u16string_view text) {
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    auto pattern = Digits(text.substr(2), 16);
    return pattern ? static_cast<int>(*pattern) : kDefault;
  }
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i < text.size() && text[i] == u'$') {
    auto pattern = Digits(text.substr(i + 1), 16);
    if (!pattern) return kDefault;
    // The negated pattern, in 32-bit two's complement ("-$80000000" is INT_MIN).
    return static_cast<int>(negative ? 0u - *pattern : *pattern);
  }
  auto magnitude = Digits(text.substr(i), 10);
  if (!magnitude) return kDefault;
  const int64_t value = negative ? -int64_t{*magnitude} : int64_t{*magnitude};
  if (value < INT32_MIN || value > INT32_MAX) return kDefault;
  return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const std::u16string_view view(reinterpret_cast<const char16_t *>(text.utf16()),
                                 static_cast<size_t>(text.size()));
  const int parsed = SettingsStore::ParseInteger(text, kDefault);
  const int expected = Reference(view);
  if (parsed != expected)
    fuzz::Fail("ParseInteger differs from its rules",
               "text \"" + text.toUtf8() + "\": parsed " + QByteArray::number(parsed) +
                   ", expected " + QByteArray::number(expected));
  return 0;
}
