// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTest>
#include <functional>

#include "Exception.h"

// Runs the GUI thread's event loop until `done` holds (or a few seconds pass).
inline bool WaitFor(const std::function<bool()> &done, int timeoutMs = 5000) {
  return QTest::qWaitFor(done, timeoutMs);
}

// Lets queued notices arrive when nothing is expected to happen.
inline void Settle() {
  QTest::qWait(50);
}

inline QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray bytes;
  for (int v : values) bytes.append(static_cast<char>(v));
  return bytes;
}

inline const uint8_t *Data(const QByteArray &bytes) {
  return reinterpret_cast<const uint8_t *>(bytes.constData());
}

// The text of the exception `action` raises, or "(nothing raised)".
template <typename Error, typename Action>
QString RaisedText(Action &&action) {
  try {
    action();
  } catch (const Error &error) {
    return error.Message();
  }
  return QStringLiteral("(nothing raised)");
}
