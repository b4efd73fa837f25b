// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <algorithm>

// Compares without printing a megabyte when they differ.
inline void ExpectSameBytes(const QByteArray &received, const QByteArray &sent) {
  EXPECT_EQ(received.size(), sent.size());
  qsizetype at = 0;
  while (at < std::min(received.size(), sent.size()) && received[at] == sent[at]) ++at;
  EXPECT_EQ(at, std::min(received.size(), sent.size()))
      << "first difference at byte " << at << ": received "
      << received.mid(at, 8).toHex().toStdString() << ", sent "
      << sent.mid(at, 8).toHex().toStdString() << " (from " << at - 4 << ": "
      << received.mid(at - 4, 12).toHex().toStdString() << " / "
      << sent.mid(at - 4, 12).toHex().toStdString() << ")";
}
