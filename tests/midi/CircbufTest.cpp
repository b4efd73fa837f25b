// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <thread>

#include "Circbuf.h"
#include "Miditype.h"

namespace {

struct RingDeleter {
  void operator()(EventRing *ring) const { DestroyRing(ring); }
};
using Ring = std::unique_ptr<EventRing, RingDeleter>;

EventEntry Entry(uint32_t n) {
  return EventEntry{n, n * 7, nullptr};
}

TEST(EventRing, CapacityThreeRefusesTheFourthAndReusesTheFreedSlotInOrder) {
  Ring ring(CreateRing(3));
  ASSERT_TRUE(ring);
  EXPECT_TRUE(PutEntry(ring.get(), Entry(1)));
  EXPECT_TRUE(PutEntry(ring.get(), Entry(2)));
  EXPECT_TRUE(PutEntry(ring.get(), Entry(3)));
  EXPECT_FALSE(PutEntry(ring.get(), Entry(4)));
  EXPECT_TRUE(RemoveEntry(ring.get()));
  EXPECT_TRUE(PutEntry(ring.get(), Entry(5)));  // wraps into the freed first slot
  EXPECT_EQ(ring->write, ring->start + 1);
  for (uint32_t expected : {2u, 3u, 5u}) {
    EventEntry entry;
    ASSERT_TRUE(PeekEntry(ring.get(), entry));
    EXPECT_EQ(entry.time, expected);
    EXPECT_EQ(entry.message, expected * 7);
    EXPECT_TRUE(RemoveEntry(ring.get()));
  }
  EXPECT_EQ(ring->read, ring->start + 1);  // read wrapped as well
  EXPECT_EQ(EntryCount(ring.get()), 0u);
}

TEST(EventRing, PeekTwiceGivesTheSameEntryAndEmptyRingChangesNothing) {
  Ring ring(CreateRing(4));
  EventEntry entry;
  EXPECT_FALSE(PeekEntry(ring.get(), entry));
  EXPECT_FALSE(RemoveEntry(ring.get()));
  EXPECT_EQ(ring->read, ring->start);
  EXPECT_EQ(EntryCount(ring.get()), 0u);

  ASSERT_TRUE(PutEntry(ring.get(), Entry(9)));
  ASSERT_TRUE(PutEntry(ring.get(), Entry(10)));
  EventEntry first, second;
  ASSERT_TRUE(PeekEntry(ring.get(), first));
  ASSERT_TRUE(PeekEntry(ring.get(), second));
  EXPECT_EQ(first.time, 9u);
  EXPECT_EQ(second.time, 9u);
  EXPECT_EQ(EntryCount(ring.get()), 2u);
}

TEST(EventRing, CapacityZeroRefusesEveryEntryAndLargeCapacitiesWork) {
  Ring empty(CreateRing(0));
  ASSERT_TRUE(empty);
  EXPECT_FALSE(PutEntry(empty.get(), Entry(1)));
  EventEntry entry;
  EXPECT_FALSE(PeekEntry(empty.get(), entry));

  Ring large(CreateRing(100000));  // far beyond what 16-bit blocks would allow
  ASSERT_TRUE(large);
  for (uint32_t i = 0; i < 100000; ++i) ASSERT_TRUE(PutEntry(large.get(), Entry(i)));
  EXPECT_FALSE(PutEntry(large.get(), Entry(0)));
  DestroyRing(nullptr);  // does nothing
}

TEST(MidiHdr, HeaderDescribesItsDataBlock) {
  TMyMidiHdr block(5120);
  ASSERT_TRUE(block.Valid());
  EXPECT_EQ(block.Header()->BufferLength, 5120u);
  EXPECT_EQ(block.Header()->Data, block.Data());
  EXPECT_EQ(block.Header()->User, &block);
  EXPECT_EQ(block.Header()->BytesRecorded, 0u);
  EXPECT_EQ(block.Data()[5119], 0);  // zero-filled

  TMyMidiHdr none(0);
  EXPECT_EQ(none.Header(), nullptr);
  EXPECT_EQ(none.Size(), 0u);
}

// One producer and one consumer thread through a small ring: every entry arrives once, in order.
TEST(EventRingThreads, ProducerAndConsumerKeepOrderAndCount) {
  constexpr uint32_t kEntries = 2'000'000;
  Ring ring(CreateRing(64));
  std::thread producer([&] {
    for (uint32_t i = 0; i < kEntries;) {
      if (PutEntry(ring.get(), EventEntry{i, ~i, nullptr}))
        ++i;
      else
        std::this_thread::yield();
    }
  });
  uint32_t expected = 0;
  bool inOrder = true;
  while (expected < kEntries) {
    EventEntry entry;
    if (!PeekEntry(ring.get(), entry)) {
      std::this_thread::yield();
      continue;
    }
    inOrder = inOrder && entry.time == expected && entry.message == ~expected;
    inOrder = RemoveEntry(ring.get()) && inOrder;
    ++expected;
  }
  producer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(expected, kEntries);
  EXPECT_EQ(EntryCount(ring.get()), 0u);
}

}  // namespace
