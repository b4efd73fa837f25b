// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Circbuf.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr size_t kBlockAlignment = 64;  // a cache line, so the ring's indices never share one
}

void *AllocFixedShared(size_t size) {
  if (size > std::numeric_limits<size_t>::max() - kBlockAlignment) return nullptr;
  const size_t rounded = (size / kBlockAlignment + 1) * kBlockAlignment;
  void *block = std::aligned_alloc(kBlockAlignment, rounded);
  if (block) std::memset(block, 0, rounded);
  return block;
}

void FreeFixedShared(void *block) {
  std::free(block);
}

EventRing *CreateRing(uint32_t capacity) {
  void *control = AllocFixedShared(sizeof(EventRing));
  if (!control) return nullptr;
  auto *ring = new (control) EventRing;
  void *storage = nullptr;
  if (capacity <= std::numeric_limits<size_t>::max() / sizeof(EventEntry))
    storage = AllocFixedShared(size_t{capacity} * sizeof(EventEntry));
  if (!storage) {
    ring->~EventRing();
    FreeFixedShared(control);
    return nullptr;
  }
  // The storage is zero-filled, which is a valid EventEntry; start their lives explicitly.
  ring->start = new (storage) EventEntry[capacity];
  ring->end = ring->start + capacity;
  ring->write = ring->read = ring->start;
  ring->capacity = capacity;
  return ring;
}

void DestroyRing(EventRing *ring) {
  if (!ring) return;
  FreeFixedShared(ring->start);
  ring->~EventRing();
  FreeFixedShared(ring);
}

bool PutEntry(EventRing *ring, const EventEntry &entry) {
  // Acquire pairs with the release in RemoveEntry: the consumer has finished reading a slot
  // before we see it counted as free and overwrite it.
  if (ring->count.load(std::memory_order_acquire) >= ring->capacity) return false;
  *ring->write = entry;
  if (++ring->write == ring->end) ring->write = ring->start;
  // Release pairs with the acquire in PeekEntry: the slot's contents are visible before the
  // consumer sees the new count.
  ring->count.fetch_add(1, std::memory_order_release);
  return true;
}

bool PeekEntry(EventRing *ring, EventEntry &entry) {
  // Acquire pairs with the release in PutEntry: a counted slot is fully written.
  if (ring->count.load(std::memory_order_acquire) == 0) return false;
  entry = *ring->read;
  return true;
}

bool RemoveEntry(EventRing *ring) {
  if (ring->count.load(std::memory_order_acquire) == 0) return false;  // pairs with PutEntry
  if (++ring->read == ring->end) ring->read = ring->start;
  // Release pairs with the acquire in PutEntry: our reads of the slot happen before the
  // producer may reuse it.
  ring->count.fetch_sub(1, std::memory_order_release);
  return true;
}
