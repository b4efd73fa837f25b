// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class TMyMidiHdr;

// Zero-filled memory at a fixed address for everything the driver thread touches; null when the
// allocation fails. Free with FreeFixedShared (null does nothing).
void *AllocFixedShared(size_t size);
void FreeFixedShared(void *block);

// One slot of the ring.
struct EventEntry {
  uint32_t time = 0;             // driver time stamp, milliseconds since input started
  uint32_t message = 0;          // packed short message, or 0 for SysEx
  TMyMidiHdr *buffer = nullptr;  // finished SysEx receive buffer, or null for a short message
};

// A fixed-size single-producer, single-consumer ring. The producer alone moves `write`, the
// consumer alone moves `read`; `count` is the only field both change.
struct EventRing {
  EventEntry *start = nullptr;
  EventEntry *end = nullptr;  // start + capacity
  alignas(64) EventEntry *write = nullptr;
  alignas(64) EventEntry *read = nullptr;
  uint32_t capacity = 0;
  alignas(64) std::atomic<uint32_t> count{0};
};

// Null when the memory cannot be had. Capacity 0 gives a ring that refuses every entry.
EventRing *CreateRing(uint32_t capacity);
void DestroyRing(EventRing *ring);  // null does nothing
// Producer only. False when full: the entry is dropped. Never blocks, never allocates.
[[nodiscard]] bool PutEntry(EventRing *ring, const EventEntry &entry);
// Consumer only. False when empty; else copies the oldest entry without removing it.
[[nodiscard]] bool PeekEntry(EventRing *ring, EventEntry &entry);
// Consumer only. False when empty; else drops the oldest entry.
[[nodiscard]] bool RemoveEntry(EventRing *ring);
// Filled slots as the caller's side last saw them.
inline uint32_t EntryCount(const EventRing *ring) {
  return ring ? ring->count.load(std::memory_order_acquire) : 0;
}
