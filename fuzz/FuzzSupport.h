// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the fuzz targets: the Qt application object that the ports' queued notices need, and
// checks that stop the run with a readable message, so that libFuzzer keeps the input as a crash.

#include <QByteArray>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Call once from LLVMFuzzerInitialize, on the thread that runs the inputs (the "GUI" thread of
// the ports under test).
inline void StartApplication() {
  static int argc = 1;
  static char name[] = "kelvane-fuzz";
  static char *argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
}

[[noreturn]] inline void Fail(const char *what, const QByteArray &detail = {}) {
  std::fprintf(stderr, "\nfuzz check failed: %s\n", what);
  if (!detail.isEmpty()) std::fprintf(stderr, "%s\n", detail.constData());
  std::fflush(stderr);
  std::abort();
}

inline void Expect(bool ok, const char *what, const QByteArray &detail = {}) {
  if (!ok) Fail(what, detail);
}

inline QByteArray Hex(const QByteArray &bytes) {
  return bytes.toHex(' ');
}

}  // namespace fuzz
