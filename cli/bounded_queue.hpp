#pragma once
// BoundedQueue: hands items from zenoh's thread to a writer thread without
// ever blocking the producer. When the queue is full the new item is dropped
// and counted: a recorder that cannot keep up says so instead of growing
// without bound or stalling reception.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

namespace velmor::cli {

template <class T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

  /// Takes `item` unless the queue is full or closed; false (a drop) then.
  bool TryPush(T&& item) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_ || items_.size() >= capacity_) {
        ++dropped_;
        return false;
      }
      items_.push_back(std::move(item));
    }
    ready_.notify_one();
    return true;
  }

  /// Waits for the next item: false once the queue is closed and empty.
  bool Pop(T& out) {
    std::unique_lock<std::mutex> lock(mutex_);
    // A timed wait: GCC 12 versions the untimed one (GLIBCXX_3.4.30), which
    // would raise the C++ runtime the wheel's programs need past GCC 11's.
    while (!ready_.wait_for(lock, std::chrono::seconds(1), [this] { return closed_ || !items_.empty(); })) {
    }
    if (items_.empty()) return false;
    out = std::move(items_.front());
    items_.pop_front();
    return true;
  }

  /// No more pushes; Pop still returns what is queued.
  void Close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }

  std::uint64_t Dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
  }

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<T> items_;
  std::uint64_t dropped_ = 0;
  bool closed_ = false;
};

}  // namespace velmor::cli
