// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <memory>
#include <type_traits>

// A bounded single-producer, single-consumer queue of trivially copyable values, allocated once.
// The producer alone moves `tail_`, the consumer alone moves `head_`; each side caches the
// other's index so that the common case touches one shared cache line. Never blocks, never
// allocates after construction: the consumer may be a realtime thread.
template <typename T>
class SpscRing {
  // A slot is copied in and out with plain assignment while the other side may look at its
  // neighbours: nothing may run that could allocate, lock or throw.
  static_assert(std::is_trivially_copyable_v<T>, "SpscRing holds trivially copyable values only");

 public:
  explicit SpscRing(size_t capacity)
      : capacity_(capacity), slots_(std::make_unique<T[]>(capacity + 1)) {}
  SpscRing(const SpscRing &) = delete;
  SpscRing &operator=(const SpscRing &) = delete;

  [[nodiscard]] size_t Capacity() const { return capacity_; }

  // Producer. False when full: the value is not stored, and the caller must keep or report it.
  [[nodiscard]] bool Push(const T &value) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    assert(tail <= capacity_ && "tail index out of range");
    const size_t next = Next(tail);
    if (next == headCache_) {
      headCache_ = head_.load(std::memory_order_acquire);  // pairs with the release in Pop
      if (next == headCache_) return false;
    }
    slots_[tail] = value;
    tail_.store(next, std::memory_order_release);  // publishes the slot; pairs with Front/Pop
    return true;
  }

  // Consumer. The oldest value, or null when empty; stays valid until Pop.
  [[nodiscard]] const T *Front() {
    const size_t head = head_.load(std::memory_order_relaxed);
    assert(head <= capacity_ && "head index out of range");
    if (head == tailCache_) {
      tailCache_ = tail_.load(std::memory_order_acquire);  // pairs with the release in Push
      if (head == tailCache_) return nullptr;
    }
    return &slots_[head];
  }
  // Consumer. False when empty.
  [[nodiscard]] bool Pop(T &value) {
    const T *front = Front();
    if (!front) return false;
    value = *front;
    Pop();
    return true;
  }
  // Consumer, after Front returned a value: drops it.
  void Pop() {
    const size_t head = head_.load(std::memory_order_relaxed);
    // Front saw this slot filled, so the consumer's copy of tail_ is past it; a Pop without it
    // would free a slot the producer has not filled and make the ring look full of garbage.
    assert(head != tailCache_ && "Pop() without a value from Front()");
    head_.store(Next(head), std::memory_order_release);  // frees the slot; pairs with Push
  }
  // Either side; exact only on the consumer's side.
  [[nodiscard]] bool Empty() const {
    return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
  }

 private:
  size_t Next(size_t index) const { return index == capacity_ ? 0 : index + 1; }

  const size_t capacity_;
  std::unique_ptr<T[]> slots_;  // one more slot than the capacity: full is tail one behind head
  alignas(64) std::atomic<size_t> head_{0};
  size_t tailCache_ = 0;  // consumer's copy of tail_
  alignas(64) std::atomic<size_t> tail_{0};
  size_t headCache_ = 0;  // producer's copy of head_
};
