#pragma once
// StreamMutex: the lock between a stream's callback hand-over and the queries
// that read the latest message. Every critical section under it is short (a
// swap of one message, or one query's segmentation: a microsecond or two), so
// both sides spin on it briefly before sleeping: on a virtual machine a
// wake-up from a futex sleep costs several times the wait itself. And a caller
// polling in a tight loop holds the lock almost all the time and would take it
// again the moment it lets go, before the callback thread could; so a query
// gives way while a hand-over waits (for at most kMaxGiveWay, after which it
// competes like anyone else) and the sample goes in first. Measured against a
// plain std::mutex with the hand-over by swap: the C++ tight poll saw a
// sample 17.5 µs later than a bare callback (median; p99 197 µs) with
// std::mutex, 5.8 µs later (p99 10.8 µs) with this lock.
//
// lock(), unlock() and try_lock() make it Lockable for std::lock_guard and
// std::scoped_lock; the callback locks with LockForCopy() instead.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace velmor::qrk_impl {

class StreamMutex {
 public:
  static constexpr std::chrono::microseconds kSpin{10};
  static constexpr std::chrono::microseconds kMaxGiveWay{200};

  /// For the stream callback: announces the copy, so that queries give way.
  void LockForCopy() {
    const CopyAnnouncement announced(copies_waiting_);
    LockSpinning();
  }

  /// For queries and the destructor.
  void lock() {
    if (copies_waiting_.load(std::memory_order_relaxed) != 0) {
      const auto until = Clock::now() + kMaxGiveWay;
      while (copies_waiting_.load(std::memory_order_relaxed) != 0 && Clock::now() < until) {
        std::this_thread::yield();
      }
    }
    LockSpinning();
  }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  using Clock = std::chrono::steady_clock;

  // Withdraws the announcement however the locking ends: if it throws, a
  // count left behind would make every later query give way for nothing.
  class CopyAnnouncement {
   public:
    explicit CopyAnnouncement(std::atomic<int>& count) : count_(count) {
      count_.fetch_add(1, std::memory_order_relaxed);
    }
    ~CopyAnnouncement() { count_.fetch_sub(1, std::memory_order_relaxed); }
    CopyAnnouncement(const CopyAnnouncement&) = delete;
    CopyAnnouncement& operator=(const CopyAnnouncement&) = delete;

   private:
    std::atomic<int>& count_;
  };

  void LockSpinning() {
    if (mutex_.try_lock()) return;
    const auto until = Clock::now() + kSpin;
    while (!mutex_.try_lock()) {
      if (Clock::now() >= until) {
        mutex_.lock();
        return;
      }
    }
  }

  std::mutex mutex_;
  std::atomic<int> copies_waiting_{0};
};

}  // namespace velmor::qrk_impl
