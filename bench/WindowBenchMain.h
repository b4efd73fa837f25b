// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

namespace bench {

// The main of a benchmark program that builds Kelvane's window: Google Benchmark's run on Qt's
// offscreen platform, then the program's ROW lines for tools/bench.sh.
inline int RunWindowBenchmarks(int argc, char **argv, void (*printRows)()) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printRows();
  return 0;
}

}  // namespace bench
