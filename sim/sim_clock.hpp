#pragma once
// The simulator's time: seconds since it started, on the monotonic clock.
// One clock serves every robot, so their samples and answers share one time
// line. Read-only after construction, so any thread may use it.
#include <chrono>

namespace velmor::sim {

class SimClock {
 public:
  using Clock = std::chrono::steady_clock;

  SimClock() : start_(Clock::now()) {}

  Clock::time_point start() const { return start_; }
  double SecondsAt(Clock::time_point when) const { return std::chrono::duration<double>(when - start_).count(); }
  double Seconds() const { return SecondsAt(Clock::now()); }

 private:
  Clock::time_point start_;
};

}  // namespace velmor::sim
