#include "sim/tick_schedule.hpp"

#include <cmath>

namespace velmor::sim {

TickSchedule::TickSchedule(Clock::time_point start, double rate, Clock::duration max_lag)
    : start_(start), rate_(rate), max_lag_(max_lag) {}

TickSchedule::Clock::time_point TickSchedule::DueAt(std::uint64_t index) const {
  const std::chrono::duration<double> offset(static_cast<double>(index) / rate_);
  return start_ + std::chrono::duration_cast<Clock::duration>(offset);
}

std::uint64_t TickSchedule::Advance(Clock::time_point now) {
  ++index_;
  if (now - DueAt(index_) <= max_lag_) return 0;
  const std::chrono::duration<double> elapsed = now - start_;
  auto next = static_cast<std::uint64_t>(std::floor(elapsed.count() * rate_)) + 1;
  // Guard against the rounding of the division landing one tick short.
  while (DueAt(next) <= now) ++next;
  const std::uint64_t skipped = next - index_;
  index_ = next;
  return skipped;
}

}  // namespace velmor::sim
