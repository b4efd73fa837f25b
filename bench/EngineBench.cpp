// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of one note key in a five-note chord mode: the five note-ons of its key-down and the
// five note-offs of its key-up, through the in-process loopback service.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "LoopbackBackend.h"
#include "MIDIappUtil.h"
#include "MidiOut.h"

namespace {

void BM_PlayAndReleaseFiveNoteChord(benchmark::State &state) {
  LoopbackBackend backend;
  TMidiOutput output(backend);
  output.SetDeviceID(0);
  output.OpenPort();
  TMIDIappUtil engine;
  engine.SetOUTPUT(&output);
  engine.SetPlaymode(pmMajor9th);
  engine.SetVelRnd(20);
  int64_t keys = 0;
  for (auto _ : state) {
    engine.PlayKey(static_cast<int>(keys % KeyIndexCount));
    engine.ReleaseKey(static_cast<int>(keys % KeyIndexCount));
    ++keys;
    // The loopback keeps every message; forget them now and then so memory stays flat.
    if (keys % 4096 == 0) {
      state.PauseTiming();
      backend.ClearSent();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(keys * 10);  // messages
}
BENCHMARK(BM_PlayAndReleaseFiveNoteChord);

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);  // the ports post their notices through the event loop
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
