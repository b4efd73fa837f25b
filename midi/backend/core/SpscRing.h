// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

// A bounded single-producer, single-consumer queue of trivially copyable values, allocated once.
// The producer alone moves `tail_`, the consumer alone moves `head_`; each side caches the
// other's index so that the common case touches one shared cache line. Never blocks, never
// allocates after construction: the consumer may be a realtime thread.
template <typename T>
class SpscRing {
 public:
  explicit SpscRing(size_t capacity)
      : capacity_(capacity), slots_(std::make_unique<T[]>(capacity + 1)) {}
  SpscRing(const SpscRing &) = delete;
  SpscRing &operator=(const SpscRing &) = delete;

  size_t Capacity() const { return capacity_; }

  // Producer. False when full.
  bool Push(const T &value) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
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
  const T *Front() {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tailCache_) {
      tailCache_ = tail_.load(std::memory_order_acquire);  // pairs with the release in Push
      if (head == tailCache_) return nullptr;
    }
    return &slots_[head];
  }
  // Consumer. False when empty.
  bool Pop(T &value) {
    const T *front = Front();
    if (!front) return false;
    value = *front;
    Pop();
    return true;
  }
  // Consumer, after Front returned a value: drops it.
  void Pop() {
    const size_t head = head_.load(std::memory_order_relaxed);
    head_.store(Next(head), std::memory_order_release);  // frees the slot; pairs with Push
  }
  // Either side; exact only on the consumer's side.
  bool Empty() const {
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
