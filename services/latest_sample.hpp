#pragma once
// LatestSample<T>: the hand-over of a stream's newest sample from the one
// thread that receives it to the threads that read it, in which the receiver
// never waits. Three T's take turns: the receiver fills one (Back), one waits
// as the latest published, and readers read the third. Publishing exchanges
// the filled one with the waiting one; a reader that finds a newer one
// waiting exchanges it with the one it has finished reading. Storage is
// reused, so steady-state samples allocate nothing; a sample published while
// an older one still waits replaces it (the latest wins).
//
// Threads: Back() and Publish() belong to the receiving thread alone. Read()
// and the object it returns belong to one reader at a time: readers hold a
// lock of their own around Read() and their use of the result, which the
// receiver never takes.
#include <array>
#include <atomic>
#include <cstdint>

namespace velmor::qrk_impl {

template <class T>
class LatestSample {
 public:
  LatestSample() = default;
  LatestSample(const LatestSample&) = delete;
  LatestSample& operator=(const LatestSample&) = delete;

  /// The receiver's object to fill.
  T& Back() noexcept { return *back_; }

  /// Makes Back() the latest sample and returns the receiver's next object
  /// (a former sample's, holding stale content).
  T& Publish() noexcept {
    // Release: the filled object's content travels with it. Acquire: what a
    // reader did with the object coming back is over.
    back_ = Untagged(waiting_.exchange(Tagged(back_, kFresh), std::memory_order_acq_rel));
    return *back_;
  }

  /// The latest published sample (the initial, default T before any), valid
  /// until this reader's next Read().
  const T& Read() noexcept {
    if ((waiting_.load(std::memory_order_relaxed) & kFresh) != 0) {
      front_ = Untagged(waiting_.exchange(Tagged(front_, 0), std::memory_order_acq_rel));
    }
    return *front_;
  }

 private:
  // Whether the waiting object is newer than the readers' one rides in the
  // pointer's lowest bit, so that one atomic exchange moves both.
  static constexpr std::uintptr_t kFresh = 1;
  static_assert(alignof(T) > 1, "the fresh flag needs a free low bit");

  static std::uintptr_t Tagged(T* object, std::uintptr_t flag) noexcept {
    return reinterpret_cast<std::uintptr_t>(object) | flag;
  }
  static T* Untagged(std::uintptr_t word) noexcept { return reinterpret_cast<T*>(word & ~kFresh); }

  std::array<T, 3> objects_{};
  T* back_ = &objects_[0];
  std::atomic<std::uintptr_t> waiting_{Tagged(&objects_[1], 0)};
  T* front_ = &objects_[2];
};

}  // namespace velmor::qrk_impl
