// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "MidiOutQueue.h"
#include "SpscRing.h"

namespace {

// Two halves that must travel together: a torn copy shows as a mismatch.
struct Stamped {
  uint64_t sequence = 0;
  uint64_t check = 0;
};

Stamped Stamp(uint64_t n) {
  return Stamped{n, ~n * 31};
}

// Full and empty at the edges, and a slot freed at the end is reused at the start, in order.
TEST(SpscRing, RefusesWhenFullGivesNothingWhenEmptyAndKeepsOrderAcrossTheWrap) {
  SpscRing<uint32_t> ring(3);
  uint32_t value = 0;
  EXPECT_TRUE(ring.Empty());
  EXPECT_EQ(ring.Front(), nullptr);
  EXPECT_FALSE(ring.Pop(value));

  EXPECT_TRUE(ring.Push(1));
  EXPECT_TRUE(ring.Push(2));
  EXPECT_TRUE(ring.Push(3));
  EXPECT_FALSE(ring.Push(4)) << "a ring of three holds three";
  ASSERT_NE(ring.Front(), nullptr);
  EXPECT_EQ(*ring.Front(), 1u);
  ring.Pop();
  EXPECT_TRUE(ring.Push(5)) << "the freed slot is taken again";
  EXPECT_FALSE(ring.Push(6));
  for (const uint32_t expected : {2u, 3u, 5u}) {
    ASSERT_TRUE(ring.Pop(value));
    EXPECT_EQ(value, expected);
  }
  EXPECT_TRUE(ring.Empty());
  EXPECT_FALSE(ring.Pop(value));

  SpscRing<uint32_t> none(0);
  EXPECT_FALSE(none.Push(1)) << "a ring of no slots refuses everything";
  EXPECT_EQ(none.Front(), nullptr);
}

// A producer and a consumer on threads of their own, through a ring far smaller than what
// passes (of a size that is no power of two: the ring relies on none): every value arrives once,
// whole, in order.
TEST(SpscRing, TwoThreadsPassEveryValueOnceInOrderOverManyWraps) {
  constexpr uint64_t kValues = 127'000;  // a thousand times round
  SpscRing<Stamped> ring(127);
  std::thread producer([&] {
    for (uint64_t n = 0; n < kValues;) {
      if (ring.Push(Stamp(n)))
        ++n;
      else
        std::this_thread::yield();  // full: let the consumer run on a busy machine
    }
  });
  uint64_t received = 0, outOfOrder = 0;
  while (received < kValues) {
    // Both ways of taking a value: look then drop, and copy out.
    Stamped value;
    if (received % 2 == 0) {
      const Stamped *front = ring.Front();
      if (!front) {
        std::this_thread::yield();
        continue;
      }
      value = *front;
      ring.Pop();
    } else if (!ring.Pop(value)) {
      std::this_thread::yield();
      continue;
    }
    if (value.sequence != received || value.check != Stamp(received).check) ++outOfOrder;
    ++received;
  }
  producer.join();
  EXPECT_EQ(outOfOrder, 0u);
  EXPECT_TRUE(ring.Empty());
  Stamped extra;
  EXPECT_FALSE(ring.Pop(extra)) << "nothing arrives twice";
}

// Debug builds stop at a broken contract instead of corrupting the ring or racing the GUI.
TEST(SpscRingDeathTest, BrokenContractsStopADebugBuild) {
#ifdef NDEBUG
  GTEST_SKIP() << "the checks are compiled out of release builds";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the test program runs Qt's threads
  EXPECT_DEATH(
      {
        SpscRing<uint32_t> ring(4);
        ring.Pop();
      },
      "without a value from Front");
  EXPECT_DEATH(
      {
        MidiOutQueue queue;
        std::thread other([&] { (void)queue.PushShort(0x403C90); });
        other.join();
      },
      "other than the GUI thread");
#endif
}

}  // namespace
