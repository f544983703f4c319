// A lock-free FIFO of fixed capacity between one producer thread and one consumer thread.
//
// The elements live in the FIFO (no allocation after construction) and are filled and read in
// place: the producer gets the next free element with Back(), fills it and publishes it with
// Push(); the consumer reads Front() and frees it with Pop(). Publication is a release store
// of the write index, observation an acquire load, so an element's contents are complete when
// the other side sees it. Capacity is a power of two.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

template <typename T, size_t kCapacity>
class SpscFifo {
  static_assert(kCapacity >= 2 && (kCapacity & (kCapacity - 1)) == 0,
                "the capacity is a power of two");

 public:
  // Producer: the next free element, or null when the FIFO is full.
  T* Back() {
    const uint64_t write = write_.load(std::memory_order_relaxed);
    if (write - read_.load(std::memory_order_acquire) >= kCapacity) return nullptr;
    return &items_[write % kCapacity];
  }
  // Producer: publishes the element Back() gave.
  void Push() {
    write_.store(write_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }

  // Consumer: the oldest element, or null when the FIFO is empty.
  T* Front() {
    const uint64_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) return nullptr;
    return &items_[read % kCapacity];
  }
  // Consumer: frees the element Front() gave.
  void Pop() { read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  // Either side: elements published and not yet freed (exact only on the calling side's view).
  size_t Size() const {
    return size_t(write_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire));
  }
  static constexpr size_t Capacity() { return kCapacity; }

 private:
  alignas(64) std::atomic<uint64_t> write_{0};
  alignas(64) std::atomic<uint64_t> read_{0};
  alignas(64) std::array<T, kCapacity> items_{};
};
