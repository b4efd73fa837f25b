// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QString>

#include "KeyMap.h"
#include "MIDIappUtil.h"

namespace {

TEST(NoteName, SharpsOctaveNumberAndOneBlank) {
  EXPECT_EQ(TMIDIappUtil::NoteName(0), "C-1 ");
  EXPECT_EQ(TMIDIappUtil::NoteName(36), "C2 ");
  EXPECT_EQ(TMIDIappUtil::NoteName(60), "C4 ");
  EXPECT_EQ(TMIDIappUtil::NoteName(61), "C#4 ");
  EXPECT_EQ(TMIDIappUtil::NoteName(70), "A#4 ");
  EXPECT_EQ(TMIDIappUtil::NoteName(127), "G9 ");
}

// The key caps of a US keyboard, left to right, against the indices they play.
TEST(KeyMap, BothRowsPlayAscendingIndices) {
  const QString lowerRow = "ZSXDCVGBHNJM";
  for (int i = 0; i < lowerRow.size(); ++i)
    EXPECT_EQ(KeyIndexOf(lowerRow[i].unicode()), i) << lowerRow[i].toLatin1();
  const uint16_t lowerPunctuation[] = {0xBC, 0x4C, 0xBE, 0xBA, 0xBF};  // , L . ; /
  for (int i = 0; i < 5; ++i) EXPECT_EQ(KeyIndexOf(lowerPunctuation[i]), 12 + i);

  const QString upperRow = "Q2W3ER5T6Y7UI9O0P";
  for (int i = 0; i < upperRow.size(); ++i)
    EXPECT_EQ(KeyIndexOf(upperRow[i].unicode()), 12 + i) << upperRow[i].toLatin1();
  const uint16_t upperPunctuation[] = {0xDB, 0xBB, 0xDD, 0xDC};  // [ = ] backslash
  for (int i = 0; i < 4; ++i) EXPECT_EQ(KeyIndexOf(upperPunctuation[i]), 29 + i);
}

TEST(KeyMap, GapsInTheRowsAndOtherCodesAreNoNoteKeys) {
  for (char key : QByteArray("148AFK")) EXPECT_EQ(KeyIndexOf(uint16_t(key)), -1) << key;
  EXPECT_EQ(KeyIndexOf(0xBD), -1);  // minus
  EXPECT_EQ(KeyIndexOf(vk::Space), -1);
  EXPECT_EQ(KeyIndexOf(0x15A), -1);  // beyond the byte range, not Z
  EXPECT_EQ(KeyIndexOf(0xFFFF), -1);
}

}  // namespace
