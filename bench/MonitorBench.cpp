// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the MIDI monitor costs a knob drag: GUI-thread CPU time per drag move with the monitor
// window open against the same drag with it closed, in alternating blocks of one run, so that
// both see the same machine. The window is shown on the offscreen platform (it paints as on a
// screen); the output is the in-process loopback service, so the figure is the GUI thread's own.
// After Google Benchmark's table, the program prints the ROW lines of tools/bench.sh.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include "BenchSupport.h"
#include "FakeDialogs.h"
#include "LoopbackBackend.h"
#include "MonitorWindow.h"
#include "Unit1.h"
#include "WindowBenchMain.h"
#include "knob.h"

namespace {

double ThreadCpuMicros() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

struct Figures {
  double closedMicros = 0, openMicros = 0;
  bool ran = false;
} figures;

// `moves` drag moves on knob1 at a fast mouse's rate (one a millisecond), back and forth so that
// every move turns the knob and redraws it; between moves the window handles its events as in a
// real drag, the monitor's draws among them. Only the GUI thread's CPU time counts.
double DragMicrosPerMove(TForm1 &window, int moves) {
  constexpr uint64_t kMoveIntervalMicros = 1000;
  tknob *dial = window.knob[0];
  QTest::mousePress(dial, Qt::LeftButton, {}, QPoint(10, 15));
  const double start = ThreadCpuMicros();
  uint64_t next = bench::NowMicros();
  for (int i = 0; i < moves; ++i) {
    QTest::mouseMove(dial, QPoint(i % 2 == 0 ? 14 : 10, 15));
    QCoreApplication::processEvents();
    next += kMoveIntervalMicros;
    bench::SleepUntil(next);
  }
  QCoreApplication::processEvents();
  const double spent = ThreadCpuMicros() - start;
  QTest::mouseRelease(dial, Qt::LeftButton, {}, QPoint(10, 15));
  return spent / moves;
}

void BM_KnobDragWithAndWithoutMonitor(benchmark::State &state) {
  QTemporaryDir dir;
  FakeDialogs dialogs;
  LoopbackBackend backend;
  TForm1 window(backend, dir.filePath("kelvane.ini"));
  window.midiout->setCurrentIndex(0);
  window.midioutChange(window.midiout);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return state.SkipWithError("no window shown");
  const int blocks = 5, moves = static_cast<int>(state.range(0));
  for (auto _ : state) {
    double closed = 0, open = 0;
    for (int b = 0; b < blocks; ++b) {
      closed += DragMicrosPerMove(window, moves);
      window.Monitor1->trigger();
      if (!QTest::qWaitForWindowExposed(window.monitor))
        return state.SkipWithError("no monitor shown");
      QTest::qWait(50);
      open += DragMicrosPerMove(window, moves);
      // Whatever the monitor still had to draw belongs to the open block's moves.
      QTest::qWait(50);
      window.monitor->close();
      backend.ClearSent();
    }
    figures = {closed / blocks, open / blocks, true};
  }
  state.counters["closed_us_per_move"] = figures.closedMicros;
  state.counters["open_us_per_move"] = figures.openMicros;
}
BENCHMARK(BM_KnobDragWithAndWithoutMonitor)
    ->Arg(2000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void PrintRows() {
  if (!figures.ran) return;
  const double ratio = figures.openMicros / figures.closedMicros;
  bench::PrintRow("knob drag, GUI-thread CPU per move, monitor open",
                  bench::Format("%.1f us", figures.openMicros) + bench::Format(" (x%.2f)", ratio),
                  bench::Format("monitor closed: %.1f us", figures.closedMicros), "<= x1.2",
                  bench::YesNo(ratio <= 1.2));
}

}  // namespace

int main(int argc, char **argv) {
  return bench::RunWindowBenchmarks(argc, argv, &PrintRows);
}
