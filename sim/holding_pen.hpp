#pragma once
// Keeps items (queries the silent server will not answer) for a while and
// then lets them go. For a zenoh query, letting go of the last copy ends the
// requester's replies without any reply, which is what a server that never
// answers looks like from outside, while the bound on time and count keeps
// memory bounded however many queries arrive.
//
// Thread safe: Hold runs on zenoh threads, ReleaseExpired on the main loop.
// Items are destroyed outside the lock, since dropping a query talks to zenoh.
#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace velmor::sim {

template <class T>
class HoldingPen {
 public:
  using Clock = std::chrono::steady_clock;

  HoldingPen(Clock::duration hold_time, std::size_t capacity) : hold_time_(hold_time), capacity_(capacity) {}

  /// Keeps `item` from `now` on; when full, the oldest item is let go first.
  void Hold(T item, Clock::time_point now) {
    std::vector<T> released;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (!items_.empty() && items_.size() >= capacity_) {
        released.push_back(std::move(items_.front().second));
        items_.pop_front();
      }
      items_.emplace_back(now, std::move(item));
    }
  }

  /// Lets go of every item held for at least the hold time; returns how many.
  std::size_t ReleaseExpired(Clock::time_point now) {
    std::vector<T> released;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      while (!items_.empty() && now - items_.front().first >= hold_time_) {
        released.push_back(std::move(items_.front().second));
        items_.pop_front();
      }
    }
    return released.size();
  }

  /// Lets go of everything.
  void Clear() {
    std::deque<std::pair<Clock::time_point, T>> released;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      released.swap(items_);
    }
  }

  std::size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
  }

 private:
  const Clock::duration hold_time_;
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  // Oldest first. Callers take `now` from one monotonic clock just before
  // Hold, so this is the order of expiry to within a few microseconds.
  std::deque<std::pair<Clock::time_point, T>> items_;
};

}  // namespace velmor::sim
