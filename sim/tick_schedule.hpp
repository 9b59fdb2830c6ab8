#pragma once
// The publishing schedule: tick k is due at start + k / rate, computed from
// k rather than by adding periods, so rounding never accumulates into drift
// and a late tick does not delay the ones after it. A loop that falls far
// behind (a stalled machine) skips the missed ticks instead of bursting them.
#include <chrono>
#include <cstdint>

namespace velmor::sim {

class TickSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  /// Tick 0 is due at `start`. `rate` is in ticks per second and above 0.
  TickSchedule(Clock::time_point start, double rate, Clock::duration max_lag = std::chrono::milliseconds(100));

  /// When the current tick is due.
  Clock::time_point due() const { return DueAt(index_); }
  std::uint64_t index() const { return index_; }

  /// Moves to the next tick. If that one is already more than the maximum
  /// lag overdue at `now`, jumps to the first tick due after `now` and
  /// returns how many ticks were skipped.
  std::uint64_t Advance(Clock::time_point now);

 private:
  Clock::time_point DueAt(std::uint64_t index) const;

  Clock::time_point start_;
  double rate_;
  Clock::duration max_lag_;
  std::uint64_t index_ = 0;
};

}  // namespace velmor::sim
