#include "sim/tick_schedule.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace velmor::sim {
namespace {

using Clock = TickSchedule::Clock;
using std::chrono::nanoseconds;
using std::chrono::seconds;

const Clock::time_point kStart = Clock::time_point{} + seconds(50);

// Exact in integers: tick k is due k * 1e9 / rate nanoseconds after the start.
nanoseconds Drift(const TickSchedule& schedule, std::int64_t rate) {
  const auto ideal = nanoseconds(static_cast<std::int64_t>(schedule.index()) * 1'000'000'000 / rate);
  return schedule.due() - kStart - ideal;
}

// Periods such as 1/3 s have no exact representation; adding them up would
// drift, computing each due time from the tick number does not.
TEST(TickSchedule, DueTimesDoNotDriftOverLongRuns) {
  for (const std::int64_t rate : {1000, 3, 997}) {
    SCOPED_TRACE(rate);
    TickSchedule schedule(kStart, static_cast<double>(rate));
    for (int i = 0; i < 300000; ++i) EXPECT_EQ(schedule.Advance(schedule.due()), 0u);
    EXPECT_LE(std::abs(Drift(schedule, rate).count()), 1);
  }
}

TEST(TickSchedule, SkipsMissedTicksOnlyWhenFarBehind) {
  TickSchedule schedule(kStart, 100.0);
  // 50 ms late is within the allowed lag: the next tick is due at once.
  EXPECT_EQ(schedule.Advance(kStart + std::chrono::milliseconds(60)), 0u);
  EXPECT_EQ(schedule.index(), 1u);

  const auto stalled = kStart + seconds(10);
  const std::uint64_t skipped = schedule.Advance(stalled);
  EXPECT_EQ(skipped, 999u);
  EXPECT_GT(schedule.due(), stalled);
  EXPECT_LE(schedule.due() - stalled, std::chrono::milliseconds(10));
}

}  // namespace
}  // namespace velmor::sim
