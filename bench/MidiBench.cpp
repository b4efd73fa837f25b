// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Figures for the MIDI layer's hot paths: the event ring and short messages through a port.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <thread>

#include "Circbuf.h"
#include "LoopbackBackend.h"
#include "MidiOut.h"

namespace {

void RingPutPeekRemove(benchmark::State &state) {
  EventRing *ring = CreateRing(1024);
  EventEntry entry{1, 0x403C90, nullptr};
  for (auto _ : state) {
    benchmark::DoNotOptimize(PutEntry(ring, entry));
    EventEntry out;
    benchmark::DoNotOptimize(PeekEntry(ring, out));
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(RemoveEntry(ring));
  }
  state.SetItemsProcessed(state.iterations());
  DestroyRing(ring);
}
BENCHMARK(RingPutPeekRemove);

// A producer thread fills the ring as a driver callback would; this thread drains it.
void RingProducerConsumer(benchmark::State &state) {
  const auto capacity = static_cast<uint32_t>(state.range(0));
  constexpr uint32_t kBatch = 1'000'000;
  for (auto _ : state) {
    EventRing *ring = CreateRing(capacity);
    std::thread producer([ring] {
      for (uint32_t i = 0; i < kBatch;) {
        if (PutEntry(ring, EventEntry{i, i, nullptr}))
          ++i;
        else
          std::this_thread::yield();  // full: let the consumer run on a busy machine
      }
    });
    uint32_t taken = 0;
    while (taken < kBatch) {
      EventEntry out;
      if (!PeekEntry(ring, out)) {
        std::this_thread::yield();
        continue;
      }
      benchmark::DoNotOptimize(out);
      benchmark::DoNotOptimize(RemoveEntry(ring));
      ++taken;
    }
    producer.join();
    DestroyRing(ring);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(RingProducerConsumer)->Arg(64)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();

void WriteShortMessageLoopback(benchmark::State &state) {
  LoopbackBackend backend;
  TMidiOutput port(backend);
  port.SetDeviceID(0);
  port.OpenPort();
  uint8_t value = 0;
  int sent = 0;
  for (auto _ : state) {
    port.WriteShortMessage(0xB0, 7, value++ & 0x7F);
    if (++sent == 100000) {  // keep the loopback's record from growing without end
      state.PauseTiming();
      backend.ClearSent();
      sent = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(WriteShortMessageLoopback);

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
