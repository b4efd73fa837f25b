// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

// Controller numbers as the set-up page shows and edits them.

// "$" and the value in upper-case hexadecimal, at least two digits ("$00", "$7F", "$100").
// A negative value reads as its 32-bit two's complement ("$FFFFFFFF" for -1).
QString HexText(int32_t value);

// Reads an integer the way the settings and set-up fields write it: optional leading blanks and
// sign, then decimal digits, or hexadecimal digits after "$" or "0x". Hexadecimal covers the full
// 32 bits ("$FFFFFFFF" is -1); a decimal value must fit in 32 signed bits.
// Throws EConvertError "'<text>' is not a valid integer value" for anything else.
int32_t ParseIntegerText(const QString &text);
